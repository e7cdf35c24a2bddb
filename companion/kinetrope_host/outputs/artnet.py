"""Moving-head fixtures driven over Art-Net: pattern x to pan, y to tilt.

A fixture description names its start address, where its pan and tilt
channels sit (coarse and fine, counted from 1 at the fixture's first
channel) and its pan and tilt ranges in degrees. The pattern's [-1, 1]
swings the head through `pan_swing`/`tilt_swing` degrees (the whole range
by default), centred in the range, as 16-bit DMX values.
"""

from __future__ import annotations

import json
import math
import socket
import threading
import time
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from kinetrope_host.errors import UserError
from kinetrope_host.frames import Frame

DMX_CHANNELS = 512
#: DMX512 refreshes a full universe at most about 44 times a second.
MAX_RATE = 44.0
DEFAULT_RATE = 40.0
ARTNET_PORT = 6454
#: Art-Net's port-address is 15 bits: net (7), sub-net (4), universe (4).
MAX_UNIVERSE = 0x7FFF

CHANNEL_ROLES = ("pan", "pan_fine", "tilt", "tilt_fine", "dimmer")
_NUMBER_KEYS = ("start", "pan_range", "tilt_range", "pan_swing", "tilt_swing")


@dataclass(frozen=True)
class Fixture:
    """One moving head: where it is patched and how far it turns."""

    start: int
    channels: Mapping[str, int]
    pan_range: float
    tilt_range: float
    pan_swing: float | None = None
    tilt_swing: float | None = None
    # Derived, filled in by __post_init__ after validation.
    footprint: int = field(init=False, default=0)

    def __post_init__(self) -> None:
        if isinstance(self.start, bool) or not isinstance(self.start, int) or not 1 <= self.start <= DMX_CHANNELS:
            raise UserError(f"fixture start address must be 1 to {DMX_CHANNELS}: {self.start!r}")
        for role in ("pan", "tilt"):
            if role not in self.channels:
                raise UserError(f"fixture has no {role} channel")
        seen: dict[int, str] = {}
        for role, offset in self.channels.items():
            if role not in CHANNEL_ROLES:
                raise UserError(f"unknown fixture channel {role!r} (known: {', '.join(CHANNEL_ROLES)})")
            if isinstance(offset, bool) or not isinstance(offset, int) or offset < 1:
                raise UserError(f"fixture channel {role} must be a channel number from 1: {offset!r}")
            if offset in seen:
                raise UserError(f"fixture channels overlap: {seen[offset]} and {role} both on channel {offset}")
            seen[offset] = role
        for axis in ("pan", "tilt"):
            full = getattr(self, f"{axis}_range")
            if not _finite_number(full) or full <= 0:
                raise UserError(f"fixture {axis}_range must be a positive number of degrees: {full!r}")
            swing = getattr(self, f"{axis}_swing")
            if swing is not None and (not _finite_number(swing) or not 0 < swing <= full):
                raise UserError(f"fixture {axis}_swing must be above 0 and at most {axis}_range ({full}): {swing!r}")
        footprint = max(self.channels.values())
        if self.start + footprint - 1 > DMX_CHANNELS:
            raise UserError(
                f"fixture at {self.start} needs channels up to {self.start + footprint - 1}, past {DMX_CHANNELS}"
            )
        object.__setattr__(self, "footprint", footprint)

    def moved_to(self, start: int) -> Fixture:
        """The same fixture type patched at another address."""
        return Fixture(start, dict(self.channels), self.pan_range, self.tilt_range, self.pan_swing, self.tilt_swing)

    def addresses(self) -> set[int]:
        """The universe channels (1-based) this fixture occupies."""
        return {self.start + offset - 1 for offset in self.channels.values()}

    def dmx_values(self, x: float, y: float) -> dict[int, int]:
        """Channel (1-based) to byte for a head pointed by x (pan), y (tilt)."""
        pan = to_16bit(x, self.pan_swing or self.pan_range, self.pan_range)
        tilt = to_16bit(y, self.tilt_swing or self.tilt_range, self.tilt_range)
        out: dict[int, int] = {}
        for role, value in (("pan", pan), ("tilt", tilt)):
            out[self.start + self.channels[role] - 1] = value >> 8
            fine = self.channels.get(f"{role}_fine")
            if fine is not None:
                out[self.start + fine - 1] = value & 0xFF
        dimmer = self.channels.get("dimmer")
        if dimmer is not None:
            out[self.start + dimmer - 1] = 255
        return out


def _finite_number(value: object) -> bool:
    return isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value)


def to_16bit(value: float, swing: float, full_range: float) -> int:
    """Map [-1, 1] onto a `swing`-degree arc centred in a `full_range`-degree
    span whose ends are DMX 0 and 65535."""
    clamped = min(1.0, max(-1.0, value))
    fraction = 0.5 + 0.5 * clamped * (swing / full_range)
    return min(65535, max(0, round(fraction * 65535)))


def parse_fixture(text: str) -> list[Fixture]:
    """A fixture description from the command line: either inline,
    `start=1,pan=1,pan_fine=2,tilt=3,tilt_fine=4,pan_range=540,tilt_range=270`,
    or the path of a JSON file holding one such object (channels under
    "channels" or at the top level) or a list of them."""
    if "=" in text:
        fields: dict[str, Any] = {}
        for item in text.split(","):
            key, sep, raw = item.strip().partition("=")
            if not sep or not key:
                raise UserError(f"fixture item is not key=value: {item.strip()!r}")
            if key in fields:
                raise UserError(f"fixture item given twice: {key}")
            try:
                fields[key] = int(raw) if key in CHANNEL_ROLES or key == "start" else float(raw)
            except ValueError:
                raise UserError(f"fixture item {key} is not a number: {raw!r}") from None
        return [_fixture_from_fields(fields)]
    path = Path(text)
    try:
        loaded = json.loads(path.read_text(encoding="utf-8"))
    except OSError as exc:
        raise UserError(f"cannot read fixture file {text}: {exc.strerror or exc}") from None
    except (ValueError, UnicodeDecodeError) as exc:
        raise UserError(f"fixture file {text} is not JSON: {exc}") from None
    items = loaded if isinstance(loaded, list) else [loaded]
    if not items or not all(isinstance(item, dict) for item in items):
        raise UserError(f"fixture file {text} must hold an object or a list of objects")
    return [_fixture_from_fields(item) for item in items]


def _fixture_from_fields(fields: Mapping[str, Any]) -> Fixture:
    known = set(CHANNEL_ROLES) | set(_NUMBER_KEYS) | {"channels"}
    unknown = sorted(set(fields) - known)
    if unknown:
        raise UserError(f"unknown fixture item {unknown[0]!r}")
    channels = dict(fields.get("channels", {}))
    for role in CHANNEL_ROLES:
        if role in fields:
            if role in channels:
                raise UserError(f"fixture channel given twice: {role}")
            channels[role] = fields[role]
    for key in ("pan_range", "tilt_range"):
        if key not in fields:
            raise UserError(f"fixture has no {key}")
    return Fixture(
        start=fields.get("start", 1),
        channels=channels,
        pan_range=fields["pan_range"],
        tilt_range=fields["tilt_range"],
        pan_swing=fields.get("pan_swing"),
        tilt_swing=fields.get("tilt_swing"),
    )


def patch(fixtures: Sequence[Fixture], count: int) -> list[Fixture]:
    """One fixture per pattern. A single description is patched `count`
    times back to back from its start address; otherwise there must be one
    description per pattern. No two fixtures may share a channel."""
    if not fixtures:
        raise UserError("no fixture description given")
    if len(fixtures) == 1 and count > 1:
        first = fixtures[0]
        patched = [first.moved_to(first.start + i * first.footprint) for i in range(count)]
    elif len(fixtures) == count:
        patched = list(fixtures)
    else:
        raise UserError(f"{len(fixtures)} fixture descriptions for {count} patterns: give one, or one per pattern")
    taken: dict[int, int] = {}
    for index, fixture in enumerate(patched):
        for address in sorted(fixture.addresses()):
            if address in taken:
                raise UserError(f"fixtures {taken[address] + 1} and {index + 1} overlap on channel {address}")
            taken[address] = index
    return patched


def universe_frame(fixtures: Sequence[Fixture], offsets: Sequence[tuple[float, float, float]]) -> bytearray:
    """The DMX universe for one frame: each fixture pointed by its pattern."""
    data = bytearray(_packet_size(fixtures))
    for fixture, (x, y, _z) in zip(fixtures, offsets, strict=True):
        for address, byte in fixture.dmx_values(x, y).items():
            data[address - 1] = byte
    return data


def _packet_size(fixtures: Sequence[Fixture]) -> int:
    # Art-Net wants an even length of 2 to 512.
    last = max((max(f.addresses()) for f in fixtures), default=2)
    return min(DMX_CHANNELS, max(2, last + (last % 2)))


def parse_target(text: str) -> tuple[str, int]:
    """HOST or HOST:PORT (Art-Net runs over IPv4), resolved now so that a
    typo fails before the show."""
    host, sep, port_text = text.partition(":")
    if not sep:
        port_text = str(ARTNET_PORT)
    if not host or ":" in port_text:
        raise UserError(f"Art-Net node must be HOST or HOST:PORT (IPv4): {text!r}")
    try:
        port = int(port_text)
    except ValueError:
        raise UserError(f"Art-Net port is not a number: {port_text!r}") from None
    if not 1 <= port <= 65535:
        raise UserError(f"Art-Net port must be 1 to 65535: {port}")
    try:
        infos = socket.getaddrinfo(host, port, socket.AF_INET, socket.SOCK_DGRAM)
    except (socket.gaierror, UnicodeError) as exc:
        raise UserError(f"cannot resolve Art-Net host {host!r}: {exc}") from None
    return str(infos[0][4][0]), port


class ArtNetSink:
    """A frame sink that keeps the latest universe and sends it at a steady
    rate from its own thread, whatever rate frames arrive at: receivers
    expect a regular refresh, and DMX cannot carry more than 44 a second."""

    def __init__(
        self,
        target: str,
        names: Sequence[str],
        fixtures: Sequence[Fixture],
        universe: int = 0,
        rate: float = DEFAULT_RATE,
    ) -> None:
        try:
            from stupidArtnet import StupidArtnet  # type: ignore[import-untyped, unused-ignore]
        except ImportError:
            raise UserError("Art-Net needs stupidArtnet: pip install 'kinetrope[artnet]'") from None

        if isinstance(universe, bool) or not isinstance(universe, int) or not 0 <= universe <= MAX_UNIVERSE:
            raise UserError(f"Art-Net universe must be 0 to {MAX_UNIVERSE}: {universe!r}")
        if not _finite_number(rate) or not 0 < rate <= MAX_RATE:
            raise UserError(f"Art-Net rate must be above 0 and at most {MAX_RATE:g} frames a second: {rate!r}")
        self.names = list(names)
        self.fixtures = patch(fixtures, len(self.names))
        host, port = parse_target(target)
        self.rate = float(rate)
        size = _packet_size(self.fixtures)
        # Broadcast allowed: nodes are often reached at a sub-net's broadcast address.
        self._artnet = StupidArtnet(host, 0, size, fps=int(rate), even_packet_size=True, port=port, broadcast=True)
        self._sequence = 0
        # The full 15-bit port-address: net, sub-net and universe fields.
        self._artnet.set_simplified(False)
        self._artnet.set_net(universe >> 8)
        self._artnet.set_subnet((universe >> 4) & 0xF)
        self._artnet.set_universe(universe & 0xF)
        self._lock = threading.Lock()
        self._pending: bytearray | None = None
        # Whether the pending universe has gone out at least once, so that
        # closing right after a frame still delivers it.
        self._delivered = True
        self._stop = threading.Event()
        self._error: OSError | None = None
        self._thread = threading.Thread(target=self._run, name="artnet-sender", daemon=True)
        self._thread.start()

    def send(self, frame: Frame) -> None:
        """Points the fixtures by this frame; the sender thread sends the
        universe at its own rate. A send that failed there is raised here."""
        if self._error is not None:
            raise UserError(f"Art-Net send failed: {self._error.strerror or self._error}")
        data = universe_frame(self.fixtures, [frame.values[name] for name in self.names])
        with self._lock:
            self._pending = data
            self._delivered = False

    def close(self) -> None:
        """Stops the sender thread and closes the socket."""
        self._stop.set()
        self._thread.join()
        try:
            if not self._delivered and self._error is None and self._pending is not None:
                self._transmit(self._pending)
        except OSError as exc:
            raise UserError(f"Art-Net send failed: {exc.strerror or exc}") from None
        finally:
            self._artnet.close()

    def _transmit(self, data: bytearray) -> None:
        # The library reports socket errors by printing them; send its
        # packet here so that a failure reaches the caller. The sequence
        # runs 1 to 255 (0 would tell receivers not to reorder by it).
        self._sequence = self._sequence % 255 + 1
        header = bytearray(self._artnet.packet_header)
        header[12] = self._sequence
        packet = bytes(header) + bytes(data)
        self._artnet.socket_client.sendto(packet, (self._artnet.target_ip, self._artnet.port))

    def _run(self) -> None:
        period = 1.0 / self.rate
        next_at = time.perf_counter()
        while not self._stop.is_set():
            with self._lock:
                data = self._pending
                self._delivered = True
            if data is not None:
                try:
                    self._transmit(data)
                except OSError as exc:
                    self._error = exc
                    return
            next_at += period
            delay = next_at - time.perf_counter()
            if delay < -period:
                # Far behind (suspended, overloaded): restart the grid
                # rather than send a burst to catch up.
                next_at = time.perf_counter()
            elif delay > 0:
                self._stop.wait(delay)
