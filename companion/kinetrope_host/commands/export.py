"""`kinetrope export`: patterns sampled on a time base, written to a file."""

from __future__ import annotations

import argparse
from typing import Any

from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError
from kinetrope_host.export import FORMATS, export


def register(subparsers: Any) -> None:
    """Adds `export` to the command's subparsers."""
    parser = subparsers.add_parser(
        "export",
        help="write patterns' motion to CSV, JSON or glTF",
        description=(
            "Sample patterns at a fixed frame rate on a musical time base and write them to a file, "
            f"its format chosen by the extension ({', '.join(FORMATS)})."
        ),
    )
    parser.add_argument("names", nargs="+", metavar="NAME", help="pattern names")
    base = parser.add_mutually_exclusive_group(required=True)
    base.add_argument("--bpm", type=float, help="a constant tempo")
    base.add_argument("--audio", metavar="FILE", help="follow the beats tracked in an audio file")
    base.add_argument("--midi-file", metavar="FILE", help="follow the tempo map of a standard MIDI file")
    parser.add_argument("--fps", type=float, required=True, help="frames a second")
    length = parser.add_mutually_exclusive_group(required=True)
    length.add_argument("--bars", type=float, help="length in bars of four beats")
    length.add_argument("--seconds", type=float, help="length in seconds")
    parser.add_argument("--scale", type=float, default=1.0, help="metres per unit of offset, for glTF (default 1)")
    parser.add_argument("--out", required=True, metavar="FILE", help="the file to write")
    parser.set_defaults(run=run)


def time_base(args: argparse.Namespace) -> TempoMap:
    """The tempo map the arguments ask for: a constant --bpm, an audio file's beats or a MIDI file's tempo map."""
    if args.midi_file is not None:
        from kinetrope_host.clocks.midifile import tempo_map

        return tempo_map(args.midi_file)
    if args.audio is not None:
        from kinetrope_host.clocks.audio import beat_map

        return beat_map(args.audio).tempo
    try:
        return TempoMap.constant(args.bpm)
    except ValueError as exc:
        raise UserError(f"--bpm: {exc}") from None


def run(args: argparse.Namespace) -> int:
    """Writes the export and says how many frames went where."""
    tempo = time_base(args)
    count = export(
        args.names,
        args.out,
        tempo,
        args.fps,
        seconds=args.seconds,
        bars=args.bars,
        scale=args.scale,
        progress=True,
    )
    print(f"wrote {count} frames of {len(args.names)} pattern{'s' if len(args.names) != 1 else ''} to {args.out}")
    return 0
