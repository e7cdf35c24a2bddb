"""Export throughput: 16 patterns over a 4-minute song at 60 fps.

Phases, each the best of --repeat runs:
  * sampling: the plain sampling loop, the reference: for every frame the
    tempo map's pip and `sampling.sample_at` of every pattern, nothing kept;
  * frame loop: the rows every exporter consumes (`exports.sample_rows`);
  * csv, json, glb, gltf: the whole export to a file.
Goal: every export within 5x the plain sampling loop.
"""
import argparse
import tempfile
import time
from pathlib import Path

import kinetrope
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.exports import Timeline, export, sample_rows
from kinetrope_host.sampling import sample_at


def pick_names(count: int) -> list[str]:
    # Spread over the catalogue: formula patterns and every collection.
    names = [row["name"] for row in kinetrope.catalogue()]
    step = len(names) // count
    return names[::step][:count]


def best(repeat: int, work) -> float:
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--patterns", type=int, default=16)
    parser.add_argument("--seconds", type=float, default=240.0)
    parser.add_argument("--fps", type=float, default=60.0)
    parser.add_argument("--bpm", type=float, default=124.0)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    names = pick_names(args.patterns)
    tempo = TempoMap.constant(args.bpm)
    timeline = Timeline(args.fps, args.seconds)
    frames = timeline.rows
    print(f"{len(names)} patterns, {frames} frames ({args.seconds:g} s at {args.fps:g} fps, {args.bpm:g} bpm)")

    def sampling() -> None:
        for _, seconds in timeline.instants():
            pip = tempo.pip_at(seconds)
            for name in names:
                sample_at(name, pip)

    def frame_loop() -> None:
        for _ in sample_rows(names, tempo, timeline, 1.0):
            pass

    with tempfile.TemporaryDirectory() as folder:
        phases = {"sampling": sampling, "frame loop": frame_loop}
        for suffix in ("csv", "json", "glb", "gltf"):
            out = Path(folder) / f"song.{suffix}"
            phases[suffix] = lambda out=out: export(names, out, tempo, args.fps, seconds=args.seconds)
        # Round robin, best of each: a busy moment of the machine then
        # spoils one run of every phase rather than all runs of one.
        took = {label: float("inf") for label in phases}
        for _ in range(args.repeat):
            for label, work in phases.items():
                took[label] = min(took[label], best(1, work))
        base = took["sampling"]
        print(f"{'sampling':>10}: {base:7.3f} s  {frames / base:10.0f} frames/s  (reference)")
        loop = took["frame loop"]
        print(f"{'frame loop':>10}: {loop:7.3f} s  {frames / loop:10.0f} frames/s  {loop / base:5.2f}x sampling")
        for suffix in ("csv", "json", "glb", "gltf"):
            size = (Path(folder) / f"song.{suffix}").stat().st_size / 2**20
            print(
                f"{suffix:>10}: {took[suffix]:7.3f} s  {frames / took[suffix]:10.0f} frames/s  "
                f"{took[suffix] / base:5.2f}x sampling (goal <= 5x), {size:6.1f} MiB"
            )

if __name__ == "__main__":
    main()
