"""The MIDI clock follower on simulated tick streams, against the naive
follower measured on the same streams in this run.

Streams: 60, 120 and 174 BPM, each tick's arrival jittered by a uniform
+-2 ms, one tick in 50 dropped at random. The answered pip is asked every
millisecond and compared with the true pip of that instant (after the first
beat, which both followers need to see a tempo at all). The naive follower
answers the last tick plus the time since it over the last tick interval
(at most one tick ahead, like the filtered one).

A second stream steps from 120 to 140 BPM: how many beats after the step the
follower's tempo stays within 1% of 140.

Run: python3 benchmarks/bench_midi_clock.py [--seconds 30] [--seed 1]
"""

from __future__ import annotations

import argparse
import math
import random
from collections.abc import Callable
from types import SimpleNamespace

from kinetrope_host.clocks.midiclock import (
    PIPS_PER_TICK,
    RUN_AHEAD,
    TICKS_PER_BEAT,
    MidiClockFollower,
)

JITTER = 0.002
DROP_ONE_IN = 50

START = SimpleNamespace(type="start")
CLOCK = SimpleNamespace(type="clock")


class NaiveFollower:
    def __init__(self) -> None:
        self.ticks = -1
        self.last = 0.0
        self.interval = 60.0 / 120 / TICKS_PER_BEAT

    def tick(self, at: float, index: int) -> None:
        # The naive follower is told each tick's true index, so lost ticks
        # cost it no position: the two differ only in how they time.
        if self.ticks >= 0:
            self.interval = (at - self.last) / (index - self.ticks)
        self.ticks = index
        self.last = at

    def pip(self, now: float) -> float:
        ahead = min(max((now - self.last) / self.interval, 0.0), RUN_AHEAD)
        return (self.ticks + ahead) * PIPS_PER_TICK


def tick_times(seconds_at_tick: Callable[[int], float], until: float, rng: random.Random) -> list[tuple[int, float]]:
    """(tick index, arrival time) of every tick not dropped."""
    ticks = []
    index = 0
    while (true := seconds_at_tick(index)) < until:
        if rng.randrange(DROP_ONE_IN) != 0 or index == 0:
            ticks.append((index, true + rng.uniform(-JITTER, JITTER)))
        index += 1
    return ticks


def errors(bpm: float, seconds: float, rng: random.Random) -> tuple[list[float], list[float]]:
    period = 60.0 / bpm / TICKS_PER_BEAT
    ticks = tick_times(lambda k: 0.1 + k * period, seconds, rng)
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    naive = NaiveFollower()
    follower.feed(START, 0.0)
    dll_errors, naive_errors = [], []
    queue = iter(sorted(ticks, key=lambda t: t[1]))
    pending = next(queue, None)
    now = 0.1 + 60.0 / bpm  # from the first beat on
    for index, at in ticks:
        if at >= now:
            break
        follower.feed(CLOCK, at)
        naive.tick(at, index)
    queue = iter([t for t in ticks if t[1] >= now])
    pending = next(queue, None)
    while now < seconds:
        while pending is not None and pending[1] <= now:
            follower.feed(CLOCK, pending[1])
            naive.tick(pending[1], pending[0])
            pending = next(queue, None)
        true = (now - 0.1) / period * PIPS_PER_TICK
        dll_errors.append(follower.pip(now) - true)
        naive_errors.append(naive.pip(now) - true)
        now += 0.001
    return dll_errors, naive_errors


def rms(values: list[float]) -> float:
    return math.sqrt(sum(v * v for v in values) / len(values))


def step_settling(rng: random.Random, before: float = 120.0, after: float = 140.0) -> float:
    """Beats after the step until the tempo stays within 1% of `after`."""
    step_tick = 8 * TICKS_PER_BEAT
    p1, p2 = 60.0 / before / TICKS_PER_BEAT, 60.0 / after / TICKS_PER_BEAT
    step_time = step_tick * p1

    def seconds_at_tick(k: int) -> float:
        return k * p1 if k <= step_tick else step_time + (k - step_tick) * p2

    ticks = tick_times(seconds_at_tick, step_time + 8 * 60.0 / after, rng)
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    follower.feed(START, 0.0)
    last_outside = step_time
    for index, at in ticks:
        follower.feed(CLOCK, at)
        if index > step_tick and abs(follower.bpm() / after - 1.0) > 0.01:
            last_outside = at
    return (last_outside - step_time) * after / 60.0


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    print(f"jitter +-{JITTER * 1e3:g} ms uniform, 1 tick in {DROP_ONE_IN} dropped, {args.seconds:g} s a stream")
    print(f"{'bpm':>5} {'DLL rms':>9} {'DLL worst':>10} {'naive rms':>10} {'naive worst':>12} {'naive/DLL':>10}  (pips)")
    for bpm in (60.0, 120.0, 174.0):
        dll, naive = errors(bpm, args.seconds, rng)
        print(f"{bpm:5.0f} {rms(dll):9.3f} {max(map(abs, dll)):10.3f} {rms(naive):10.3f} {max(map(abs, naive)):12.3f}"
              f" {rms(naive) / rms(dll):10.1f}")
    settle = [step_settling(random.Random(args.seed + k)) for k in range(20)]
    print(f"step 120 -> 140 bpm: tempo within 1% after {sum(settle) / len(settle):.2f} beats on average, "
          f"{max(settle):.2f} at worst (20 streams; goal 2)")


if __name__ == "__main__":
    main()
