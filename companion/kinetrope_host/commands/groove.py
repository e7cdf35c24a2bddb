"""`kinetrope groove FILE`: a drum part of your own (a MIDI file's drum track
or a score) shown as a score, its motions listed, and played or exported."""

from __future__ import annotations

import argparse
import math
import sys
from typing import Any

from kinetrope_host.commands.options import port_number, positive_count, positive_number
from kinetrope_host.commands.play_grooves import bar_range

FPS = 60.0


def register(subparsers: Any) -> None:
    """Adds `groove` to the command's subparsers."""
    command = subparsers.add_parser(
        "groove", help="turn a drum part (MIDI file or score) into the sixteen beat motions",
        description="Read a drum part, from a MIDI file's drum track (.mid, .midi: General MIDI drums on channel "
                    "10) or a score, show it as a score (voices by bar) and list its motions, named "
                    "<file stem>_<motion>; play them (--play) or export them (--out).")
    command.add_argument("file", metavar="FILE", help="a MIDI file (.mid, .midi) or a score")
    command.add_argument("--bars", metavar="A-B", type=bar_range, help="only these bars, counted from 1")
    command.add_argument("--motion", metavar="M", action="append", default=[],
                         help="a motion to make (bounce, step, orbit, ...; again for more; default all sixteen)")
    command.add_argument("--name", help="the name the patterns start with (default: from the file's name)")
    command.add_argument("--bpm", type=positive_number, help="the tempo to play or export at (default: the "
                                                              "MIDI file's, else 120)")
    command.add_argument("--loops", type=positive_count, default=1, help="times through the part (default 1)")
    command.add_argument("--play", action="store_true",
                         help="play the motions in real time (to the terminal view, and OSC with --port)")
    command.add_argument("--port", type=port_number, help="with --play: an OSC receiver's UDP port on 127.0.0.1")
    command.add_argument("--out", metavar="FILE", help="export the motions to a .csv, .json, .gltf or .glb file")
    command.add_argument("--fps", type=positive_number, default=FPS, help=f"frames a second (default {FPS:g})")
    command.set_defaults(run=run)


def run(arguments: argparse.Namespace) -> int:
    """Shows the part, then plays or exports its motions as asked."""
    from kinetrope_host.grooves.engine import require

    require()
    import kinetrope

    from kinetrope_host import catalogue
    from kinetrope_host.grooves.load import load_groove
    from kinetrope_host.grooves.patterns import groove_library

    groove = load_groove(arguments.file, arguments.bars, arguments.name)
    part = groove.part
    library = groove_library(part, groove.name, arguments.motion)
    catalogue.use_patterns(library)
    rows = catalogue.host_rows()
    bpm = arguments.bpm or groove.bpm or 120.0
    beats = part.period_pips / kinetrope.PIPS_PER_BEAT
    print(f"{groove.name}: {part.bars} bar{'s' if part.bars != 1 else ''} of {part.beats_per_bar}/{part.beat_unit}, "
          f"{len(part.events)} events, {part.period_pips} pips ({beats:g} beats) at {bpm:g} bpm")
    print()
    print(part.score_text().rstrip("\n"))
    print()
    for row in rows:
        print(f"{row.name:<{max(len(r.name) for r in rows)}}  {row.dimensions} axes  {row.description}")
    seconds = arguments.loops * beats * 60.0 / bpm
    names = [row.name for row in rows]
    if arguments.out is not None:
        _export(names, arguments.out, bpm, arguments.fps, seconds, groove.name)
    if arguments.play:
        sys.stdout.flush()  # the listing before what play prints
        _play(names, arguments, bpm, seconds)
    return 0


def _export(names: list[str], out: str, bpm: float, fps: float, seconds: float, source: str) -> None:
    from kinetrope_host.clocks.tempo import TempoMap
    from kinetrope_host.exports import export

    count = export(names, out, TempoMap.constant(bpm), fps, seconds=seconds, tempo_source=f"{bpm:g} bpm ({source})")
    print(f"wrote {count} frames of {len(names)} patterns to {out}")


def _play(names: list[str], arguments: argparse.Namespace, bpm: float, seconds: float) -> None:
    from kinetrope_host.cli import parser

    # The play command's own set-up (sinks, live view, keys), with this part's patterns already known.
    options = ["play", *names, "--bpm", f"{bpm!r}", "--fps", f"{arguments.fps!r}",
               "--frames", str(max(1, math.ceil(seconds * arguments.fps))),
               "--bars", str(math.ceil(seconds * bpm / 60.0 / 4) + 1)]  # the frames end it, not the bars
    if arguments.port is not None:
        options += ["--port", str(arguments.port)]
    played = parser().parse_args(options)
    played.run(played)
