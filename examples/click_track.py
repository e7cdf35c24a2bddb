"""Writes a click track with a tempo change, to try `kinetrope play --audio`:

    python3 examples/click_track.py build/clicks.wav --bpm 100 --to 130
    kinetrope play helix --audio build/clicks.wav

The clicks fall on the beats, higher on the first of each bar.
"""

from __future__ import annotations

import argparse
from pathlib import Path

import numpy
import soundfile  # type: ignore[import-untyped, unused-ignore]
from kinetrope_host.commands.play import positive_number

RATE = 44100


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out", type=Path, help="the WAV file to write")
    parser.add_argument("--bpm", type=positive_number, default=100.0, help="tempo of the first half (default 100)")
    parser.add_argument("--to", type=positive_number, default=130.0, help="tempo of the second half (default 130)")
    parser.add_argument("--seconds", type=positive_number, default=30.0, help="length (default 30)")
    args = parser.parse_args()
    track = numpy.zeros(int(args.seconds * RATE))
    t = numpy.arange(int(0.01 * RATE)) / RATE
    at, beat = 0.5, 0
    while at < args.seconds - 0.1:
        click = numpy.sin(2 * numpy.pi * (1500 if beat % 4 == 0 else 1000) * t) * numpy.exp(-t / 0.002)
        start = int(at * RATE)
        track[start:start + len(click)] += click[:len(track) - start]
        at += 60.0 / (args.bpm if at < args.seconds / 2 else args.to)
        beat += 1
    args.out.parent.mkdir(parents=True, exist_ok=True)
    soundfile.write(args.out, 0.8 * track, RATE)
    print(f"{beat} beats written to {args.out}")


if __name__ == "__main__":
    main()
