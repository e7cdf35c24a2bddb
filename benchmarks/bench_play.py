"""`kinetrope play` at 60 frames a second with 16 patterns: the time each
frame spends in our code (sampling between pips through the tempo map,
building and sending the OSC bundle to a loopback receiver, the live view's
drawing into a terminal-sized buffer), median and worst, next to the frame
budget and to the bare cost of the 16 `kinetrope.sample` calls of a frame,
both measured in this run.

Run: python3 benchmarks/bench_play.py [--frames 1200]
"""

from __future__ import annotations

import argparse
import io
import socket
import statistics
import time

import kinetrope
from kinetrope_host import catalogue
from kinetrope_host.clocks import TempoClock
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.outputs.osc import OscSink
from kinetrope_host.outputs.terminal import LiveView
from kinetrope_host.player import make_frame
from rich.console import Console

FPS = 60.0


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--frames", type=int, default=1200)
    args = parser.parse_args()
    rows = catalogue.rows()
    names = [rows[i].name for i in range(0, len(rows), len(rows) // 16)][:16]
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 22)
    osc = OscSink("127.0.0.1", receiver.getsockname()[1])
    console = Console(file=io.StringIO(), force_terminal=True, width=120, height=40)
    view = LiveView(4, refresh=FPS, console=console)  # draws every frame: the worst case
    clock = TempoClock(TempoMap.from_changes([(0, 128), (32, 140)]), 0.0)
    ours, bare = [], []
    stages: dict[str, list[float]] = {"sampling": [], "OSC bundle": [], "live view": []}
    for frame in range(args.frames):
        due = frame / FPS
        started = time.perf_counter()
        current = make_frame(names, clock, due, 0.0, 0.0)
        sampled = time.perf_counter()
        osc.send(current)
        sent = time.perf_counter()
        view.send(current)
        drawn = time.perf_counter()
        ours.append(drawn - started)
        stages["sampling"].append(sampled - started)
        stages["OSC bundle"].append(sent - sampled)
        stages["live view"].append(drawn - sent)
        pip = int(current.pip)
        started = time.perf_counter()
        for name in names:
            kinetrope.sample(name, pip)
        bare.append(time.perf_counter() - started)
        receiver.recv(65536)
    view.close()
    osc.close()
    receiver.close()
    budget = 1.0 / FPS
    ms = 1e3
    print(f"{args.frames} frames, 16 patterns, {FPS:g} fps: frame budget {budget * ms:.2f} ms")
    print(f"our code per frame:    median {statistics.median(ours) * ms:.3f} ms, worst {max(ours) * ms:.3f} ms "
          f"({statistics.median(ours) / budget:.1%} / {max(ours) / budget:.1%} of the budget)")
    print("  of which " + ", ".join(f"{stage} {statistics.median(times) * ms:.3f} ms" for stage, times in stages.items())
          + " (medians)")
    print(f"16 bare sample calls:  median {statistics.median(bare) * ms:.3f} ms "
          f"(ours is {statistics.median(ours) / statistics.median(bare):.0f} times that)")


if __name__ == "__main__":
    main()
