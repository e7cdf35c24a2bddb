"""An Ableton Link peer, to try `kinetrope play --link` without a DAW or DJ
software: it joins (or starts) the session at a tempo, changes the tempo
after a while if asked, and prints the beat and phase once a beat.

    python3 examples/link_peer.py --bpm 120 --change-after 8 --to 100 &
    kinetrope play helix --link
"""

from __future__ import annotations

import argparse
import time

import link  # type: ignore[import-not-found, import-untyped, unused-ignore]
from kinetrope_host.commands.play import positive_count, positive_number


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bpm", type=positive_number, default=120.0, help="tempo (default 120)")
    parser.add_argument("--quantum", type=positive_count, default=4, help="beats in a bar (default 4)")
    parser.add_argument("--seconds", type=positive_number, default=30.0, help="how long to stay (default 30)")
    parser.add_argument("--change-after", type=positive_number, default=None, help="change tempo after these seconds")
    parser.add_argument("--to", type=positive_number, default=100.0, help="the tempo to change to (default 100)")
    args = parser.parse_args()
    peer = link.Link(args.bpm)
    peer.enabled = True
    peer.startStopSyncEnabled = True
    started = time.monotonic()
    changed = args.change_after is None
    while (elapsed := time.monotonic() - started) < args.seconds:
        if not changed and elapsed >= args.change_after:
            state = peer.captureAppSessionState()
            state.setTempo(args.to, peer.clock().micros())
            peer.commitAppSessionState(state)
            changed = True
        state = peer.captureAppSessionState()
        now = peer.clock().micros()
        print(f"{state.tempo():6.1f} bpm  beat {state.beatAtTime(now, args.quantum):8.2f}  "
              f"phase {state.phaseAtTime(now, args.quantum):4.2f}/{args.quantum}  peers {peer.numPeers()}", flush=True)
        time.sleep(60.0 / state.tempo())
    peer.enabled = False


if __name__ == "__main__":
    main()
