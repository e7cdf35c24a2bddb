"""What a kind of moving head offers, read from an Open Fixture Library
definition and one of its modes, or from the short form
`start=1,pan=1,pan_fine=2,tilt=3,tilt_fine=4,dimmer=5,pan_range=540,tilt_range=270`.

A `HeadType` knows its channels counted from 0 at the head's first channel:
pan and tilt (coarse, then fine bytes) with the angles their ends point at,
and the byte of every channel when lit (dimmer full, shutter open, every
other channel at the profile's default) and when dark (dimmer 0, shutter
closed)."""

from __future__ import annotations

import math
import re
from collections.abc import Mapping, Sequence
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from kinetrope_host.errors import UserError
from kinetrope_host.rig.files import load_document, shown

DMX_CHANNELS = 512
SHORT_ROLES = ("pan", "pan_fine", "tilt", "tilt_fine", "dimmer", "shutter")
SHORT_NUMBERS = ("start", "pan_range", "tilt_range", "pan_swing", "tilt_swing", "shutter_open", "shutter_closed")


@dataclass(frozen=True)
class Axis:
    """Pan or tilt: the channel bytes, most significant first, and the
    angles (degrees) the lowest and highest values point at."""

    channels: tuple[int, ...]
    angle_start: float
    angle_end: float
    #: The value range the angles span, as fractions of the channel's range.
    low: float = 0.0
    high: float = 1.0

    @property
    def degrees(self) -> float:
        return abs(self.angle_end - self.angle_start)

    def values(self, offset: float) -> dict[int, int]:
        """Channel to byte for `offset` degrees from the middle of the range,
        clamped to the range."""
        span = self.angle_end - self.angle_start
        fraction = min(1.0, max(0.0, 0.5 + offset / span))
        full = 256 ** len(self.channels) - 1
        value = round((self.low + fraction * (self.high - self.low)) * full)
        value = min(full, max(0, value))
        out: dict[int, int] = {}
        for index, channel in enumerate(reversed(self.channels)):
            out[channel] = (value >> (8 * index)) & 0xFF
        return out

    def offset_of(self, data: Sequence[int]) -> float:
        """The inverse of `values`: degrees from the middle for these bytes."""
        value = 0
        for channel in self.channels:
            value = value * 256 + data[channel]
        full = 256 ** len(self.channels) - 1
        fraction = (value / full - self.low) / (self.high - self.low)
        return float((fraction - 0.5) * (self.angle_end - self.angle_start))


@dataclass(frozen=True)
class HeadType:
    """A kind of moving head: its channel count, pan and tilt axes, and the
    byte of each channel (counted from 0) when lit and when dark."""

    name: str
    footprint: int
    pan: Axis
    tilt: Axis
    lit: tuple[int, ...]
    dark: tuple[int, ...]
    #: Whether `dark` puts the light out (a dimmer or a closing shutter).
    can_darken: bool
    #: The share of each range the pattern's [-1, 1] sweeps by default.
    pan_share: float = 1.0
    tilt_share: float = 1.0


def load_profile(source: str, mode: str | None = None) -> tuple[HeadType, int | None]:
    """A head type from the short form or a fixture file, and the start
    address the short form names (None otherwise)."""
    loaded = load_profiles(source, mode)
    if len(loaded) != 1:
        raise UserError(f"fixture {source}: describes {len(loaded)} heads where one is wanted")
    return loaded[0]


def load_profiles(source: str, mode: str | None = None) -> list[tuple[HeadType, int | None]]:
    """As `load_profile`; a JSON file of the short form may also list
    several heads."""
    if "=" in source:
        kind, start = short_form(source)
        return [(kind, start)]
    path = Path(source)
    what = f"fixture {shown(source)}"
    document = load_document(path, what)
    if isinstance(document, dict) and ("availableChannels" in document or "modes" in document):
        return [(from_ofl(document, mode, what), None)]
    if mode is not None:
        raise UserError(f"{what}: --mode needs an Open Fixture Library definition")
    items = document if isinstance(document, list) else [document]
    if not items or not all(isinstance(item, dict) for item in items):
        raise UserError(f"{what}: must hold an Open Fixture Library definition, a fixture object or a list of them")
    out: list[tuple[HeadType, int | None]] = []
    for item in items:
        kind, start = _short_fields(item, what)
        out.append((kind, start))
    return out


# --- the short form ---------------------------------------------------------


def short_form(text: str) -> tuple[HeadType, int]:
    """The head type and start address (1 by default) from `key=value,...`
    text; raises `UserError` on an unknown, repeated or bad item."""
    what = f"fixture {shown(text)}"
    fields: dict[str, Any] = {}
    for item in text.split(","):
        key, sep, raw = item.strip().partition("=")
        if not sep or not key:
            raise UserError(f"{what}: item is not key=value: {item.strip()!r}")
        if key in fields:
            raise UserError(f"{what}: item given twice: {key!r}")
        try:
            fields[key] = int(raw) if key in SHORT_ROLES or key == "start" else float(raw)
        except ValueError:
            raise UserError(f"{what}: item {key!r} is not a number: {raw!r}") from None
    return _short_fields(fields, what)


def _short_fields(fields: Mapping[str, Any], what: str) -> tuple[HeadType, int]:
    unknown = sorted(set(fields) - set(SHORT_ROLES) - set(SHORT_NUMBERS) - {"channels"})
    if unknown:
        raise UserError(f"{what}: unknown item {unknown[0]!r} (known: {', '.join(SHORT_ROLES + SHORT_NUMBERS)})")
    nested = fields.get("channels", {})
    if not isinstance(nested, dict):
        raise UserError(f"{what}: channels must be an object of role to channel number")
    channels: dict[str, Any] = dict(nested)
    for role in SHORT_ROLES:
        if role in fields:
            if role in channels:
                raise UserError(f"{what}: channel given twice: {role}")
            channels[role] = fields[role]
    seen: dict[int, str] = {}
    for role, number in channels.items():
        if role not in SHORT_ROLES:
            raise UserError(f"{what}: unknown channel {role!r} (known: {', '.join(SHORT_ROLES)})")
        if not _whole(number) or not 1 <= number <= DMX_CHANNELS:
            raise UserError(f"{what}: channel {role} must be a channel number 1 to {DMX_CHANNELS}: {number!r}")
        if number in seen:
            raise UserError(f"{what}: channels overlap: {seen[number]} and {role} both on channel {number}")
        seen[number] = role
    for role in ("pan", "tilt"):
        if role not in channels:
            raise UserError(f"{what}: no {role} channel")
    start = fields.get("start", 1)
    if not _whole(start) or not 1 <= start <= DMX_CHANNELS:
        raise UserError(f"{what}: start address must be 1 to {DMX_CHANNELS}: {start!r}")
    axes = {}
    shares = {}
    for axis in ("pan", "tilt"):
        full = fields.get(f"{axis}_range")
        if full is None:
            raise UserError(f"{what}: no {axis}_range")
        if not _finite(full) or full <= 0:
            raise UserError(f"{what}: {axis}_range must be a positive number of degrees: {full!r}")
        swing = fields.get(f"{axis}_swing")
        if swing is not None and (not _finite(swing) or not 0 < swing <= full):
            raise UserError(f"{what}: {axis}_swing must be above 0 and at most {axis}_range ({full:g}): {swing!r}")
        shares[axis] = 1.0 if swing is None else swing / full
        numbers = [channels[axis] - 1] + ([channels[f"{axis}_fine"] - 1] if f"{axis}_fine" in channels else [])
        axes[axis] = Axis(tuple(numbers), 0.0, float(full))
    footprint = max(channels.values())
    lit = [0] * footprint
    dark = [0] * footprint
    if "dimmer" in channels:
        lit[channels["dimmer"] - 1] = 255
    if "shutter" in channels:
        for key, target, default in (("shutter_open", lit, 255), ("shutter_closed", dark, 0)):
            value = fields.get(key, default)
            if not _whole(value) or not 0 <= value <= 255:
                raise UserError(f"{what}: {key} must be a DMX value 0 to 255: {value!r}")
            target[channels["shutter"] - 1] = int(value)
    elif "shutter_open" in fields or "shutter_closed" in fields:
        raise UserError(f"{what}: shutter values given without a shutter channel")
    kind = HeadType("short form", footprint, axes["pan"], axes["tilt"], tuple(lit), tuple(dark),
                    can_darken="dimmer" in channels or "shutter" in channels,
                    pan_share=shares["pan"], tilt_share=shares["tilt"])
    return kind, int(start)


def _whole(value: object) -> bool:
    if isinstance(value, bool):
        return False
    return isinstance(value, int) or (isinstance(value, float) and value.is_integer())


def _finite(value: object) -> bool:
    return isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value)


# --- Open Fixture Library definitions ------------------------------------------

_DEGREES = re.compile(r"^(-?\d+(?:\.\d+)?)deg$")
_PERCENT = re.compile(r"^(-?\d+(?:\.\d+)?)%$")


class _Refused(Exception):
    """A definition or mode that cannot drive a head; the message says why."""


def from_ofl(document: Mapping[str, Any], mode: str | None, what: str) -> HeadType:
    """The head type from an Open Fixture Library definition in `mode` (which may
    be None only if it has one mode); errors are `UserError`s prefixed with `what`."""
    try:
        return _from_ofl(document, mode)
    except _Refused as why:
        raise UserError(f"{what}: {why}") from None


def mode_names(document: Mapping[str, Any]) -> list[str]:
    """The names of an Open Fixture Library definition's modes, in order;
    empty if it lists none."""
    modes = document.get("modes")
    if not isinstance(modes, list):
        return []
    return [m["name"] for m in modes if isinstance(m, dict) and isinstance(m.get("name"), str)]


def _from_ofl(document: Mapping[str, Any], wanted: str | None) -> HeadType:
    name = document.get("name")
    if not isinstance(name, str):
        raise _Refused("no fixture name")
    available = document.get("availableChannels")
    if not isinstance(available, dict) or not available:
        raise _Refused("no availableChannels")
    mode = _pick_mode(document, wanted)
    slots = mode.get("channels")
    if not isinstance(slots, list) or not slots:
        raise _Refused(f"mode {mode['name']!r} has no channels")
    if len(slots) > DMX_CHANNELS:
        raise _Refused(f"mode {mode['name']!r} has more than {DMX_CHANNELS} channels")
    aliases = _aliases(available)
    # Each slot: (channel key, byte index: 0 coarse, 1 fine, ...) or None.
    layout: list[tuple[str, int] | None] = []
    for slot in slots:
        if slot is None:
            layout.append(None)
        elif isinstance(slot, str):
            if slot not in aliases:
                source = "a matrix template channel" if "templateChannels" in document else "an unknown channel"
                raise _Refused(f"mode {mode['name']!r} names {source} {slot!r}, which heads here do not drive")
            layout.append(aliases[slot])
        else:
            raise _Refused(f"mode {mode['name']!r} uses matrix channels, which heads here do not drive")
    where = {entry: index for index, entry in enumerate(layout) if entry is not None}
    lit = [0] * len(layout)
    for index, entry in enumerate(layout):
        if entry is not None:
            lit[index] = _default_byte(available[entry[0]], entry[1])
    axes = {}
    for axis, kind in (("pan", "Pan"), ("tilt", "Tilt")):
        axes[axis] = _axis(available, where, kind, mode["name"])
    dark = list(lit)
    darkened = False
    for key, channel in available.items():
        if (key, 0) not in where:
            continue
        index = where[(key, 0)]
        dimmer = _intensity_ends(channel)
        shutter = _shutter_values(channel)
        if dimmer is not None:
            lit[index], dark[index] = dimmer
            darkened = True
        elif shutter is not None:
            lit[index], closed = shutter
            dark[index] = lit[index] if closed is None else closed
            darkened = darkened or closed is not None
    return HeadType(f"{name} ({mode['name']})", len(layout), axes["pan"], axes["tilt"],
                    tuple(lit), tuple(dark), can_darken=darkened)


def _pick_mode(document: Mapping[str, Any], wanted: str | None) -> Mapping[str, Any]:
    modes = document.get("modes")
    if not isinstance(modes, list) or not modes:
        raise _Refused("no modes")
    for mode in modes:
        if not isinstance(mode, dict) or not isinstance(mode.get("name"), str):
            raise _Refused("a mode without a name")
    names = [m["name"] for m in modes]
    if wanted is None:
        if len(modes) > 1:
            raise _Refused(f"pick a mode with --mode: {shown(', '.join(names))}")
        chosen: Mapping[str, Any] = modes[0]
        return chosen
    for mode in modes:
        if wanted in (mode["name"], mode.get("shortName")):
            return mode  # type: ignore[no-any-return]
    raise _Refused(f"no mode {wanted!r} (modes: {shown(', '.join(names))})")


def _aliases(available: Mapping[str, Any]) -> dict[str, tuple[str, int]]:
    """Every name a mode may list: channel keys, their fine aliases and
    switching aliases (taken at their channel's first capability)."""
    out: dict[str, tuple[str, int]] = {}
    for key, channel in available.items():
        if not isinstance(channel, dict):
            raise _Refused(f"channel {key!r} is not an object")
        out[key] = (key, 0)
        fines = channel.get("fineChannelAliases", [])
        if not isinstance(fines, list) or not all(isinstance(f, str) for f in fines):
            raise _Refused(f"channel {key!r}: fineChannelAliases must be a list of names")
        for index, fine in enumerate(fines, start=1):
            out[fine] = (key, index)
    for key, channel in available.items():
        for capability in _capabilities(channel, key):
            switches = capability.get("switchChannels", {})
            if not isinstance(switches, dict):
                raise _Refused(f"channel {key!r}: switchChannels must be an object")
            for alias, target in switches.items():
                if alias not in out:
                    if not isinstance(target, str) or target not in out:
                        raise _Refused(f"channel {key!r} switches to an unknown channel {target!r}")
                    out[alias] = out[target]
    return out


def _capabilities(channel: Mapping[str, Any], key: str) -> list[Mapping[str, Any]]:
    if "capability" in channel:
        single = channel["capability"]
        if not isinstance(single, dict):
            raise _Refused(f"channel {key!r}: capability must be an object")
        return [single]
    many = channel.get("capabilities", [])
    if not isinstance(many, list) or not all(isinstance(c, dict) for c in many):
        raise _Refused(f"channel {key!r}: capabilities must be a list of objects")
    return many


def _bytes_of(channel: Mapping[str, Any]) -> int:
    resolution = channel.get("dmxValueResolution")
    if isinstance(resolution, str) and re.fullmatch(r"(8|16|24)bit", resolution):
        return int(resolution[:-3]) // 8
    return 1 + len(channel.get("fineChannelAliases", []))


def _default_byte(channel: Mapping[str, Any], byte_index: int) -> int:
    size = _bytes_of(channel)
    default = channel.get("defaultValue", 0)
    full = 256 ** size - 1
    if isinstance(default, str) and _PERCENT.match(default):
        value = round(float(default[:-1]) / 100 * full)
    elif _whole(default):
        value = int(default)
    else:
        raise _Refused(f"defaultValue must be a number or a percentage: {default!r}")
    value = min(full, max(0, value))
    shift = 8 * (size - 1 - byte_index)
    return (value >> shift) & 0xFF if shift >= 0 else 0


def _range_of(capability: Mapping[str, Any], channel: Mapping[str, Any]) -> tuple[float, float]:
    """The capability's DMX range as fractions of its channel's range."""
    span = capability.get("dmxRange")
    if span is None:
        return 0.0, 1.0
    if (not isinstance(span, list) or len(span) != 2 or not all(_whole(v) for v in span)
            or span[0] > span[1] or span[0] < 0):
        raise _Refused(f"dmxRange must be two ascending whole numbers: {span!r}")
    full = 256 ** _bytes_of(channel) - 1
    if span[1] > full:
        raise _Refused(f"dmxRange {span!r} is past the channel's {full}")
    return span[0] / full, span[1] / full


def _axis(available: Mapping[str, Any], where: Mapping[tuple[str, int], int], kind: str, mode: str) -> Axis:
    for key, channel in available.items():
        if (key, 0) not in where:
            continue
        for capability in _capabilities(channel, key):
            if capability.get("type") != kind:
                continue
            start, end = capability.get("angleStart"), capability.get("angleEnd")
            if start is None and end is None:
                start = end = capability.get("angle")
            low, high = _range_of(capability, channel)
            first, last = _degrees(start, kind), _degrees(end, kind)
            if first == last or low == high:
                raise _Refused(f"{kind.lower()} channel {key!r} turns through no angle")
            index = 1
            numbers = [where[(key, 0)]]
            while (key, index) in where:
                numbers.append(where[(key, index)])
                index += 1
            return Axis(tuple(numbers), first, last, low, high)
    raise _Refused(f"mode {mode!r} has no {kind.lower()} channel")


def _degrees(text: object, kind: str) -> float:
    match = _DEGREES.match(text) if isinstance(text, str) else None
    if match is None:
        raise _Refused(f"{kind.lower()} angle is not in degrees: {text!r}")
    return float(match.group(1))


_BRIGHTNESS_WORDS = {"off": 0.0, "dark": 0.01, "bright": 1.0}


def _brightness(text: object, fallback: float) -> float:
    if text is None:
        return fallback
    if isinstance(text, str):
        if text in _BRIGHTNESS_WORDS:
            return _BRIGHTNESS_WORDS[text]
        match = _PERCENT.match(text)
        if match:
            return float(match.group(1)) / 100
        number = re.match(r"^(\d+(?:\.\d+)?)lm$", text)
        if number:
            return float(number.group(1))
    return fallback


def _intensity_ends(channel: Mapping[str, Any]) -> tuple[int, int] | None:
    """(lit, dark) bytes of a dimmer channel (coarse byte), else None. A
    channel that also strobes or closes counts when dimming takes at least a
    quarter of its range; dark is then its closed value, if it has one."""
    capabilities = channel.get("capabilities") or [channel.get("capability")]
    if not all(isinstance(c, dict) for c in capabilities):
        return None
    spans = [(_range_of(c, channel), c) for c in capabilities if c.get("type") == "Intensity"]
    if not spans:
        return None
    (low, high), capability = max(spans, key=lambda span: span[0][1] - span[0][0])
    if len(capabilities) > 1 and high - low < 0.25:
        return None
    start = _brightness(capability.get("brightnessStart", capability.get("brightness")), 0.0)
    end = _brightness(capability.get("brightnessEnd", capability.get("brightness")), 1.0)
    bright, off = (high, low) if end >= start else (low, high)
    closed = _shutter_values(channel)
    dark = closed[1] if closed is not None and closed[1] is not None else round(off * 255)
    return round(bright * 255), dark


def _shutter_values(channel: Mapping[str, Any]) -> tuple[int, int | None] | None:
    """(open, closed) bytes of a shutter channel, closed None when the
    profile names no closed range (the dimmer must darken then)."""
    if not isinstance(channel.get("capabilities", channel.get("capability")), (list, dict)):
        return None
    capabilities = channel.get("capabilities") or [channel.get("capability")]
    found: dict[str, int] = {}
    for capability in capabilities:
        if not isinstance(capability, dict) or capability.get("type") != "ShutterStrobe":
            continue
        effect = capability.get("shutterEffect")
        if effect in ("Open", "Closed") and effect not in found:
            low, high = _range_of(capability, channel)
            found[effect] = round((low + high) / 2 * 255)
    if "Open" not in found:
        return None
    return found["Open"], found.get("Closed")
