"""Heads patched into universes: a rig file or `--fixture` options.

A rig file (TOML, or JSON of the same shape) lists heads:

    [[head]]
    name = "left"              # default: 1, 2, ...
    profile = "spot.json"      # OFL definition (beside the rig file) or the short form
    mode = "Standard"          # the profile's mode, when it has several
    universe = 1
    address = 1                # the head's first channel, 1 to 512
    invert_pan = false
    invert_tilt = false
    swap = false               # pattern x to tilt, y to pan
    centre = [0.0, -20.0]      # pan, tilt offset of the home position, degrees
    limit = [180.0, 90.0]      # at most this many degrees of pan, tilt swing
"""

from __future__ import annotations

import math
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from kinetrope_host.errors import UserError
from kinetrope_host.rig.files import load_document, shown
from kinetrope_host.rig.profile import (
    DMX_CHANNELS,
    HeadType,
    load_profile,
    load_profiles,
)

#: E1.31 universes run 1 to 63999; Art-Net port-addresses 0 to 32767.
MAX_UNIVERSE = 63999
HEAD_KEYS = ("name", "profile", "mode", "universe", "address", "invert_pan", "invert_tilt", "swap", "centre",
             "limit")


@dataclass(frozen=True)
class Head:
    """One head in the rig and how a pattern aims it."""

    name: str
    kind: HeadType
    universe: int
    address: int
    invert_pan: bool = False
    invert_tilt: bool = False
    swap: bool = False
    centre: tuple[float, float] = (0.0, 0.0)
    limit: tuple[float, float] | None = None

    def channels(self) -> range:
        """The universe channels (1-based) this head occupies."""
        return range(self.address, self.address + self.kind.footprint)

    def swing(self) -> tuple[float, float]:
        """Degrees of pan and tilt the pattern's [-1, 1] sweeps at size 1."""
        pan = self.kind.pan.degrees * self.kind.pan_share
        tilt = self.kind.tilt.degrees * self.kind.tilt_share
        if self.limit is not None:
            pan, tilt = min(pan, self.limit[0]), min(tilt, self.limit[1])
        return pan, tilt

    def aim(self, x: float, y: float, size: float = 1.0, centre: tuple[float, float] = (0.0, 0.0)) -> tuple[float, float]:
        """Pan and tilt, degrees from the middle of each range, for the
        pattern's (x, y) at `size` (share of the swing) around `centre`
        (degrees, added to the head's own)."""
        if self.swap:
            x, y = y, x
        x, y = max(-1.0, min(1.0, x)), max(-1.0, min(1.0, y))
        if self.invert_pan:
            x = -x
        if self.invert_tilt:
            y = -y
        pan_swing, tilt_swing = self.swing()
        home_pan, home_tilt = self.centre[0] + centre[0], self.centre[1] + centre[1]
        pan = home_pan + x * size * pan_swing / 2
        tilt = home_tilt + y * size * tilt_swing / 2
        if self.limit is not None:
            pan = min(home_pan + self.limit[0] / 2, max(home_pan - self.limit[0] / 2, pan))
            tilt = min(home_tilt + self.limit[1] / 2, max(home_tilt - self.limit[1] / 2, tilt))
        return pan, tilt

    def lit_values(self, pan: float, tilt: float) -> list[int]:
        """The head's channel bytes, lit and pointed at (pan, tilt) degrees."""
        data = list(self.kind.lit)
        for channel, byte in self.kind.pan.values(pan).items():
            data[channel] = byte
        for channel, byte in self.kind.tilt.values(tilt).items():
            data[channel] = byte
        return data

    def darkened(self, data: Sequence[int]) -> list[int]:
        """`data` (the head's channel bytes) with the light put out, kept
        where it points."""
        dark = list(data)
        for index, (lit, off) in enumerate(zip(self.kind.lit, self.kind.dark)):
            if lit != off:
                dark[index] = off
        return dark


def rig_from_fixtures(sources: Sequence[str], mode: str | None, count: int | None, universe: int,
                      patterns: int = 1) -> list[Head]:
    """Heads from `--fixture` options: one description patched `count`
    times back to back from its start address, or one description per head.
    Without a count: one head per description, or per pattern for a single
    description."""
    if not sources:
        raise UserError("no fixture description given")
    loaded = [profile for source in sources for profile in load_profiles(source, mode)]
    if count is None:
        count = len(loaded) if len(loaded) > 1 else patterns
    heads: list[Head] = []
    if len(loaded) == 1:
        kind, start = loaded[0]
        address = start or 1
        for index in range(count):
            heads.append(Head(str(index + 1), kind, universe, address + index * kind.footprint))
    elif len(loaded) == count:
        address = 1
        for index, (kind, start) in enumerate(loaded):
            address = start or address
            heads.append(Head(str(index + 1), kind, universe, address))
            address += kind.footprint
    else:
        raise UserError(f"{len(loaded)} fixture descriptions for {count} heads: give one, or one per head")
    check_patch(heads)
    return heads


def load_rig(path_text: str) -> list[Head]:
    """The heads a rig file lists, checked for unique names and a clean patch;
    raises `UserError` on anything wrong in the file."""
    path = Path(path_text)
    what = f"rig {shown(path_text)}"
    document = load_document(path, what)
    entries = document.get("head") if isinstance(document, dict) else None
    if not isinstance(entries, list) or not entries or not all(isinstance(e, dict) for e in entries):
        raise UserError(f"{what}: must list its heads under \"head\" ([[head]] tables)")
    heads = [_head(entry, index, path.parent, what) for index, entry in enumerate(entries)]
    names = [head.name for head in heads]
    for name in names:
        if names.count(name) > 1:
            raise UserError(f"{what}: head {name}: name given to two heads")
    check_patch(heads, what)
    return heads


def _head(entry: Mapping[str, Any], index: int, base: Path, what: str) -> Head:
    name = entry.get("name", str(index + 1))
    if not isinstance(name, str) or not name.strip() or len(name) > 64 or not name.isprintable():
        raise UserError(f"{what}: head {index + 1}: name must be printable text of 1 to 64 characters")
    where = f"{what}: head {name}"
    unknown = sorted(set(entry) - set(HEAD_KEYS))
    if unknown:
        raise UserError(f"{where}: unknown key {unknown[0]!r} (known: {', '.join(HEAD_KEYS)})")
    profile = entry.get("profile")
    if not isinstance(profile, str) or not profile:
        raise UserError(f"{where}: profile must name a fixture file or give the short form")
    mode = entry.get("mode")
    if mode is not None and not isinstance(mode, str):
        raise UserError(f"{where}: mode must be a mode's name")
    if "=" not in profile and not Path(profile).is_absolute():
        profile = str(base / profile)
    try:
        kind, start = load_profile(profile, mode)
    except UserError as error:
        raise UserError(f"{where}: {error}") from None
    universe = entry.get("universe", 1)
    if not _whole(universe) or not 0 <= universe <= MAX_UNIVERSE:
        raise UserError(f"{where}: universe must be 0 to {MAX_UNIVERSE}: {universe!r}")
    address = entry.get("address", start or 1)
    if not _whole(address) or not 1 <= address <= DMX_CHANNELS:
        raise UserError(f"{where}: address must be 1 to {DMX_CHANNELS}: {address!r}")
    flags = {}
    for key in ("invert_pan", "invert_tilt", "swap"):
        value = entry.get(key, False)
        if not isinstance(value, bool):
            raise UserError(f"{where}: {key} must be true or false: {value!r}")
        flags[key] = value
    centre = _pair(entry.get("centre", [0.0, 0.0]), where, "centre", allow_negative=True)
    limit = entry.get("limit")
    limits = None if limit is None else _pair(limit, where, "limit", allow_negative=False)
    return Head(name, kind, int(universe), int(address), centre=centre, limit=limits, **flags)


def _pair(value: object, where: str, key: str, allow_negative: bool) -> tuple[float, float]:
    wanted = "degrees" if allow_negative else "positive degrees"
    if (not isinstance(value, list) or len(value) != 2
            or not all(isinstance(v, (int, float)) and not isinstance(v, bool) and math.isfinite(v) for v in value)
            or not allow_negative and not all(v > 0 for v in value)
            or not all(abs(v) <= 3600 for v in value)):
        raise UserError(f"{where}: {key} must be [pan, tilt] in {wanted}: {value!r}")
    return float(value[0]), float(value[1])


def _whole(value: object) -> bool:
    return isinstance(value, int) and not isinstance(value, bool)


def check_patch(heads: Sequence[Head], what: str = "patch") -> None:
    """Refuses heads that leave their universe or share a channel."""
    taken: dict[tuple[int, int], str] = {}
    for head in heads:
        last = head.address + head.kind.footprint - 1
        if last > DMX_CHANNELS:
            raise UserError(f"{what}: head {head.name}: needs channels {head.address} to {last}, past {DMX_CHANNELS}")
        for channel in head.channels():
            other = taken.get((head.universe, channel))
            if other is not None:
                raise UserError(f"{what}: head {head.name}: overlaps head {other} on universe {head.universe} "
                                f"channel {channel}")
            taken[(head.universe, channel)] = head.name
