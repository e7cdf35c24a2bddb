"""Streams movement patterns to an OSC receiver in time with a tempo.

Every frame goes, to the given host and port over UDP, as one OSC bundle
timetagged with the frame's due time, holding the song position and one
message of three floats (x, y, z) per pattern:

    /kinetrope/pip          i      the whole pip of this frame (64 a beat)
    /kinetrope/beat         f      the song position in beats, fractional
    /kinetrope/bpm          f      the tempo
    /kinetrope/<pattern>    f f f  the pattern's offset, each in [-1, 1]

Point a visual tool's OSC input at that port and map the three values of an
address to whatever should move, for example:

    python3 examples/osc_stream.py 127.0.0.1 7000 helix bounce --bpm 128

`kinetrope play helix bounce --bpm 128 --port 7000` does the same with a live
view, and follows MIDI clock or an audio file's beats too; this example shows
the few calls a host makes for it.
"""

from __future__ import annotations

import argparse
import sys
import time
from collections.abc import Sequence

from kinetrope_host import catalogue
from kinetrope_host.clocks import TempoClock
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.commands.play import (
    finite_number,
    port_number,
    positive_count,
    positive_number,
)
from kinetrope_host.errors import UserError
from kinetrope_host.outputs.osc import OscSink
from kinetrope_host.player import play


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("host", help="where the OSC receiver listens, e.g. 127.0.0.1")
    parser.add_argument("port", type=port_number, help="the receiver's UDP port")
    parser.add_argument("patterns", nargs="+", help="built-in pattern names (see kinetrope list)")
    parser.add_argument("--bpm", type=positive_number, default=120.0, help="tempo to follow (default 120)")
    parser.add_argument("--start-beat", type=finite_number, default=0.0,
                        help="song position of the first frame, in beats (default 0; negative for a count-in)")
    parser.add_argument("--fps", type=positive_number, default=60.0, help="frames per second (default 60)")
    parser.add_argument("--frames", type=positive_count, default=None,
                        help="stop after this many frames (default: run until stopped)")
    parser.add_argument("--prefix", default="/kinetrope", help="OSC address prefix (default /kinetrope)")
    args = parser.parse_args(argv)
    try:
        names = [catalogue.resolve(name) for name in args.patterns]
        sink = OscSink(args.host, args.port, args.prefix)
    except UserError as error:
        parser.error(str(error))
    started = time.monotonic()
    clock = TempoClock(TempoMap.constant(args.bpm), started, start_pip=args.start_beat * 64.0)
    try:
        play(names, clock, [sink], args.fps, frames=args.frames, started=started)
    except KeyboardInterrupt:
        print(file=sys.stderr)
    except UserError as error:
        sys.exit(f"osc_stream: {error}")


if __name__ == "__main__":
    main()
