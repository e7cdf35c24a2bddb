"""`kinetrope ports`: the MIDI inputs and outputs this machine has, to name
one for `play --midi-clock`."""

from __future__ import annotations

import argparse
from typing import Any

from kinetrope_host.clocks import midiports


def register(subparsers: Any) -> None:
    """Adds `ports` to the command's subparsers."""
    command = subparsers.add_parser("ports", help="list MIDI ports (for play --midi-clock)",
                                    description="List the MIDI inputs and outputs the MIDI backend sees. "
                                                "A mido socket port (HOST:PORT) is not listed: give its address.")
    command.set_defaults(run=run)


def run(arguments: argparse.Namespace) -> int:
    """Prints the MIDI backend and its input and output port names; returns 0."""
    print(f"MIDI backend: {midiports.backend_name()}")
    for title, names in (("inputs", midiports.input_names()), ("outputs", midiports.output_names())):
        print(f"MIDI {title}:" if names else f"MIDI {title}: none")
        for name in names:
            print(f"  {name}")
    return 0
