"""DMX universes for a rig, and the sink that sends them at a steady rate
over any protocol (Art-Net, sACN) and puts the rig in its safe state when
play ends or the clock stops."""

from __future__ import annotations

import threading
import time
from collections.abc import Sequence
from typing import Protocol

from kinetrope_host.errors import UserError
from kinetrope_host.frames import Frame
from kinetrope_host.rig.fan import Fan
from kinetrope_host.rig.patch import Head
from kinetrope_host.rig.profile import DMX_CHANNELS
from kinetrope_host.sampling import sample_at

#: DMX512 refreshes a full universe at most about 44 times a second.
MAX_RATE = 44.0
DEFAULT_RATE = 40.0
#: How often the safe state goes out, so that one lost packet cannot leave the rig lit.
SAFE_REPEATS = 3
#: Frames whose pip stands still this long (seconds) mean the clock stopped:
#: a MIDI stop, or ticks lost for longer than a follower runs on through.
STALL_SECONDS = 0.5

Universes = dict[int, bytes]


class Transport(Protocol):
    """A wire protocol: sends one universe's channel bytes."""

    label: str

    def transmit(self, universe: int, data: bytes) -> None:
        """Send `data` (channel values from channel 1) to `universe`; may raise OSError."""
        ...

    def close(self) -> None:
        """End the stream and release the socket; called once, after the last transmit."""
        ...


class DmxFrames:
    """Builds every universe of a rig from where its heads point."""

    def __init__(self, heads: Sequence[Head]) -> None:
        self.heads = list(heads)
        self.sizes: dict[int, int] = {}
        for head in self.heads:
            last = head.address + head.kind.footprint - 1
            self.sizes[head.universe] = max(self.sizes.get(head.universe, 2), last)
        # Art-Net wants an even length of 2 to 512; sACN takes any.
        self.sizes = {u: min(DMX_CHANNELS, size + size % 2) for u, size in self.sizes.items()}

    def lit(self, aims: Sequence[tuple[float, float]]) -> Universes:
        """Each head lit and pointed at its (pan, tilt) degrees."""
        buffers = {universe: bytearray(size) for universe, size in self.sizes.items()}
        for head, (pan, tilt) in zip(self.heads, aims, strict=True):
            start = head.address - 1
            buffers[head.universe][start:start + head.kind.footprint] = bytes(head.lit_values(pan, tilt))
        return {universe: bytes(data) for universe, data in buffers.items()}

    def safe(self, frame: Universes | None) -> Universes:
        """`frame` with every head dark (dimmer 0, shutter closed) where it
        points; before any frame, each head dark at its home."""
        if frame is None:
            frame = self.lit([head.aim(0.0, 0.0, 0.0) for head in self.heads])
        buffers = {universe: bytearray(data) for universe, data in frame.items()}
        for head in self.heads:
            start = head.address - 1
            data = buffers[head.universe]
            data[start:start + head.kind.footprint] = bytes(head.darkened(data[start:start + head.kind.footprint]))
        return {universe: bytes(data) for universe, data in buffers.items()}


def assign_patterns(names: Sequence[str], heads: Sequence[Head]) -> list[str]:
    """The pattern each head follows: one for all, or one each."""
    if len(names) == 1:
        return [names[0]] * len(heads)
    if len(names) == len(heads):
        return list(names)
    raise UserError(f"{len(names)} patterns for {len(heads)} heads: give one pattern, or one per head")


class DmxSink:
    """A frame sink for a rig: keeps the latest universes and sends them at
    a steady rate from its own thread, whatever rate frames arrive at
    (receivers expect a regular refresh; DMX carries at most 44 a second).

    When the clock stops (`clock_stopped`, or frames whose pip stands still
    for `STALL_SECONDS`) and when the sink is closed the rig goes to its safe
    state, every head dark where it points, sent `SAFE_REPEATS` times; with
    `hold` the last frame stays instead."""

    def __init__(self, transport: Transport, heads: Sequence[Head], names: Sequence[str], fan: Fan | None = None,
                 rate: float = DEFAULT_RATE, hold: bool = False) -> None:
        if not 0 < rate <= MAX_RATE:
            raise UserError(f"DMX rate must be above 0 and at most {MAX_RATE:g} frames a second: {rate!r}")
        self.transport = transport
        self.frames = DmxFrames(heads)
        self.heads = list(heads)
        self.patterns = assign_patterns(names, heads)
        self.fan = fan or Fan()
        self.rate = float(rate)
        self.hold = hold
        self._lock = threading.Lock()
        self._last_lit: Universes | None = None
        self._pending: Universes | None = None
        self._stopped_clock = False
        self._last_pip: float | None = None
        self._still_since: float | None = None
        self._stalled = False
        self._stop = threading.Event()
        self._error: OSError | None = None
        self._thread = threading.Thread(target=self._run, name=f"{transport.label}-sender", daemon=True)
        self._thread.start()

    def aims(self, pip: float) -> list[tuple[float, float]]:
        """Where each head points at the song's `pip`."""
        pips = self.fan.pips(pip, len(self.heads))
        out = []
        for head, name, head_pip in zip(self.heads, self.patterns, pips):
            x, y, _z = sample_at(name, head_pip)
            out.append(head.aim(x, y, self.fan.size, self.fan.centre))
        return out

    def send(self, frame: Frame) -> None:
        """Aim the heads for `frame`; the sender thread puts it on the wire at its
        next tick. Raises UserError if an earlier send failed."""
        self._raise_send_error()
        if self._stopped_clock or self._standing_still(frame):
            return
        data = self.frames.lit(self.aims(frame.pip))
        with self._lock:
            self._last_lit = data
            self._pending = data

    def _standing_still(self, frame: Frame) -> bool:
        if frame.pip != self._last_pip or self._still_since is None:
            self._last_pip, self._still_since, self._stalled = frame.pip, frame.seconds, False
            return False
        if not self._stalled and frame.seconds - self._still_since >= STALL_SECONDS:
            self._stalled = True
            self._go_dark()
        return self._stalled

    def clock_stopped(self) -> None:
        """The followed clock stopped or was lost: go safe (or hold) until
        `clock_resumed`."""
        self._stopped_clock = True
        self._go_dark()

    def _go_dark(self) -> None:
        with self._lock:
            if not self.hold:
                self._pending = self.frames.safe(self._last_lit)

    def clock_resumed(self) -> None:
        """The clock runs again: the next frame lights the heads."""
        self._stopped_clock = False

    def close(self) -> None:
        """Stop the sender, send the safe state (or the held frame) `SAFE_REPEATS`
        times and close the transport; a failed send raises UserError."""
        self._stop.set()
        self._thread.join()
        try:
            # A sender that failed since the last frame must not pass for done.
            self._raise_send_error()
            final = self._last_lit if self.hold and self._last_lit is not None else self.frames.safe(self._last_lit)
            for repeat in range(SAFE_REPEATS):
                if repeat:
                    time.sleep(1.0 / self.rate)
                self._transmit(final)
        except OSError as exc:
            raise UserError(f"{self.transport.label} send failed: {exc.strerror or exc}") from None
        finally:
            self.transport.close()

    def _raise_send_error(self) -> None:
        if self._error is not None:
            raise UserError(f"{self.transport.label} send failed: {self._error.strerror or self._error}")

    def _transmit(self, universes: Universes) -> None:
        for universe, data in universes.items():
            self.transport.transmit(universe, data)

    def _run(self) -> None:
        period = 1.0 / self.rate
        next_at = time.perf_counter()
        while not self._stop.is_set():
            with self._lock:
                data = self._pending
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
