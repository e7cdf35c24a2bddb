"""Streams movement patterns to an OSC receiver in time with a tempo.

Every frame samples the chosen patterns at the pip the music has reached and
sends, to the given host and port over UDP, first the pip itself and then one
message of three floats (x, y, z) per pattern:

    /kinetrope/pip          int    the pip of this frame (64 a beat)
    /kinetrope/<pattern>    f f f  the pattern's offset, each in [-1, 1]

Point a visual tool's OSC input at that port and map the three values of an
address to whatever should move, for example:

    python3 examples/osc_stream.py 127.0.0.1 7000 helix bounce --bpm 128
"""

from __future__ import annotations

import argparse
import math
import sys
import time
from collections.abc import Sequence

import kinetrope
from pythonosc.udp_client import SimpleUDPClient


def pip_at(beats: float) -> int:
    """The pip a song position in beats falls on; floor, so a count-in before
    beat zero gets negative pips like any other."""
    return math.floor(beats * kinetrope.PIPS_PER_BEAT)


def stream(client: SimpleUDPClient, prefix: str, patterns: Sequence[str], bpm: float, start_beat: float,
           fps: float, frames: int | None) -> None:
    """Sends frames at `fps` until `frames` have gone out (or forever).

    Each frame's pip comes from its scheduled time, not from when it was sent,
    so the stream keeps to the tempo however late a frame is. A sender that
    falls more than a frame behind skips to the frame due now instead of
    sending a burst of stale ones.
    """
    beats_per_second = bpm / 60.0
    started = time.monotonic()
    frame = 0
    sent = 0
    while frames is None or sent < frames:
        lateness = time.monotonic() - (started + frame / fps)
        if lateness < 0.0:
            time.sleep(-lateness)
        elif lateness >= 1.0 / fps:
            frame = math.floor((time.monotonic() - started) * fps)
        pip = pip_at(start_beat + frame / fps * beats_per_second)
        client.send_message(f"{prefix}/pip", pip)
        for name in patterns:
            client.send_message(f"{prefix}/{name}", list(kinetrope.sample(name, pip).as_tuple()))
        sent += 1
        frame += 1


def positive(text: str) -> float:
    value = float(text)
    if not math.isfinite(value) or value <= 0.0:
        raise argparse.ArgumentTypeError(f"must be a positive number: {text}")
    return value


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("host", help="where the OSC receiver listens, e.g. 127.0.0.1")
    parser.add_argument("port", type=int, help="the receiver's UDP port")
    parser.add_argument("patterns", nargs="+", help="built-in pattern names (see examples/beat_clock.py --list)")
    parser.add_argument("--bpm", type=positive, default=120.0, help="tempo to follow (default 120)")
    parser.add_argument("--start-beat", type=float, default=0.0,
                        help="song position of the first frame, in beats (default 0; negative for a count-in)")
    parser.add_argument("--fps", type=positive, default=60.0, help="frames per second (default 60)")
    parser.add_argument("--frames", type=int, default=None,
                        help="stop after this many frames (default: run until stopped)")
    parser.add_argument("--prefix", default="/kinetrope", help="OSC address prefix (default /kinetrope)")
    args = parser.parse_args(argv)
    for name in args.patterns:
        try:
            kinetrope.sample(name, 0)
        except ValueError as error:
            parser.error(str(error))
    client = SimpleUDPClient(args.host, args.port)
    try:
        stream(client, args.prefix.rstrip("/"), args.patterns, args.bpm, args.start_beat, args.fps, args.frames)
    except KeyboardInterrupt:
        print(file=sys.stderr)


if __name__ == "__main__":
    main()
