"""Writes a drum track in 4/4 or 3/4 that starts with a one-beat pickup, to
try how `kinetrope play --audio` finds beats and bars:

    python3 examples/drum_track.py build/drums.wav --bpm 118 --meter 4
    kinetrope play helix --audio build/drums.wav

Kick on beat 1 (and 3), snare on the others, hats on the offbeats, a crash
on bar 1 of every four bars. Bar 1 starts one beat after the first hit.
"""

from __future__ import annotations

import argparse
from pathlib import Path

import numpy
import soundfile  # type: ignore[import-untyped, unused-ignore]
from kinetrope_host.commands.play import positive_number
from numpy.typing import NDArray

RATE = 44100


def hit(kind: str, rng: numpy.random.Generator) -> NDArray[numpy.float64]:
    t = numpy.arange(int(0.25 * RATE)) / RATE
    if kind == "kick":
        sweep = numpy.cumsum(50 + 100 * numpy.exp(-t / 0.03)) / RATE
        return numpy.asarray(numpy.sin(2 * numpy.pi * sweep) * numpy.exp(-t / 0.08), dtype=numpy.float64)
    noise = rng.standard_normal(len(t))
    if kind == "snare":
        snare = 0.25 * numpy.sin(2 * numpy.pi * 190 * t) * numpy.exp(-t / 0.05) + 0.6 * noise * numpy.exp(-t / 0.05)
        return numpy.asarray(snare, dtype=numpy.float64)
    cymbal = (0.5 if kind == "crash" else 0.15) * noise * numpy.exp(-t / (0.15 if kind == "crash" else 0.008))
    return numpy.asarray(cymbal, dtype=numpy.float64)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out", type=Path, help="the WAV file to write")
    parser.add_argument("--bpm", type=positive_number, default=118.0, help="tempo (default 118)")
    parser.add_argument("--meter", type=int, choices=(3, 4), default=4, help="beats a bar (default 4)")
    parser.add_argument("--seconds", type=positive_number, default=30.0, help="length (default 30)")
    args = parser.parse_args()
    rng = numpy.random.default_rng(1)
    track = numpy.zeros(int(args.seconds * RATE))
    sounds = {kind: hit(kind, rng) for kind in ("kick", "snare", "hat", "crash")}
    period = 60.0 / args.bpm

    def add(at: float, kind: str) -> None:
        start = int(at * RATE)
        if start < len(track):
            track[start:start + len(sounds[kind])] += sounds[kind][:len(track) - start]

    beat = -1  # the pickup
    while 0.5 + (beat + 1) * period < args.seconds - 0.3:
        at = 0.5 + (beat + 1) * period
        place = beat % args.meter
        strong = place == 0 or (args.meter == 4 and place == 2)
        add(at, "kick" if strong else "snare")
        add(at + period / 2, "hat")
        if beat % (4 * args.meter) == 0:
            add(at, "crash")
        beat += 1
    args.out.parent.mkdir(parents=True, exist_ok=True)
    soundfile.write(args.out, 0.8 * track / numpy.max(numpy.abs(track)), RATE)
    print(f"{beat + 1} beats written to {args.out}; bar 1 starts at {0.5 + period:.2f} s")


if __name__ == "__main__":
    main()
