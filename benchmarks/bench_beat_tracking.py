"""Beat tracking on made click and drum tracks: the error of each tracked
beat against the true one and the time per minute of audio, next to
librosa's plain beat tracker (its global-tempo default, no placement at the
onset) run on the same tracks in this run.

Run: python3 benchmarks/bench_beat_tracking.py [--seconds 60]
"""

from __future__ import annotations

import argparse
import statistics
import sys
import tempfile
import time
from pathlib import Path

import librosa
import numpy
import soundfile

sys.path.insert(0, str(Path(__file__).parents[1] / "tests" / "support"))
from click_tracks import RATE, changing_beats, render, steady_beats  # noqa: E402

from kinetrope_host.clocks import audio  # noqa: E402


def errors_ms(found: list[float], true: list[float]) -> list[float]:
    """For each true beat, the distance to the nearest found beat, in ms."""
    found_array = numpy.array(found)
    return [float(numpy.min(numpy.abs(found_array - at)) * 1e3) for at in true]


def plain(path: Path) -> list[float]:
    samples, _ = librosa.load(path, sr=audio.RATE)
    _, beats = librosa.beat.beat_track(y=samples, sr=audio.RATE, units="time")
    return [float(b) for b in beats]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=60.0)
    args = parser.parse_args()
    seconds = args.seconds
    tracks = {
        "click 128": (steady_beats(128, seconds), "click"),
        "drums 128": (steady_beats(128, seconds), "drums"),
        "click 100->130": (changing_beats(100, 130, seconds, change_at=seconds / 2), "click"),
        "drums 100->130": (changing_beats(100, 130, seconds, change_at=seconds / 2), "drums"),
    }
    with tempfile.TemporaryDirectory() as folder:
        paths = {}
        for name, (beats, kind) in tracks.items():
            paths[name] = Path(folder) / f"{name.replace(' ', '_').replace('>', '')}.wav"
            soundfile.write(paths[name], render(beats, seconds, kind), RATE)
        audio.beat_map(paths["click 128"])  # librosa compiles its kernels on first use; not timed
        plain(paths["click 128"])
        print(f"{seconds:g} s tracks; error of each true beat to the nearest tracked one (ms); time a minute of audio")
        print(f"{'track':16} {'ours: median':>12} {'worst':>7} {'found/true':>10} {'s/min':>6}   "
              f"{'plain: median':>13} {'worst':>7} {'found/true':>10} {'s/min':>6}")
        for name, (true, _) in tracks.items():
            started = time.perf_counter()
            ours = list(audio.beat_map(paths[name]).beats)
            ours_time = time.perf_counter() - started
            started = time.perf_counter()
            theirs = plain(paths[name])
            theirs_time = time.perf_counter() - started
            a, b = errors_ms(ours, true), errors_ms(theirs, true)
            print(f"{name:16} {statistics.median(a):12.1f} {max(a):7.1f} {len(ours):4d}/{len(true):<5d} "
                  f"{ours_time / seconds * 60:6.2f}   {statistics.median(b):13.1f} {max(b):7.1f} "
                  f"{len(theirs):4d}/{len(true):<5d} {theirs_time / seconds * 60:6.2f}")


if __name__ == "__main__":
    main()
