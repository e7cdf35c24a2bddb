"""Following MIDI clock: 24 ticks a quarter note, start, stop, continue and
song position pointer, from any mido input.

Tick arrival times jitter (USB, the sender's scheduler, the network), so the
raw ticks make a stuttering clock. The follower filters them with the
second-order delay-locked loop audio software uses to filter time (F.
Adriaensen, "Using a DLL to filter time", 2005): a predicted time for the
next tick and a period estimate, both corrected by the error of each real
tick. Between ticks the pip runs on at the filtered rate, through a lost
tick but at most three ticks past the last one, so a clock that dies without
a stop does not run away.

A tick later than one and a half periods is taken as one or more lost ticks,
and the position counts them; if the ticks then come in a burst (they were
only late: a stalled sender or network), each early one takes a lost tick
back instead of moving the position.

Its bandwidth switches: wide for the first two beats after a start and whenever
the ticks keep arriving off the prediction on one side (a tempo change), so
the loop locks fast; narrow otherwise, so jitter is smoothed out.

Song position: the first tick after start is pip 0; after a song position
pointer (in sixteenth notes) and continue, the first tick is at that
position; a continue after a stop goes on from where the ticks stopped.
"""

from __future__ import annotations

import math
import threading
import time
from collections.abc import Callable, Iterator
from typing import Any, Protocol

TICKS_PER_BEAT = 24
PIPS_PER_TICK = 64 / TICKS_PER_BEAT
TICKS_PER_SIXTEENTH = 6

WIDE_BANDWIDTH = 1.5  # Hz: locks within about a beat; wider lets jitter into the tempo
NARROW_BANDWIDTH = 0.5  # Hz: smooths millisecond jitter into a fraction of a pip
LOCK_TICKS = 12  # ticks fitted by a line before the loop takes over
WIDE_TICKS = 36  # ticks of wide bandwidth after a start, a continue or a tempo change
DRIFT_TICKS = 6  # consecutive errors on one side that mean the tempo changed
DRIFT_SHARE = 0.12  # ... when their mean is beyond this share of a period
LOST_AFTER = 1.5  # a tick this many periods late means ticks were lost
RUN_AHEAD = 3.0  # ticks the answer may run past the last tick (through lost ones, not further)
# A socket port refusing the connection may be a source started a moment ago
# (`source & kinetrope play ...`): keep knocking this long before giving up.
CONNECT_PATIENCE = 3.0  # seconds


class Message(Protocol):
    """The part of a mido message the follower reads."""

    @property
    def type(self) -> str: ...


class MidiClockFollower:
    """Answers the song position (pips) and tempo at any moment from the
    MIDI clock messages fed to it. `feed` may be called from one thread
    (a port reader) while another asks `pip`; a lock keeps them consistent."""

    def __init__(self, default_bpm: float = 120.0, monotonic: Callable[[], float] = time.monotonic) -> None:
        if not (math.isfinite(default_bpm) and default_bpm > 0):
            raise ValueError(f"default bpm must be positive: {default_bpm!r}")
        self.monotonic = monotonic
        self._lock = threading.Lock()
        self._period = 60.0 / (default_bpm * TICKS_PER_BEAT)  # filtered seconds a tick
        self._running = False
        self._next_tick = 0  # position, in ticks, of the next tick to arrive
        self._last_tick = -1  # position of the last tick received while running (-1: none yet)
        self._held = 0.0  # the pip while stopped or before the first tick
        self._filtered = 0.0  # filtered time of the last tick
        self._maybe_late = 0  # ticks lately taken as lost that a burst may still bring
        self._fit: list[tuple[int, float]] = []  # (position, arrival) of the ticks while locking in
        self._predicted = 0.0  # predicted time of the next tick
        self._fit = []
        self._maybe_late = 0
        self._wide_left = WIDE_TICKS
        self._recent: list[float] = []
        self._floor = -math.inf  # never answer less than this while running
        self.ticks = 0
        self.lost_ticks = 0

    # Messages.

    def feed(self, message: Message, at: float | None = None) -> None:
        """Takes one message received at `at` (the follower's monotonic clock;
        now if not given). Messages other than clock ones are ignored."""
        at = self.monotonic() if at is None else at
        kind = message.type
        with self._lock:
            if kind == "clock":
                self._tick(at)
            elif kind == "start":
                self._restart(0, at)
            elif kind == "continue":
                self._restart(self._next_tick, at)
            elif kind == "stop":
                if self._running:
                    # Held no further than the next tick's position, where a continue goes on.
                    self._held = min(self._pip_running(at), self._next_tick * PIPS_PER_TICK)
                    self._running = False
            elif kind == "songpos":
                position = int(getattr(message, "pos", 0)) * TICKS_PER_SIXTEENTH
                self._next_tick = position
                self._held = position * PIPS_PER_TICK
                if self._running:
                    self._restart(position, at)

    def _restart(self, position: int, at: float) -> None:
        self._running = True
        self._next_tick = position
        self._last_tick = -1
        self._held = position * PIPS_PER_TICK
        self._floor = -math.inf
        self._fit = []
        self._maybe_late = 0
        self._wide_left = WIDE_TICKS
        self._recent.clear()

    def _tick(self, at: float) -> None:
        self.ticks += 1
        if not self._running:
            return
        if self._last_tick < 0:
            # The first tick anchors the position; the period is measured from the next ones.
            self._last_tick = self._next_tick
            self._next_tick += 1
            self._filtered = at
            self._predicted = at + self._period
            self._fit = [(self._last_tick, at)]
            return
        if self._fit:
            self._lock_in(at)
            return
        error = at - self._predicted
        if error > (LOST_AFTER - 1.0) * self._period:
            lost = max(1, round(error / self._period))
            self._advance(lost)
            self._maybe_late += lost
            error = at - self._predicted
        elif error < -(LOST_AFTER - 1.0) * self._period and self._maybe_late > 0:
            # A burst after a gap: the ticks taken as lost were only late (a
            # sender or network that stalled), and this is one of them. It
            # takes back one lost tick and moves nothing.
            self._maybe_late -= 1
            self.lost_ticks -= 1
            return
        else:
            self._maybe_late = 0
        self._track_drift(error)
        bandwidth = WIDE_BANDWIDTH if self._wide_left > 0 else NARROW_BANDWIDTH
        self._wide_left -= 1
        omega = 2.0 * math.pi * bandwidth * self._period
        self._filtered = self._predicted
        self._predicted += math.sqrt(2.0) * omega * error + self._period
        self._period += omega * omega * error
        self._last_tick = self._next_tick
        self._next_tick += 1

    def _lock_in(self, at: float) -> None:
        """The first ticks after a start or continue: a straight line fitted
        through them gives the loop its first period and phase, which one
        jittered interval alone would get wrong by up to a fifth."""
        fit = self._fit
        interval = at - fit[-1][1]
        if len(fit) == 1:
            self._period = interval
        elif len(fit) == 2 and self._period > LOST_AFTER * interval:
            # The first interval was twice this one: a tick was lost in it.
            fit[-1] = (fit[-1][0] + 1, fit[-1][1])
            self._next_tick += 1
            self.lost_ticks += 1
        elif interval > LOST_AFTER * self._period:
            lost = max(1, round(interval / self._period) - 1)
            self._next_tick += lost
            self.lost_ticks += lost
        fit.append((self._next_tick, at))
        self._last_tick = self._next_tick
        self._next_tick += 1
        if len(fit) >= 3:
            count = len(fit)
            mean_position = sum(p for p, _ in fit) / count
            mean_time = sum(t for _, t in fit) / count
            spread = sum((p - mean_position) ** 2 for p, _ in fit)
            self._period = sum((p - mean_position) * (t - mean_time) for p, t in fit) / spread
        self._filtered = at
        self._predicted = at + self._period
        if len(fit) >= LOCK_TICKS:
            line_now = mean_time + (self._last_tick - mean_position) * self._period
            self._filtered = line_now
            self._predicted = line_now + self._period
            self._fit = []

    def _advance(self, lost: int) -> None:
        """Counts `lost` ticks that never arrived at their predicted times."""
        for _ in range(lost):
            self._filtered = self._predicted
            self._predicted += self._period
            self._next_tick += 1
        self.lost_ticks += lost

    def _track_drift(self, error: float) -> None:
        self._recent.append(error)
        if len(self._recent) > DRIFT_TICKS:
            del self._recent[0]
        if len(self._recent) == DRIFT_TICKS and self._wide_left <= 0:
            mean = sum(self._recent) / DRIFT_TICKS
            one_side = all(e > 0 for e in self._recent) or all(e < 0 for e in self._recent)
            if one_side and abs(mean) > DRIFT_SHARE * self._period:
                self._wide_left = WIDE_TICKS
                self._recent.clear()

    # Answers.

    def _pip_running(self, now: float) -> float:
        if self._last_tick < 0:
            return self._held
        span = self._predicted - self._filtered
        ahead = (now - self._filtered) / span if span > 0 else 0.0
        pip = (self._last_tick + min(max(ahead, 0.0), RUN_AHEAD)) * PIPS_PER_TICK
        # Each tick re-anchors at its filtered time; keep the answer from stepping back.
        pip = max(pip, self._floor)
        self._floor = pip
        return pip

    def pip(self, now: float | None = None) -> float:
        """The song position at `now` (the follower's monotonic clock), in pips."""
        now = self.monotonic() if now is None else now
        with self._lock:
            return self._pip_running(now) if self._running else self._held

    def bpm(self, now: float | None = None) -> float:
        """The filtered tempo, in beats a minute."""
        with self._lock:
            return 60.0 / (self._period * TICKS_PER_BEAT)

    @property
    def running(self) -> bool:
        with self._lock:
            return self._running

    # Ports.

    def follow(self, port: Any) -> threading.Thread:
        """Reads `port` (any mido input: a port, a socket port) in a daemon
        thread until it closes, feeding each message with its arrival time."""

        def read() -> None:
            messages: Iterator[Any] = iter(port)
            try:
                for message in messages:
                    self.feed(message, self.monotonic())
            except (OSError, EOFError, ValueError):
                # The port closed under the reader: the clock just stops.
                pass

        thread = threading.Thread(target=read, name="midi-clock", daemon=True)
        thread.start()
        return thread


def open_clock_input(name: str) -> Any:
    """A mido input for `name`: HOST:PORT connects to a mido socket port (as
    `mido-serve` offers one), anything else opens the named MIDI input.
    `UserError` for a port that does not exist or does not answer."""
    from kinetrope_host.errors import UserError

    try:
        import mido  # type: ignore[import-untyped, unused-ignore]
        import mido.sockets  # type: ignore[import-untyped, unused-ignore]
    except ImportError:
        raise UserError("following MIDI clock needs mido: pip install 'kinetrope[midi]'") from None
    host, colon, number = name.rpartition(":")
    if colon and number.isdigit():
        port_number = int(number)
        if not 1 <= port_number <= 65535:
            raise UserError(f"MIDI socket port must be 1 to 65535: {name}")
        give_up = time.monotonic() + CONNECT_PATIENCE
        while True:
            try:
                return mido.sockets.connect(host or "127.0.0.1", port_number)
            except ConnectionRefusedError as error:
                if time.monotonic() >= give_up:
                    raise UserError(f"cannot connect to MIDI socket port {name}: {error.strerror}") from None
                time.sleep(0.1)
            except OSError as error:
                raise UserError(f"cannot connect to MIDI socket port {name}: {error.strerror or error}") from None
    try:
        return mido.open_input(name)
    except (OSError, ImportError, ModuleNotFoundError) as error:
        try:
            known = mido.get_input_names()
        except Exception:
            known = []
        listing = f"; inputs: {', '.join(known)}" if known else "; no MIDI inputs found (HOST:PORT reaches a socket port)"
        reason = "no such MIDI input" if isinstance(error, OSError) else f"no MIDI backend ({error})"
        raise UserError(f"{reason}: {name}{listing}") from None
