"""Live control of the clock a show runs on: tap tempo, a bar reset ("this is
beat 1 now"), nudges a few milliseconds earlier or later, a latency for
projectors and lights that answer late; from the keyboard of the terminal
view and from a controller over OSC.

`LiveClock` wraps whatever clock is followed. Tap tempo and a set tempo act
on a clock whose tempo can be set: a `TapClock` (play at a tempo), or a Link
session, whose tempo any peer may set. Following MIDI clock or audio, the
sender owns the tempo and they are refused with a word on stderr, while bar
reset, nudge and latency still work.
"""

from __future__ import annotations

import math
import sys
import threading
import time
from collections import deque
from collections.abc import Callable
from typing import Any, ClassVar, Protocol, TextIO, runtime_checkable

from kinetrope_host.clocks import Clock

PIPS_PER_BEAT = 64
MIN_BPM, MAX_BPM = 20.0, 400.0
TAPS_KEPT = 8  # the tempo is the mean over this many taps at most
TAP_GAP = 2.0  # seconds: a longer pause starts a new run of taps
NUDGE_MS = 5.0  # what one arrow key moves


@runtime_checkable
class SetsTempo(Protocol):
    """A clock whose tempo can be set while it runs."""

    def set_bpm(self, bpm: float, now: float) -> None:
        """Run at `bpm` from `now` on."""
        ...


class Taps:
    """A run of taps, and the tempo they make (two or more, the mean
    interval of the last few; a long pause starts a new run)."""

    def __init__(self) -> None:
        self._times: deque[float] = deque(maxlen=TAPS_KEPT)

    def tap(self, now: float) -> float | None:
        """Add a tap at `now`; returns the run's tempo, clamped to MIN_BPM to
        MAX_BPM, or None until there are two taps."""
        if self._times and now - self._times[-1] > TAP_GAP:
            self._times.clear()
        self._times.append(now)
        if len(self._times) < 2 or self._times[-1] <= self._times[0]:
            return None
        interval = (self._times[-1] - self._times[0]) / (len(self._times) - 1)
        return min(max(60.0 / interval, MIN_BPM), MAX_BPM)


class TapClock:
    """A constant tempo that can be changed as it runs, the position running
    on without a jump."""

    def __init__(self, bpm: float, started: float, start_pip: float = 0.0) -> None:
        self._bpm = bpm
        self._anchor_time = started
        self._anchor_pip = start_pip
        self._taps = Taps()

    def pip(self, now: float) -> float:
        """The position in pips at `now`."""
        return self._anchor_pip + (now - self._anchor_time) * self._bpm / 60.0 * PIPS_PER_BEAT

    def bpm(self, now: float) -> float:
        """The current tempo (`now` is not used)."""
        return self._bpm

    def set_bpm(self, bpm: float, now: float) -> None:
        """Run at `bpm` from `now`, the position carrying on from where it is."""
        self._anchor_pip = self.pip(now)
        self._anchor_time = now
        self._bpm = bpm

    def tap(self, now: float) -> None:
        """A tap is on a beat: two or more in a run give the tempo, and each
        moves the nearest beat onto it."""
        tempo = self._taps.tap(now)
        if tempo is not None:
            self.set_bpm(tempo, now)
        beat = round(self.pip(now) / PIPS_PER_BEAT)
        self._anchor_pip, self._anchor_time = beat * PIPS_PER_BEAT, now


class LiveClock:
    """`clock` shifted by latency and nudges, its bars counted from the last
    bar reset; safe to control from other threads while the player asks."""

    def __init__(self, clock: Clock, beats_per_bar: int, latency_ms: float = 0.0,
                 monotonic: Callable[[], float] = time.monotonic, warn: TextIO | None = None) -> None:
        self.clock = clock
        self.beats_per_bar = beats_per_bar
        self.latency = latency_ms / 1000.0
        self.nudged = 0.0  # seconds later (negative: earlier)
        self.bar_offset = 0.0  # pips added by bar resets
        self.monotonic = monotonic
        self.warn = warn
        self._lock = threading.Lock()
        self._taps = Taps()  # for a clock that sets its tempo but keeps its own phase (Link)

    def _source_time(self, now: float) -> float:
        # Outputs show the music `latency` ahead, so what answers late is on time.
        return now + self.latency - self.nudged

    def pip(self, now: float) -> float:
        """The clock's position in pips at `now`, shifted by latency, nudges and bar resets."""
        with self._lock:
            return self.clock.pip(self._source_time(now)) + self.bar_offset

    def bpm(self, now: float) -> float:
        """The clock's tempo at `now`, shifted by latency and nudges."""
        with self._lock:
            return self.clock.bpm(self._source_time(now))

    # Controls.

    def tap(self) -> None:
        """A tap now: sets the tempo (and, on a tap clock, the beat); with a clock
        that sets its own tempo, says so on `warn` instead."""
        with self._lock:
            now = self._source_time(self.monotonic())
            if isinstance(self.clock, TapClock):
                self.clock.tap(now)
                return
            if isinstance(self.clock, SetsTempo):
                tempo = self._taps.tap(now)
                if tempo is not None:
                    self.clock.set_bpm(tempo, now)
                return
        self._refuse("tap tempo")

    def set_bpm(self, bpm: float) -> None:
        """Set the tempo now; an out-of-range `bpm`, or a clock that sets its own
        tempo, is reported on `warn` and changes nothing."""
        if not (math.isfinite(bpm) and MIN_BPM <= bpm <= MAX_BPM):
            self._say(f"tempo must be {MIN_BPM:g} to {MAX_BPM:g} BPM: {bpm!r}")
            return
        with self._lock:
            if isinstance(self.clock, SetsTempo):
                self.clock.set_bpm(bpm, self._source_time(self.monotonic()))
                return
        self._refuse("setting the tempo")

    def bar(self) -> None:
        """This is beat 1 now: the nearest bar line moves here."""
        with self._lock:
            pip = self.clock.pip(self._source_time(self.monotonic())) + self.bar_offset
            bar = self.beats_per_bar * PIPS_PER_BEAT
            self.bar_offset += round(pip / bar) * bar - pip

    def nudge(self, ms: float) -> None:
        """Everything `ms` milliseconds later (negative: earlier)."""
        if not (math.isfinite(ms) and abs(ms) <= 1000.0):
            self._say(f"a nudge must be at most 1000 ms either way: {ms!r}")
            return
        with self._lock:
            self.nudged += ms / 1000.0

    def _refuse(self, what: str) -> None:
        self._say(f"{what} needs play at a tempo or --link: the clock followed sets the tempo")

    def _say(self, text: str) -> None:
        print(f"kinetrope: {text}", file=self.warn or sys.stderr, flush=True)


class OscControl:
    """Takes <prefix>/tap, /bar, /bpm f and /nudge f (ms) from a controller
    on UDP `port`, all interfaces (python-osc serves them in a thread)."""

    def __init__(self, control: LiveClock, port: int, prefix: str = "/kinetrope", host: str = "0.0.0.0") -> None:
        from pythonosc.dispatcher import Dispatcher
        from pythonosc.osc_server import ThreadingOSCUDPServer

        from kinetrope_host.errors import UserError

        dispatcher = Dispatcher()
        dispatcher.map(f"{prefix}/tap", lambda address, *args: control.tap())
        dispatcher.map(f"{prefix}/bar", lambda address, *args: control.bar())
        dispatcher.map(f"{prefix}/bpm", lambda address, *args: _with_number(args, control.set_bpm, control))
        dispatcher.map(f"{prefix}/nudge", lambda address, *args: _with_number(args, control.nudge, control))
        try:
            self.server = ThreadingOSCUDPServer((host, port), dispatcher)
        except OSError as error:
            raise UserError(f"cannot take OSC on port {port}: {error.strerror or error}") from None
        self.thread = threading.Thread(target=self.server.serve_forever, name="osc-in", daemon=True)
        self.thread.start()

    def send(self, frame: Any) -> None:
        """Ignored: controls take no frames."""

    def close(self) -> None:
        """Stop the OSC server and free its port."""
        self.server.shutdown()
        self.server.server_close()


def _with_number(args: tuple[Any, ...], action: Callable[[float], None], control: LiveClock) -> None:
    if len(args) == 1 and isinstance(args[0], (int, float)) and not isinstance(args[0], bool):
        action(float(args[0]))
    else:
        control._say(f"expected one number, got {list(args)!r}")


class KeyControl:
    """Keys in the terminal view: space taps, b resets the bar, left and right
    nudge NUDGE_MS earlier and later. Reads stdin in cbreak mode while the
    player runs, and puts the terminal back as it closes."""

    KEYS: ClassVar[dict[str, str]] = {" ": "tap", "b": "bar", "B": "bar", "\x1b[D": "earlier", "\x1b[C": "later"}

    def __init__(self, control: LiveClock, stdin: TextIO | None = None) -> None:
        import termios
        import tty

        self.control = control
        self.stdin = stdin or sys.stdin
        self.fd = self.stdin.fileno()
        self.saved = termios.tcgetattr(self.fd)
        tty.setcbreak(self.fd)
        self.thread = threading.Thread(target=self._read, name="keys", daemon=True)
        self.thread.start()

    def _read(self) -> None:
        import os

        pending = ""
        while True:
            try:
                data = os.read(self.fd, 16)
            except OSError:
                return
            if not data:
                return
            pending += data.decode(errors="replace")
            while pending:
                if pending[0] == "\x1b" and len(pending) < 3:
                    break  # the rest of an arrow key is on its way
                key = pending[:3] if pending[0] == "\x1b" else pending[0]
                pending = pending[len(key):]
                self.press(key)

    def press(self, key: str) -> None:
        """Act on one key as read (an arrow key is its escape sequence); other keys are ignored."""
        action = self.KEYS.get(key)
        if action == "tap":
            self.control.tap()
        elif action == "bar":
            self.control.bar()
        elif action in ("earlier", "later"):
            self.control.nudge(-NUDGE_MS if action == "earlier" else NUDGE_MS)

    def send(self, frame: Any) -> None:
        """Ignored: controls take no frames."""

    def close(self) -> None:
        """Put the terminal back in the mode it had before."""
        import termios

        termios.tcsetattr(self.fd, termios.TCSADRAIN, self.saved)
