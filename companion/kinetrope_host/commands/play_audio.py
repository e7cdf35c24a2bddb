"""The audio-file part of `kinetrope play`: its options, the analysis with
progress on the terminal, and the clock along the file's beats."""

from __future__ import annotations

import argparse
import os
import sys
from typing import Any

from kinetrope_host.clocks import TempoClock
from kinetrope_host.clocks.audio import BeatMap, beat_map


def add_options(command: Any) -> None:
    """Adds the audio-only options (`--audio-offset`) to the `play` parser."""
    command.add_argument("--audio-offset", type=float, default=0.0, metavar="MS",
                         help="move the beats of --audio by this many milliseconds (positive: later), to "
                              "line up with the sound as it reaches the room")
    command.add_argument("--audio-in", metavar="DEVICE", default=None,
                         help="follow the beats of live audio from this JACK output port (e.g. system:capture_1) "
                              "or sound device (its name, part of it, or its number); bar 1 (4/4) is placed once "
                              "sixteen beats are heard")


def live_clock(arguments: argparse.Namespace) -> Any:
    """The clock following `--audio-in`."""
    from kinetrope_host.clocks.audio_live import open_input

    return open_input(arguments.audio_in)


class Progress:
    """The share of the analysis done, on standard error: redrawn in place on
    a terminal, otherwise one line when it starts. Silent until the file has
    passed its checks, so a refused file prints only the refusal."""

    def __init__(self, name: str) -> None:
        self.name = os.path.basename(name)
        self.terminal = sys.stderr.isatty()
        self.shown = -1

    def __call__(self, share: float) -> None:
        percent = int(share * 100)
        if self.terminal and percent != self.shown:
            print(f"\ranalysing {self.name}: {percent:3d}%", end="", file=sys.stderr, flush=True)
        elif not self.terminal and self.shown < 0:
            print(f"analysing {self.name}", file=sys.stderr, flush=True)
        self.shown = percent

    def done(self, found: BeatMap) -> None:
        """Ends the progress line and prints what the analysis found: meter,
        rough tempo, beat count and where bar 1 falls."""
        if self.terminal and self.shown >= 0:
            print(file=sys.stderr)
        bpm = 60.0 * (len(found.beats) - 1) / (found.beats[-1] - found.beats[0])
        print(f"{self.name}: {found.meter}, about {bpm:.1f} bpm, {len(found.beats)} beats, bar 1 at "
              f"{found.beats[found.downbeat]:.2f} s", file=sys.stderr, flush=True)


def audio_clock(arguments: argparse.Namespace, started: float, start_pip: float,
                until: float | None) -> tuple[TempoClock, float]:
    """The clock along the beats of `--audio` and the pip where the file
    ends (or `until`, if sooner; `--bars` counts bars of the file's meter).
    Sets the bar length the view shows to the file's meter."""
    progress = Progress(arguments.audio)
    found = beat_map(arguments.audio, progress=progress, offset=arguments.audio_offset / 1000.0)
    progress.done(found)
    arguments.beats_per_bar = found.beats_per_bar
    if arguments.bars is not None:
        until = start_pip + arguments.bars * found.beats_per_bar * 64.0
    end = found.tempo.pip_at(found.duration)
    return TempoClock(found.tempo, started, start_pip), end if until is None else min(until, end)
