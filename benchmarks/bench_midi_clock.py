"""The MIDI clock follower on simulated arrival streams, against a naive
follower measured on the same streams in this run.

Arrivals are ordered, as on USB, a socket or JACK: each tick arrives at its
true time plus Gaussian jitter, never before the tick ahead of it. The answer
is asked every millisecond and compared with the true position of that
instant (ticks counted along the sender's schedule).

Grid:
- steady: 60-200 BPM x jitter sigma 0-5 ms, several seeds; error after the
  first 2 beats (RMS, worst), runaways (|error| > 24 pips), smoothness from
  beat 4 on (frames at 60 fps: the most any frame's speed departs from the
  mean speed, as a share of it; frames that step back);
- tempo steps up and down, including halving and doubling, 1 ms jitter:
  worst error after the step, worst error from 4 beats after it;
- bursts: two ticks at one instant after start, two 100 ns apart, a stalled
  network delivering ten ticks at once, a sender that stalls 30 s and then
  sends 13 ticks within 12 us, repeated equal timestamps; tempo answers seen,
  error from 4 beats after the burst;
- a clock that stops without a stop: how far past the last tick the answer
  runs, and whether it reports the clock lost after a beat;
- the worst time one `feed` took over the whole run.

The naive follower counts ticks too and runs on from the last tick at the
last interval's rate (at most three ticks ahead, like the filtered one).

Run: python3 benchmarks/bench_midi_clock.py [--seconds 20] [--seeds 5]
"""

from __future__ import annotations

import argparse
import math
import random
import time
from collections.abc import Callable, Sequence
from dataclasses import dataclass, field
from types import SimpleNamespace

from kinetrope_host.clocks.midiclock import (
    PIPS_PER_TICK,
    RUN_AHEAD,
    TICKS_PER_BEAT,
    MidiClockFollower,
)

START = SimpleNamespace(type="start")
CLOCK = SimpleNamespace(type="clock")
RUNAWAY = 24.0  # pips
FPS = 60.0


class NaiveFollower:
    def __init__(self) -> None:
        self.count = -1
        self.last = 0.0
        self.interval = 60.0 / 120 / TICKS_PER_BEAT

    def feed(self, message: SimpleNamespace, at: float) -> None:
        if message.type != "clock":
            return
        if self.count >= 0:
            self.interval = max(at - self.last, 1e-9)
        self.count += 1
        self.last = at

    def pip(self, now: float) -> float:
        if self.count < 0:
            return 0.0
        return (self.count + min(max((now - self.last) / self.interval, 0.0), RUN_AHEAD)) * PIPS_PER_TICK

    def bpm(self, now: float | None = None) -> float:
        return 60.0 / (self.interval * TICKS_PER_BEAT)

    def lost(self, now: float) -> bool:
        return False


@dataclass
class Stream:
    """A sender's true tick times and when each tick arrived."""

    true: list[float]
    arrivals: list[float]

    def truth(self, now: float) -> float:
        """Ticks along the sender's schedule at `now`, in pips (linear between ticks)."""
        true = self.true
        low, high = 0, len(true) - 1
        if now <= true[0]:
            return 0.0
        if now >= true[high]:
            return high * PIPS_PER_TICK
        while high - low > 1:
            middle = (low + high) // 2
            low, high = (middle, high) if true[middle] <= now else (low, middle)
        return (low + (now - true[low]) / (true[high] - true[low])) * PIPS_PER_TICK


def schedule(tempos: Sequence[tuple[float, float]], seconds: float, start: float = 0.1) -> list[float]:
    """True tick times: each (from_second, bpm) holds until the next."""
    times, now = [], start
    while now < seconds:
        times.append(now)
        bpm = [b for s, b in tempos if s <= now][-1]
        now += 60.0 / bpm / TICKS_PER_BEAT
    return times


def ordered(true: list[float], sigma: float, rng: random.Random) -> list[float]:
    arrivals, last = [], -math.inf
    for t in true:
        last = max(last, t + (rng.gauss(0.0, sigma) if sigma > 0 else 0.0))
        arrivals.append(last)
    return arrivals


@dataclass
class Run:
    errors: list[tuple[float, float]] = field(default_factory=list)  # (time, answer - truth)
    frames: list[tuple[float, float]] = field(default_factory=list)  # (time, answer) at 60 fps
    tempos: list[float] = field(default_factory=list)
    feed_times: list[float] = field(default_factory=list)
    feed_cpu: list[float] = field(default_factory=list)  # CPU time of this thread: what preemption leaves out
    exception: str = ""


FEED_TIMES: list[float] = []
FEED_CPU: list[float] = []


def run(stream: Stream, make: Callable[[], object], until: float, step: float = 0.001) -> Run:
    follower: object = make()
    result = Run()
    until = min(until, stream.true[-1])  # past the sender's last tick there is no truth to compare with
    feed: Callable[[object, float], None] = follower.feed  # type: ignore[attr-defined]
    answer: Callable[[float], float] = follower.pip  # type: ignore[attr-defined]
    try:
        feed(START, 0.0)
        arrivals = stream.arrivals
        k, now, frame_due = 0, 0.0, 0.0
        while now < until:
            while k < len(arrivals) and arrivals[k] <= now:
                began, began_cpu = time.perf_counter(), time.thread_time()
                feed(CLOCK, arrivals[k])
                result.feed_times.append(time.perf_counter() - began)
                result.feed_cpu.append(time.thread_time() - began_cpu)
                k += 1
                result.tempos.append(follower.bpm())  # type: ignore[attr-defined]
            pip = answer(now)
            result.errors.append((now, pip - stream.truth(now)))
            if now >= frame_due:
                result.frames.append((now, pip))
                frame_due += 1.0 / FPS
            now += step
    except Exception as error:  # a follower that raises is a result here, not a crash of the benchmark
        result.exception = f"{type(error).__name__}: {error}"
    if isinstance(follower, MidiClockFollower):
        FEED_TIMES.extend(result.feed_times)
        FEED_CPU.extend(result.feed_cpu)
    return result


def after(run_: Run, since: float) -> list[float]:
    return [e for t, e in run_.errors if t >= since]


def rms(values: Sequence[float]) -> float:
    return math.sqrt(sum(v * v for v in values) / len(values)) if values else math.nan


def worst(values: Sequence[float]) -> float:
    return max(map(abs, values), default=math.nan)


def lock_in(run_: Run, start: float, beat: float, within: float = 1.0) -> float:
    """Beats from the first tick until the error stays within `within` pips."""
    last_out = max((t for t, e in run_.errors if abs(e) > within), default=start)
    return max(last_out - start, 0.0) / beat


def smoothness(run_: Run, since: float) -> tuple[float, int]:
    """The most a frame's speed departs from the mean speed, as a share of it;
    and how many frames stepped back."""
    frames = [(t, p) for t, p in run_.frames if t >= since]
    speeds = [(p2 - p1) / (t2 - t1) for (t1, p1), (t2, p2) in zip(frames, frames[1:])]
    back = sum(1 for s in speeds if s < 0)
    mean = sum(speeds) / len(speeds)
    return max(abs(s - mean) for s in speeds) / mean, back


FOLLOWERS: dict[str, Callable[[], object]] = {
    "DLL": lambda: MidiClockFollower(monotonic=lambda: 0.0),
    "naive": NaiveFollower,
}


def steady(seconds: float, seeds: int) -> None:
    print(f"steady tempo ({seeds} seeds x {seconds:g} s each): error after 2 beats (pips), smoothness from beat 4")
    print("(lock: beats from the first tick until the error stays within 1 pip; speed: the most a frame's speed")
    print(" departs from the mean; back: frames that stepped back; runaway: streams ever off by more than 24 pips)")
    print(f"{'bpm':>4} {'sigma':>5} | {'DLL rms':>7} {'worst':>6} {'runaway':>7} {'speed':>6} {'back':>4} {'lock':>5} |"
          f" {'naive rms':>9} {'worst':>6} {'runaway':>7} {'speed':>6} {'lock':>5} | goal")
    for sigma_ms in (0.0, 1.0, 2.0, 3.0, 5.0):
        for bpm in (60.0, 90.0, 120.0, 150.0, 174.0, 200.0):
            beat = 60.0 / bpm
            cells = []
            for make in FOLLOWERS.values():
                rmss, worsts, runaways, speeds, backs, locks = [], [], 0, [], 0, []
                for seed in range(seeds):
                    rng = random.Random(seed * 1000 + int(bpm) * 10 + int(sigma_ms * 2))
                    true = schedule([(0.0, bpm)], seconds)
                    result = run(Stream(true, ordered(true, sigma_ms / 1e3, rng)), make, seconds)
                    errors = after(result, 0.1 + 2 * beat)
                    rmss.append(rms(errors))
                    worsts.append(worst(errors))
                    runaways += worst(errors) > RUNAWAY
                    speed, back = smoothness(result, 0.1 + 4 * beat)
                    speeds.append(speed)
                    backs += back
                    locks.append(lock_in(result, 0.1, beat))
                cells.append((rms(rmss), max(worsts), runaways, max(speeds), backs, max(locks)))
            (r, w, ra, sp, bk, lk), (nr, nw, nra, nsp, _, nlk) = cells
            if sigma_ms <= 3.0:
                goal = w <= 3.0 and r <= 1.0 and bk == 0
                goal = goal and (sigma_ms > 2.0 or sp <= (0.02 if sigma_ms <= 1.0 else 0.05))
            else:
                goal = ra == 0
            print(f"{bpm:4.0f} {sigma_ms:5.1f} | {r:7.3f} {w:6.2f} {ra:7d} {sp:6.1%} {bk:4d} {lk:5.1f} |"
                  f" {nr:9.3f} {nw:6.2f} {nra:7d} {nsp:6.1%} {nlk:5.1f} | {'met' if goal else 'MISSED'}")


STEPS = [(120, 106), (120, 100), (128, 96), (128, 90), (174, 87), (120, 60), (60, 120), (100, 200),
         (200, 100), (120, 140), (140, 120), (90, 180)]


def steps(seeds: int) -> None:
    print("\ntempo steps (1 ms jitter): worst error after the step, and from 4 beats after it (pips); "
          "goal <= 24 and <= 3")
    print("(lock: beats after the step until the error stays within 1 pip)")
    print(f"{'step':>11} | {'DLL worst':>9} {'after 4':>7} {'lock':>5} | {'naive worst':>11} {'after 4':>7} {'lock':>5} |"
          " goal")
    for before, after_bpm in STEPS:
        step_at = 0.1 + 8 * 60.0 / before
        end = step_at + 12 * 60.0 / after_bpm
        cells = []
        for make in FOLLOWERS.values():
            all_worst, settled, locked = 0.0, 0.0, 0.0
            for seed in range(seeds):
                true = schedule([(0.0, before), (step_at, after_bpm)], end)
                result = run(Stream(true, ordered(true, 0.001, random.Random(seed))), make, end)
                all_worst = max(all_worst, worst(after(result, step_at)))
                settled = max(settled, worst(after(result, step_at + 4 * 60.0 / after_bpm)))
                locked = max(locked, lock_in(result, step_at, 60.0 / after_bpm))
            cells.append((all_worst, settled, locked))
        (w, s, lk), (nw, ns, nlk) = cells
        print(f"{before:4d} -> {after_bpm:3d} | {w:9.2f} {s:7.2f} {lk:5.1f} | {nw:11.2f} {ns:7.2f} {nlk:5.1f} |"
              f" {'met' if w <= 24 and s <= 3 else 'MISSED'}")


def burst_streams() -> dict[str, tuple[Stream, float]]:
    """Each burst stream and when its burst is over."""
    period = 60.0 / 120 / TICKS_PER_BEAT
    true = schedule([(0.0, 120.0)], 12.0)
    streams: dict[str, tuple[Stream, float]] = {}
    arrivals = list(true)
    arrivals[1] = arrivals[0]
    streams["two ticks at one instant after start"] = (Stream(true, arrivals), true[1])
    arrivals = list(true)
    arrivals[1] = arrivals[0] + 1e-7
    streams["two ticks 100 ns apart after start"] = (Stream(true, arrivals), true[1])
    arrivals = list(true)
    for k in range(200, 210):
        arrivals[k] = true[210]
    streams["network stall: ten ticks at once"] = (Stream(true, arrivals), true[210])
    # The sender stalls 30 s after tick 200, sends 13 ticks within 12 us, then goes on.
    stalled = true[:201]
    burst_at = true[200] + 30.0
    stalled += [burst_at + k * 1e-6 for k in range(1, 14)]
    stalled += [burst_at + 13e-6 + k * period for k in range(1, 600)]
    streams["sender stall 30 s, 13 ticks in 12 us"] = (Stream(stalled, stalled), stalled[213])
    arrivals = list(true)
    for k in range(100, len(true), 37):
        arrivals[k] = arrivals[k - 1]
    streams["every 37th tick at its forerunner's instant"] = (Stream(true, arrivals), true[100])
    return streams


def bursts() -> None:
    print("\nbursts at 120 BPM: tempo answers seen; worst error from 4 beats after the burst (pips);"
          " goal: no exception, 20-400 BPM, <= 3")
    for name, (stream, over) in burst_streams().items():
        end = stream.true[-1]
        cells = []
        for make in FOLLOWERS.values():
            result = run(stream, make, end)
            settled = worst(after(result, over + 4 * 0.5))
            tempo = f"{min(result.tempos):.0f}-{max(result.tempos):.0f} BPM" if result.tempos else "-"
            cells.append((result.exception, tempo, settled, min(result.tempos, default=0), max(result.tempos,
                                                                                             default=0)))
        (ex, tempo, settled, low, high), (nex, ntempo, nsettled, _, _) = cells
        met = not ex and 20 <= low and high <= 400 and settled <= 3
        print(f"  {name:44} DLL {ex or tempo:>14} {settled:6.2f} | naive {nex or ntempo:>20} {nsettled:9.2f}"
              f" | {'met' if met else 'MISSED'}")


def stop_without_stop() -> None:
    print("\nclock gone without a stop (120 BPM, 1 ms jitter): how far past the last tick the answer runs")
    true = schedule([(0.0, 120.0)], 5.0)
    stream = Stream(true, ordered(true, 0.001, random.Random(7)))
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    follower.feed(START, 0.0)
    for at in stream.arrivals:
        follower.feed(CLOCK, at)
    last = stream.arrivals[-1]
    beyond = max(follower.pip(last + k * 0.001) for k in range(5000)) - (len(true) - 1) * PIPS_PER_TICK
    lost_at = next((k * 0.001 for k in range(5000) if follower.lost(last + k * 0.001)), math.nan)
    print(f"  runs {beyond:.2f} pips past the last tick (goal <= 64); says lost {lost_at * 1e3:.0f} ms after it"
          f" (a beat is 500 ms) | {'met' if beyond <= 64 and 0.5 <= lost_at <= 0.6 else 'MISSED'}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--seeds", type=int, default=5)
    args = parser.parse_args()
    steady(args.seconds, args.seeds)
    steps(args.seeds)
    bursts()
    stop_without_stop()
    times = sorted(FEED_TIMES)
    print(f"\none feed, over {len(times)} ticks of every stream above: median {times[len(times) // 2] * 1e6:.1f} us,"
          f" 99th percentile {times[int(len(times) * 0.99)] * 1e6:.1f} us,"
          f" 99.99th percentile {times[int(len(times) * 0.9999)] * 1e6:.1f} us, worst {times[-1] * 1e6:.0f} us"
          " (wall time: the worst includes the scheduler of a shared machine)")
    cpu = sorted(FEED_CPU)
    print(f"  the same in this thread's CPU time: median {cpu[len(cpu) // 2] * 1e6:.1f} us,"
          f" 99.99th percentile {cpu[int(len(cpu) * 0.9999)] * 1e6:.1f} us, worst {cpu[-1] * 1e6:.0f} us")


if __name__ == "__main__":
    main()
