"""How `kinetrope play` sets up the clocks it follows and the live controls
around them: the options, the clock for them and the sinks that go with it.
Kept here so the play command needs one line for each."""

from __future__ import annotations

import argparse
from collections.abc import Sequence
from typing import Any

from kinetrope_host.clocks import Clock
from kinetrope_host.frames import FrameSink


def midi_clock(port_name: str) -> Clock:
    """A follower reading the named MIDI input (or HOST:PORT socket port)."""
    from kinetrope_host.clocks.midiclock import MidiClockFollower
    from kinetrope_host.clocks.midiports import open_clock_input

    follower = MidiClockFollower()
    follower.follow(open_clock_input(port_name))
    return follower


def clock_sinks(clock: Clock, arguments: argparse.Namespace, sinks: Sequence[FrameSink] = ()) -> list[FrameSink]:
    """Sinks that watch the clock: a notice when MIDI clock goes silent, which
    also tells those of `sinks` that care (moving heads) when it stops."""
    from kinetrope_host.clocks.midiclock import (
        ClockListener,
        LostClockNotice,
        MidiClockFollower,
    )

    if isinstance(clock, MidiClockFollower):
        listeners = [sink for sink in sinks if isinstance(sink, ClockListener)]
        return [LostClockNotice(clock, arguments.beats_per_bar, listeners=listeners)]
    return []


def add_clock_options(clocks: Any, command: Any) -> None:
    """Clock choices beside --bpm, --midi-clock and --audio (one of them),
    and the live controls of whichever is followed."""
    from kinetrope_host.commands.options import finite_number, port_number

    clocks.add_argument("--link", action="store_true",
                        help="follow an Ableton Link session (tempo, beat, phase; the bar is the quantum)")
    command.add_argument("--latency", metavar="MS", type=finite_number, default=0.0,
                         help="send every frame MS milliseconds early, for projectors and lights that answer late")
    command.add_argument("--osc-in", metavar="PORT", type=port_number, default=None,
                         help="take /kinetrope/tap, /bar, /bpm f and /nudge f (ms) from a controller on this UDP port")


def live(clock: Clock, arguments: argparse.Namespace, sinks: list[FrameSink]) -> Clock:
    """`clock` under live control: latency, nudges, bar resets and, at a
    tempo, tap tempo; from the keys of the terminal view and --osc-in. The
    controls join `sinks`, so the player closes them."""
    import sys

    from kinetrope_host.clocks import TempoClock
    from kinetrope_host.clocks.control import (
        KeyControl,
        LiveClock,
        OscControl,
        TapClock,
    )
    from kinetrope_host.outputs.terminal import LiveView

    keys = any(isinstance(sink, LiveView) for sink in sinks) and sys.stdin.isatty()
    osc_in = getattr(arguments, "osc_in", None)
    at_a_tempo = arguments.midi_clock is None and arguments.audio is None and not getattr(arguments, "link", False)
    if (keys or osc_in is not None) and at_a_tempo and isinstance(clock, TempoClock):
        clock = TapClock(clock.tempo.bpm_at(0.0), clock.started, clock.start_pip)
    control = LiveClock(clock, arguments.beats_per_bar, getattr(arguments, "latency", 0.0))
    if osc_in is not None:
        sinks.append(OscControl(control, osc_in, arguments.prefix.rstrip("/") or "/kinetrope"))
    if keys:
        sinks.append(KeyControl(control))
    return control


def link_clock(arguments: argparse.Namespace) -> Clock | None:
    """The Link peer, if --link asked for one."""
    if not getattr(arguments, "link", False):
        return None
    from kinetrope_host.clocks.link import LinkClock

    return LinkClock(quantum=arguments.beats_per_bar, bpm=arguments.bpm or 120.0)
