"""`kinetrope play --groove FILE` and `--groove-in PORT`: the options, the
patterns they make known and the live input's sink, kept here so the play
command needs a line for each."""

from __future__ import annotations

import argparse
from typing import Any

import kinetrope

from kinetrope_host import catalogue
from kinetrope_host.clocks import Clock
from kinetrope_host.commands.options import positive_count
from kinetrope_host.errors import UserError
from kinetrope_host.frames import FrameSink
from kinetrope_host.grooves.bars import parse_bars
from kinetrope_host.grooves.engine import require

DEFAULT_BEATS = 4  # play's --beats-per-bar when not given


def bar_range(text: str) -> tuple[int, int]:
    """An argparse type for `A-B`."""
    try:
        return parse_bars(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def add_options(command: Any) -> None:
    """The groove options of `play`."""
    grooves = command.add_argument_group(
        "grooves of your own", "NAMEs may then be motions (bounce, step, ...) of the groove; none plays all sixteen")
    grooves.add_argument("--groove", metavar="FILE",
                         help="move by a drum part: a MIDI file's drum track (.mid) or a score")
    grooves.add_argument("--groove-bars", metavar="A-B", type=bar_range, help="only these bars of the --groove FILE")
    grooves.add_argument("--groove-in", metavar="PORT",
                         help="move by the notes played on this MIDI input (or HOST:PORT), a bar behind")
    grooves.add_argument("--groove-in-bars", metavar="N", type=positive_count, default=1,
                         help="bars of --groove-in the motion loops over (default 1: the last bar played)")


def play_names(arguments: argparse.Namespace) -> list[str]:
    """The pattern names to play, also left in `arguments.names` for the
    sinks that read them: a groove's patterns made known first, and motion
    names taken as that groove's; its tempo, at a tempo, unless --bpm."""
    if arguments.groove_bars is not None and arguments.groove is None:
        raise UserError("--groove-bars chooses bars of a groove: give --groove FILE too")
    motions = [name for name in arguments.names if name in catalogue.MOTIONS]
    own: list[str] = []
    alongside: list[kinetrope.SampledPattern] = []
    if arguments.groove is not None:
        alongside = _file_groove(arguments, motions)
        own += [pattern.name for pattern in alongside]
    arguments.live_groove = None
    if arguments.groove_in is not None:
        require()
        from kinetrope_host.grooves.live import LiveGroove

        arguments.live_groove = LiveGroove(beats=arguments.beats_per_bar, bars=arguments.groove_in_bars,
                                           motions=motions, alongside=alongside)
        own += arguments.live_groove.names
    if not own and not arguments.names:
        raise UserError("name a pattern to play (see kinetrope list), or give --groove FILE or --groove-in PORT")
    others = [catalogue.resolve(name) for name in arguments.names if not (own and name in catalogue.MOTIONS)]
    arguments.names = [*own, *others]
    return list(arguments.names)


def _file_groove(arguments: argparse.Namespace, motions: list[str]) -> list[kinetrope.SampledPattern]:
    require()
    from kinetrope_host.grooves.load import load_groove
    from kinetrope_host.grooves.patterns import groove_patterns

    groove = load_groove(arguments.groove, arguments.groove_bars)
    patterns = groove_patterns(groove.part, groove.name, motions)
    try:
        catalogue.use_patterns(kinetrope.PatternLibrary(patterns))
    except ValueError as error:
        raise UserError(f"cannot name the motions {groove.name}_*: {error}") from None
    if arguments.bpm is None and groove.bpm is not None:
        arguments.bpm = groove.bpm
    # Bars of the groove's meter for --bars and the view, where they are whole beats (3/4, 6/8, 5/4).
    if arguments.beats_per_bar == DEFAULT_BEATS and groove.part.bar_pips % kinetrope.PIPS_PER_BEAT == 0:
        arguments.beats_per_bar = groove.part.bar_pips // kinetrope.PIPS_PER_BEAT
    return patterns


def live_sinks(arguments: argparse.Namespace, clock: Clock) -> list[FrameSink]:
    """The live groove as the first sink (so a bar's renewal comes before
    the next frame is made), reading --groove-in against `clock`."""
    live = getattr(arguments, "live_groove", None)
    if live is None:
        return []
    from kinetrope_host.clocks.midiports import open_clock_input

    live.follow(open_clock_input(arguments.groove_in), clock, getattr(arguments, "latency", 0.0) / 1000.0)
    return [live]
