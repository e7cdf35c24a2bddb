"""How `kinetrope play` sets up the clocks it follows and the live controls
around them: the options, the clock for them and the sinks that go with it.
Kept here so the play command needs one line for each."""

from __future__ import annotations

import argparse
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


def clock_sinks(clock: Clock, arguments: argparse.Namespace) -> list[FrameSink]:
    """Sinks that watch the clock: a notice when MIDI clock goes silent."""
    from kinetrope_host.clocks.midiclock import LostClockNotice, MidiClockFollower

    if isinstance(clock, MidiClockFollower):
        return [LostClockNotice(clock, arguments.beats_per_bar)]
    return []


def add_clock_options(clocks: Any) -> None:
    """Clock choices beside --bpm, --midi-clock and --audio (one of them)."""
    clocks.add_argument("--link", action="store_true",
                        help="follow an Ableton Link session (tempo, beat, phase; the bar is the quantum)")


def link_clock(arguments: argparse.Namespace) -> Clock | None:
    """The Link peer, if --link asked for one."""
    if not getattr(arguments, "link", False):
        return None
    from kinetrope_host.clocks.link import LinkClock

    return LinkClock(quantum=arguments.beats_per_bar, bpm=arguments.bpm or 120.0)
