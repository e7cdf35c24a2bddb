"""Receives what `kinetrope play --port` sends, as a visual tool would.

TouchDesigner (an OSC In CHOP) and Resolume (OSC input, a shortcut per
parameter) listen on a UDP port and map an address's three values to a
parameter. This receiver, on python-osc, does the same in a few lines:
start it, then play to its port:

    python3 examples/osc_receiver.py --port 7000 --count 120 &
    kinetrope play helix bounce --bpm 120 --bars 1 --port 7000 --no-view

It prints one line per pattern message: the beat and the pattern's x, y, z
(here is where a program of its own would move something), and stops after
--count pattern messages or --seconds of silence.
"""

from __future__ import annotations

import argparse
import sys

from kinetrope_host.commands.play import port_number, positive_count, positive_number
from pythonosc.dispatcher import Dispatcher
from pythonosc.osc_server import BlockingOSCUDPServer


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--host", default="127.0.0.1", help="address to listen on (default 127.0.0.1)")
    parser.add_argument("--port", type=port_number, default=7000, help="UDP port to listen on (default 7000)")
    parser.add_argument("--prefix", default="/kinetrope", help="the sender's address prefix (default /kinetrope)")
    parser.add_argument("--count", type=positive_count, help="stop after this many pattern messages")
    parser.add_argument("--seconds", type=positive_number, default=10.0,
                        help="stop after this long without a message (default 10)")
    args = parser.parse_args()

    state = {"beat": 0.0, "received": 0, "silent": False}

    def on_beat(_address: str, beat: float) -> None:
        state["beat"] = beat

    def on_pattern(address: str, x: float, y: float, z: float) -> None:
        name = address.removeprefix(args.prefix + "/")
        print(f"beat {state['beat']:8.3f}  {name:20s} x {x:+.3f}  y {y:+.3f}  z {z:+.3f}", flush=True)
        state["received"] += 1

    dispatcher = Dispatcher()
    dispatcher.map(f"{args.prefix}/beat", on_beat)
    for ignored in ("pip", "bpm"):
        dispatcher.map(f"{args.prefix}/{ignored}", lambda *_: None)
    dispatcher.set_default_handler(on_pattern)
    server = BlockingOSCUDPServer((args.host, args.port), dispatcher)
    server.timeout = args.seconds
    server.handle_timeout = lambda: state.update(silent=True)  # type: ignore[method-assign]
    print(f"listening on {args.host}:{args.port}", file=sys.stderr, flush=True)
    while not state["silent"] and (args.count is None or state["received"] < args.count):
        server.handle_request()
    server.server_close()


if __name__ == "__main__":
    main()
