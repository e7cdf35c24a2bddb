"""Following MIDI clock: 24 ticks a quarter note, start, stop, continue and
song position pointer, from any mido input.

The count of ticks is the position. USB, sockets and JACK deliver MIDI in
order and lose nothing, so a tick that comes late is late, not lost: a
slower tempo looks exactly like that. Only the timing between ticks is
estimated.

Tick arrival times jitter (USB, the sender's scheduler, the network), so the
raw ticks make a stuttering clock. The follower filters them with the
second-order delay-locked loop audio software uses to filter time (F.
Adriaensen, "Using a DLL to filter time", 2005): a predicted time for the
next tick and a period estimate, both corrected by the error of each tick.
Between ticks the answer runs on at the filtered rate, at most three ticks
past the last one, so a clock that dies without a stop holds still.

The loop is kept safe from what a live rig sends it:
- the first ticks after a start, a continue or a silence are fitted by a
  straight line (the last dozen at most), which one jittered interval alone
  would get wrong by up to a fifth;
- one tick moves the loop by at most half a period, so a burst (equal or
  sub-microsecond timestamps after a stall) is absorbed, not taken as tempo;
- a dozen errors in a row on one side is a tempo change: the line through
  the last dozen ticks restarts the loop, wide for a while, so halving or
  doubling the tempo is followed within a beat or two;
- the tempo answer stays within 20 to 400 BPM.
Each message costs the same bounded work, whatever came before.

Song position: the first tick after start is pip 0; after a song position
pointer (in sixteenth notes) and continue, the first tick is at that
position; a continue after a stop goes on from where the ticks stopped.
"""

from __future__ import annotations

import math
import sys
import threading
import time
from collections import deque
from collections.abc import Callable, Sequence
from typing import Any, Protocol, TextIO, runtime_checkable

TICKS_PER_BEAT = 24
PIPS_PER_TICK = 64 / TICKS_PER_BEAT
TICKS_PER_SIXTEENTH = 6

MIN_BPM, MAX_BPM = 20.0, 400.0
FIT_TICKS = 12  # ticks a line is fitted through (at a start, after a silence or a tempo change)
WIDE_BANDWIDTH = 1.5  # Hz: after a fit, so the loop settles within a beat or two
NARROW_BANDWIDTH = 0.4  # Hz: smooths millisecond jitter to well under a percent of speed
WIDE_TICKS = 48  # ticks of wide bandwidth after a fit
MAX_OMEGA = 0.5  # the loop's bandwidth times its period, at most
STEP_TICKS = 12  # errors in a row on one side that mean the tempo changed ...
STEP_SHARE = 0.25  # ... when their mean is beyond this share of a period
ERROR_LIMIT = 0.5  # the most, in periods, one tick's error moves the loop
RUN_AHEAD = 3.0  # ticks the answer may run past the last tick
LOST_BEATS = 1.0  # a silence this long (at the tempo followed) means the clock is lost
MIN_SILENCE = 0.25  # seconds: ... and never less than this

MAX_MESSAGE_BYTES = 256  # longer messages (SysEx dumps, a stuck sender) are dropped unread


class Message(Protocol):
    """The part of a mido message the follower reads."""

    @property
    def type(self) -> str: ...


def _period_for(bpm: float) -> float:
    return 60.0 / (bpm * TICKS_PER_BEAT)


MIN_PERIOD, MAX_PERIOD = _period_for(MAX_BPM), _period_for(MIN_BPM)


class MidiClockFollower:
    """Answers the song position (pips) and tempo at any moment from the
    MIDI clock messages fed to it. `feed` may be called from one thread
    (a port reader) while another asks `pip`; a lock keeps them consistent."""

    def __init__(self, default_bpm: float = 120.0, monotonic: Callable[[], float] = time.monotonic) -> None:
        if not (math.isfinite(default_bpm) and default_bpm > 0):
            raise ValueError(f"default bpm must be positive: {default_bpm!r}")
        self.monotonic = monotonic
        self._lock = threading.Lock()
        self._period = min(max(_period_for(default_bpm), MIN_PERIOD), MAX_PERIOD)  # filtered seconds a tick
        self._running = False
        self._next_tick = 0  # position, in ticks, of the next tick to arrive
        self._last_tick = -1  # position of the last tick received while running (-1: none yet)
        self._held = 0.0  # the pip while stopped or before the first tick
        self._filtered = 0.0  # filtered time of the last tick
        self._predicted = 0.0  # predicted time of the next tick
        self._last_arrival = 0.0
        self._arrivals: deque[float] = deque(maxlen=FIT_TICKS)  # of the ticks since the last fit began
        self._fitting = False
        self._wide_left = 0
        self._run_count = 0  # errors in a row on one side, and their sum
        self._run_sum = 0.0
        self._floor = -math.inf  # never answer less than this while running
        self.ticks = 0
        self.lost_ticks = 0  # kept for callers: an ordered transport loses none, so always 0
        self.dropped = 0  # messages too long to read (see MAX_MESSAGE_BYTES)

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
                self._restart(0)
            elif kind == "continue":
                self._restart(self._next_tick)
            elif kind == "stop":
                if self._running:
                    # Held at least at the last tick, no further than the next one, where a continue goes on.
                    pip = max(self._pip_running(at), self._last_tick * PIPS_PER_TICK)
                    self._held = min(pip, self._next_tick * PIPS_PER_TICK)
                    self._running = False
            elif kind == "songpos":
                position = int(getattr(message, "pos", 0)) * TICKS_PER_SIXTEENTH
                self._next_tick = position
                self._held = position * PIPS_PER_TICK
                if self._running:
                    self._restart(position)

    def _restart(self, position: int) -> None:
        self._running = True
        self._next_tick = position
        self._last_tick = -1
        self._held = position * PIPS_PER_TICK
        self._floor = -math.inf

    def _tick(self, at: float) -> None:
        self.ticks += 1
        if not self._running:
            return
        silence = at - self._last_arrival
        first = self._last_tick < 0
        self._last_tick = self._next_tick
        self._next_tick += 1
        self._last_arrival = at
        if first or silence > self._silence_limit():
            # Anchored afresh: the period is kept until the ticks give a new one.
            self._arrivals.clear()
            self._arrivals.append(at)
            self._fitting = True
            self._filtered = at
            self._predicted = at + self._period
            return
        self._arrivals.append(at)
        if self._fitting:
            self._fit_line()
            self._fitting = len(self._arrivals) < FIT_TICKS
            return
        error = at - self._predicted
        if self._tempo_changed(error):
            self._fit_line()
            return
        limit = ERROR_LIMIT * self._period
        self._correct(min(max(error, -limit), limit))

    def _correct(self, error: float) -> None:
        bandwidth = WIDE_BANDWIDTH if self._wide_left > 0 else NARROW_BANDWIDTH
        self._wide_left -= 1
        # Capped where slow ticks would put the bandwidth near their own rate and the loop would ring.
        omega = min(2.0 * math.pi * bandwidth * self._period, MAX_OMEGA)
        self._filtered = self._predicted
        self._predicted += math.sqrt(2.0) * omega * error + self._period
        self._period = min(max(self._period + omega * omega * error, MIN_PERIOD), MAX_PERIOD)

    def _tempo_changed(self, error: float) -> bool:
        if self._run_count and (error > 0) != (self._run_sum > 0):
            self._run_count, self._run_sum = 0, 0.0
        self._run_count += 1
        self._run_sum += error
        return self._run_count >= STEP_TICKS and abs(self._run_sum) > STEP_SHARE * self._period * self._run_count

    def _fit_line(self) -> None:
        """A least-squares line through the kept arrivals (consecutive ticks)
        gives the period and the filtered time of the last tick; the loop
        goes on from there, wide."""
        arrivals = self._arrivals
        count = len(arrivals)
        mean_index = (count - 1) / 2.0
        mean_time = sum(arrivals) / count
        spread = sum((k - mean_index) ** 2 for k in range(count))
        slope = sum((k - mean_index) * (t - mean_time) for k, t in enumerate(arrivals)) / spread
        self._period = min(max(slope, MIN_PERIOD), MAX_PERIOD)
        last = mean_time + (count - 1 - mean_index) * slope
        self._filtered = last
        self._predicted = last + self._period
        self._wide_left = WIDE_TICKS
        self._run_count, self._run_sum = 0, 0.0

    def _silence_limit(self) -> float:
        return max(LOST_BEATS * TICKS_PER_BEAT * self._period, MIN_SILENCE)

    # Answers.

    def _pip_running(self, now: float) -> float:
        if self._last_tick < 0:
            return self._held
        span = self._predicted - self._filtered
        ahead = (now - self._filtered) / span if span > 0 else 0.0
        # Down to a tick behind: an early tick is met where the answer is, not jumped to.
        pip = (self._last_tick + min(max(ahead, -1.0), RUN_AHEAD)) * PIPS_PER_TICK
        # Each tick or fit re-anchors; keep the answer from stepping back.
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

    def lost(self, now: float | None = None) -> bool:
        """Running, yet no tick for a beat or more: the sender went away
        without a stop (the answer holds a few ticks past the last one)."""
        now = self.monotonic() if now is None else now
        with self._lock:
            return self._running and self._last_tick >= 0 and now - self._last_arrival > self._silence_limit()

    @property
    def running(self) -> bool:
        with self._lock:
            return self._running

    # Ports.

    def follow(self, port: Any, warn: TextIO | None = None) -> threading.Thread:
        """Reads `port` (any mido input: a port, a socket port) in a daemon
        thread until it closes, feeding each message with its arrival time.
        Messages longer than MAX_MESSAGE_BYTES are dropped, with one warning."""
        from kinetrope_host.clocks.midiports import bounded_messages

        def read() -> None:
            try:
                for message in bounded_messages(port, self._dropped, warn or sys.stderr):
                    self.feed(message, self.monotonic())
            except (OSError, EOFError, ValueError):
                # The port closed under the reader: the clock just stops.
                pass

        thread = threading.Thread(target=read, name="midi-clock", daemon=True)
        thread.start()
        return thread

    def _dropped(self) -> None:
        self.dropped += 1


def open_clock_input(name: str) -> Any:
    """Kept where callers found it: see `kinetrope_host.clocks.midiports`."""
    from kinetrope_host.clocks.midiports import open_clock_input as open_input

    return open_input(name)


@runtime_checkable
class ClockListener(Protocol):
    """What a sink offers to be told that the followed clock stopped or came back."""

    def clock_stopped(self) -> None:
        """The clock stopped or went silent."""
        ...

    def clock_resumed(self) -> None:
        """The clock runs again after `clock_stopped`."""
        ...


class LostClockNotice:
    """A frame sink that says once, on stderr, when the followed clock has
    gone silent without a stop, and again after it came back and went again.
    Sinks that must act when the music stops (moving heads going dark) are
    told of every stop and loss, and of the clock's return."""

    def __init__(self, follower: MidiClockFollower, beats_per_bar: int, out: TextIO | None = None,
                 listeners: Sequence[ClockListener] = ()) -> None:
        self.follower = follower
        self.beats_per_bar = beats_per_bar
        self.out = out
        self.listeners = list(listeners)
        self.said = False
        self.halted = False

    def send(self, frame: Any) -> None:
        """Check the follower at this frame: report a loss once, and tell the
        listeners when the clock halts or runs again."""
        lost = self.follower.lost()
        if lost and not self.said:
            beat = math.floor(frame.pip / 64.0)
            bar, in_bar = divmod(beat, self.beats_per_bar)
            print(f"MIDI clock lost: holding at bar {bar + 1} beat {in_bar + 1}", file=self.out or sys.stderr,
                  flush=True)
        self.said = lost
        self._tell(lost or not self.follower.running)

    def _tell(self, halted: bool) -> None:
        if halted == self.halted:
            return
        self.halted = halted
        for listener in self.listeners:
            if halted:
                listener.clock_stopped()
            else:
                listener.clock_resumed()

    def close(self) -> None:
        """Nothing to release."""
