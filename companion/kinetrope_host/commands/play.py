"""`kinetrope play NAME...`: patterns in real time at a tempo, following MIDI
clock or the beats of an audio file, to OSC, a live terminal view and
moving-head fixtures over Art-Net."""

from __future__ import annotations

import argparse
import sys
import time
from typing import Any

from kinetrope_host import player
from kinetrope_host.clocks import Clock, TempoClock, TempoMap, setup
from kinetrope_host.commands import play_audio, play_grooves
from kinetrope_host.commands.options import (
    finite_number,
    port_number,
    positive_count,
    positive_number,
)
from kinetrope_host.frames import FrameSink
from kinetrope_host.outputs import lights, websocket
from kinetrope_host.outputs.terminal import LiveView

DEFAULT_BARS = 4
# The argument types, where the examples find them too.
__all__ = ["finite_number", "port_number", "positive_count", "positive_number", "register", "run"]


def register(subparsers: Any) -> None:
    """Adds `play` to the command's subparsers."""
    command = subparsers.add_parser(
        "play", help="play patterns in real time to OSC, the terminal and moving heads",
        description="Play patterns in real time: at a tempo, following MIDI clock, or along the beats of an "
                    "audio file; each frame goes to OSC (with --port), to a live view in the terminal and to "
                    "moving heads over Art-Net (with --artnet) or sACN (with --sacn).")
    command.add_argument("names", nargs="*", metavar="NAME", help="built-in pattern names (see kinetrope list)")
    clock = command.add_mutually_exclusive_group()
    clock.add_argument("--bpm", type=positive_number, help="a constant tempo (the default, 120)")
    clock.add_argument("--midi-clock", metavar="PORT",
                       help="follow MIDI clock from this MIDI input (see kinetrope ports), or from HOST:PORT, "
                            "a mido socket port")
    clock.add_argument("--audio", metavar="FILE",
                       help="follow the beats and bars found in this audio file, from its start (the file is "
                            "not played)")
    play_audio.add_options(command)
    setup.add_clock_options(clock, command)
    command.add_argument("--start-beat", type=finite_number, default=0.0,
                         help="song position of the first frame, in beats (default 0; negative for a count-in)")
    command.add_argument("--bars", type=positive_count, default=None,
                         help=f"stop after this many bars (default: {DEFAULT_BARS} at a tempo, the whole file "
                              "along audio, until stopped with MIDI clock)")
    command.add_argument("--beats-per-bar", type=positive_count, default=4, help="beats in a bar (default 4)")
    command.add_argument("--frames", type=positive_count, default=None, help="stop after this many frames")
    command.add_argument("--fps", type=positive_number, default=60.0, help="frames a second (default 60)")
    command.add_argument("--host", default="127.0.0.1", help="OSC receiver's host (default 127.0.0.1)")
    command.add_argument("--port", type=port_number, default=None,
                         help="OSC receiver's UDP port; without it no OSC is sent")
    command.add_argument("--prefix", default="/kinetrope", help="OSC address prefix (default /kinetrope)")
    lights.add_options(command)
    command.add_argument("--view", action=argparse.BooleanOptionalAction, default=None,
                         help="the live terminal view (default: on when the output is a terminal)")
    websocket.add_options(command)
    play_grooves.add_options(command)
    command.set_defaults(run=run, command_parser=command)


def sinks_for(arguments: argparse.Namespace) -> list[FrameSink]:
    """The sinks the arguments ask for: OSC, Art-Net, WebSocket and the live view."""
    sinks: list[FrameSink] = []
    if arguments.port is not None:
        from kinetrope_host.outputs.osc import OscSink

        sinks.append(OscSink(arguments.host, arguments.port, arguments.prefix))
    sinks.extend(lights.sinks_for(arguments))
    sinks.extend(websocket.sinks_for(arguments))
    view = sys.stdout.isatty() if arguments.view is None else arguments.view
    if view:
        sinks.append(LiveView(arguments.beats_per_bar))
    return sinks


def clock_for(arguments: argparse.Namespace, started: float) -> tuple[Clock, float | None]:
    """The clock to follow and the pip at which to stop (None: until stopped)."""
    start_pip = arguments.start_beat * 64.0
    bars = arguments.bars
    until = None if bars is None else start_pip + bars * arguments.beats_per_bar * 64.0
    if (link := setup.link_clock(arguments)) is not None:
        return link, None if bars is None else link.pip(started) + bars * arguments.beats_per_bar * 64.0
    if arguments.midi_clock is not None:
        return setup.midi_clock(arguments.midi_clock), until
    if arguments.audio_in is not None:
        return play_audio.live_clock(arguments), until
    if arguments.audio is not None:
        return play_audio.audio_clock(arguments, started, start_pip, until)
    if until is None:
        until = start_pip + DEFAULT_BARS * arguments.beats_per_bar * 64.0
    return TempoClock(TempoMap.constant(arguments.bpm or 120.0), started, start_pip), until


def run(arguments: argparse.Namespace) -> int:
    """Plays the patterns until the clock reaches the end, then says how many frames went out."""
    names = play_grooves.play_names(arguments)
    started = time.monotonic()
    clock, until_pip = clock_for(arguments, started)
    sinks = sinks_for(arguments)
    sinks += setup.clock_sinks(clock, arguments, sinks)
    started = time.monotonic()
    if isinstance(clock, TempoClock):
        # Analysing a file takes a while: the music starts when the frames do.
        clock.started = started
    clock = setup.live(clock, arguments, sinks)
    sinks[:0] = play_grooves.live_sinks(arguments, clock)
    sent = player.play(names, clock, sinks, arguments.fps, until_pip=until_pip, frames=arguments.frames,
                       started=started)
    if not any(isinstance(sink, LiveView) for sink in sinks):
        print(f"{sent} frame{'' if sent == 1 else 's'} sent", file=sys.stderr)
    return 0
