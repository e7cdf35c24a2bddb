"""A live groove's renewal at a bar line, as `play --groove-in` makes it
between two frames: the bar's notes made a part, its sixteen motions
rendered, made host patterns and swapped in. Median and worst over many
bars, next to the 60 fps frame budget and to the time of sampling the same
sixteen one-bar tables through `kinetrope.sample` (every pip), measured in
this run.

Run: python3 benchmarks/bench_live_groove.py [--bars 200]
"""

from __future__ import annotations

import argparse
import random
import statistics
import time

import mido  # type: ignore[import-untyped, unused-ignore]
from kinetrope_host.grooves.live import LiveGroove

FRAME_MS = 1000.0 / 60.0
NOTES = (36, 42, 38, 42, 36, 46, 38, 42)  # kick, hats, snare, open hat


class SteppedClock:
    """A clock the benchmark sets: the pip is whatever it was last told."""

    def __init__(self) -> None:
        self.at = 0.0

    def pip(self, now: float) -> float:
        return self.at

    def bpm(self, now: float) -> float:
        return 120.0


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bars", type=int, default=200)
    args = parser.parse_args()
    rng = random.Random(7)
    clock = SteppedClock()
    live = LiveGroove(clock)
    renewals, sampling = [], []
    for bar in range(1, args.bars + 1):
        for step in range(16):  # a played bar of sixteenths, loosely timed
            if rng.random() < 0.8:
                clock.at = (bar - 1) * 256 + max(0.0, step * 16 + rng.uniform(-3, 3))
                live.feed(mido.Message("note_on", channel=9, note=NOTES[step % 8], velocity=rng.randint(40, 127)), 0.0)
        started = time.perf_counter()
        live.renew(bar * 256.0)
        renewals.append((time.perf_counter() - started) * 1e3)
        started = time.perf_counter()
        for name in live.names:
            for pip in range(256):
                live.library.sample(name, pip)
        sampling.append((time.perf_counter() - started) * 1e3)
    print(f"live groove renewal, 16 motions of one 4/4 bar, {args.bars} bars:")
    print(f"  renewal          median {statistics.median(renewals):6.2f} ms   worst {max(renewals):6.2f} ms")
    print(f"  baseline: sampling the same 16 tables at every pip "
          f"median {statistics.median(sampling):6.2f} ms   worst {max(sampling):6.2f} ms")
    print(f"  frame budget at 60 fps {FRAME_MS:.2f} ms: renewal median is "
          f"{statistics.median(renewals) / FRAME_MS:.0%} of a frame")


if __name__ == "__main__":
    main()
