"""`kinetrope export`: patterns sampled on a time base, written to a file."""

from __future__ import annotations

import argparse
import os
from typing import Any

from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError
from kinetrope_host.exports import FORMATS, export


def register(subparsers: Any) -> None:
    """Adds `export` to the command's subparsers."""
    parser = subparsers.add_parser(
        "export",
        help="write patterns' motion to CSV, JSON or glTF",
        description=(
            "Sample patterns at a fixed frame rate on a musical time base and write them to a file, "
            f"its format chosen by the extension ({', '.join(FORMATS)}). The last frame is the musical end."
        ),
    )
    parser.add_argument("names", nargs="+", metavar="NAME", help="pattern names")
    base = parser.add_mutually_exclusive_group(required=True)
    base.add_argument("--bpm", type=float, help="a constant tempo")
    base.add_argument("--audio", metavar="FILE", help="follow the beats tracked in an audio file (its length by default)")
    base.add_argument("--midi-file", metavar="FILE", help="follow the tempo map of a standard MIDI file")
    parser.add_argument("--fps", type=float, required=True, help="frames a second")
    length = parser.add_mutually_exclusive_group()
    length.add_argument("--bars", type=float, help="length in bars of four beats")
    length.add_argument("--seconds", type=float, help="length in seconds")
    parser.add_argument("--scale", type=float, default=1.0, help="metres per unit of offset, in every format (default 1)")
    parser.add_argument("--start-frame", type=int, default=0, metavar="N", help="number of the first frame (default 0)")
    parser.add_argument("--out", required=True, metavar="FILE", help="the file to write")
    parser.set_defaults(run=run)


def time_base(args: argparse.Namespace) -> tuple[TempoMap, str, float | None]:
    """The tempo map, where it comes from, and the song's own length if known."""
    if args.midi_file is not None:
        from kinetrope_host.clocks.midifile import tempo_map

        return tempo_map(args.midi_file), f"tempo map of MIDI file {os.path.basename(args.midi_file)}", None
    if args.audio is not None:
        from kinetrope_host.clocks.audio import beat_map

        beats = beat_map(args.audio)
        return beats.tempo, f"beats tracked in audio file {os.path.basename(args.audio)}", beats.duration
    try:
        return TempoMap.constant(args.bpm), f"{args.bpm:g} bpm", None
    except ValueError as exc:
        raise UserError(f"--bpm: {exc}") from None


def run(args: argparse.Namespace) -> int:
    """Writes the export the options ask for and reports it; returns the exit
    status 0. Raises `UserError` when no length is given."""
    seconds, bars = args.seconds, args.bars
    if seconds is None and bars is None and args.audio is None:
        raise UserError("give the length with --bars or --seconds (with --audio, the song's length is the default)")
    tempo, source, song_length = time_base(args)
    if seconds is None and bars is None:
        seconds = song_length
    count = export(
        args.names,
        args.out,
        tempo,
        args.fps,
        seconds=seconds,
        bars=bars,
        scale=args.scale,
        start_frame=args.start_frame,
        tempo_source=source,
        progress=True,
    )
    print(f"wrote {count} frames of {len(args.names)} pattern{'s' if len(args.names) != 1 else ''} to {args.out}")
    return 0
