"""A MIDI clock source on a mido socket port, to try `kinetrope play
--midi-clock` without a DAW or a drum machine.

It waits for a follower to connect, then sends start and 24 clock ticks a
beat at the tempo (changing it after `--change-after` beats if asked), and
stop at the end:

    python3 examples/midi_clock_source.py --port 5004 --bpm 120 --change-after 16 --to 140 &
    kinetrope play helix bounce --midi-clock 127.0.0.1:5004

With --virtual NAME it offers a MIDI output port of that name instead (the
`[midi]` extra's rtmidi: ALSA, or JACK when that is what runs) and starts
after --wait seconds, time to connect a follower to it:

    jackd -d dummy &
    python3 examples/midi_clock_source.py --virtual clock --wait 3 &
    kinetrope ports
    kinetrope play helix --midi-clock midi_clock_source:clock
"""

from __future__ import annotations

import argparse
import time
from typing import Any

import mido  # type: ignore[import-untyped, unused-ignore]
import mido.sockets  # type: ignore[import-untyped, unused-ignore]
from kinetrope_host.commands.play import port_number, positive_count, positive_number


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1", help="address to serve on (default 127.0.0.1)")
    parser.add_argument("--port", type=port_number, default=5004, help="TCP port to serve on (default 5004)")
    parser.add_argument("--bpm", type=positive_number, default=120.0, help="tempo (default 120)")
    parser.add_argument("--beats", type=positive_count, default=32, help="beats to send before stop (default 32)")
    parser.add_argument("--change-after", type=positive_count, default=None, help="change tempo after this many beats")
    parser.add_argument("--to", type=positive_number, default=140.0, help="the tempo to change to (default 140)")
    parser.add_argument("--virtual", metavar="NAME", help="offer a MIDI output port of this name instead")
    parser.add_argument("--wait", type=float, default=3.0, help="seconds before a virtual port starts (default 3)")
    args = parser.parse_args()
    if args.virtual is not None:
        from kinetrope_host.clocks import midiports

        midiports.backend_name()  # picks the MIDI system that runs
        with mido.open_output(args.virtual, virtual=True, client_name="midi_clock_source") as port:
            print(f"sending MIDI clock on port {args.virtual} in {args.wait:g} s", flush=True)
            time.sleep(args.wait)
            send_clock(port, args)
        return
    with mido.sockets.PortServer(args.host, args.port) as server:
        print(f"serving MIDI clock on {args.host}:{args.port}; waiting for a follower", flush=True)
        follower = server.accept()
        try:
            send_clock(follower, args)
        except OSError:
            print("the follower went away")
        follower.close()


def send_clock(port: Any, args: argparse.Namespace) -> None:
    port.send(mido.Message("start"))
    due = time.monotonic()
    for tick in range(args.beats * 24):
        bpm = args.to if args.change_after is not None and tick >= args.change_after * 24 else args.bpm
        time.sleep(max(0.0, due - time.monotonic()))
        port.send(mido.Message("clock"))
        due += 60.0 / bpm / 24
    port.send(mido.Message("stop"))


if __name__ == "__main__":
    main()
