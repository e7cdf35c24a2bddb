"""Following an Ableton Link session (the `[link]` extra, LinkPython-extern):
tempo, beat and phase shared with DJ software, DAWs and VJ tools on the
network, the quantum being the bar.

Link agrees on tempo and on the phase within a quantum, not on a song
position: the pip answered is this peer's own beat timeline (64 pips a beat),
on which bar lines fall where every peer's bars do. Where a peer offers
start/stop sync, a stop holds the answer at the beat it stopped on until a
start. A session in which nobody starts or stops plays on; so does one we
joined stopped (Link tells a newcomer of changes, not of the state it finds),
until a peer starts or stops it.
"""

from __future__ import annotations

import time
from collections.abc import Callable
from typing import Any

from kinetrope_host.errors import UserError

PIPS_PER_BEAT = 64


def _link_module() -> Any:
    try:
        import link  # type: ignore[import-not-found, import-untyped, unused-ignore]
    except ImportError:
        raise UserError("following Ableton Link needs LinkPython-extern: pip install 'kinetrope[link]'") from None
    return link


class LinkClock:
    """A Link peer, joined as it is made; `pip` and `bpm` read the session."""

    def __init__(self, quantum: float, bpm: float = 120.0, monotonic: Callable[[], float] = time.monotonic) -> None:
        self.quantum = float(quantum)
        self.monotonic = monotonic
        self.link = _link_module().Link(bpm)
        self.link.enabled = True
        self.link.startStopSyncEnabled = True
        self._offered = False  # a peer has started or stopped the session since we joined
        self._first_stop: int | None = None

    def _micros(self, now: float) -> int:
        # Link keeps its own clock; the offset to ours is taken at each call, so a drift between them never adds up.
        return int(self.link.clock().micros() + (now - self.monotonic()) * 1e6)

    def pip(self, now: float) -> float:
        """The session's position in pips at `now`; once a peer has stopped the
        session, it stays at the stop."""
        state = self.link.captureAppSessionState()
        at = self._micros(now)
        if state.isPlaying():
            self._offered = True
        else:
            stopped = int(state.timeForIsPlaying())
            if self._first_stop is None:
                self._first_stop = stopped
            if self._offered or stopped != self._first_stop:
                self._offered = True
                at = min(at, stopped)
        return float(state.beatAtTime(at, self.quantum)) * PIPS_PER_BEAT

    def bpm(self, now: float) -> float:
        """The session's current tempo (`now` is not used)."""
        return float(self.link.captureAppSessionState().tempo())

    def set_bpm(self, bpm: float, now: float) -> None:
        """Moves the whole session to `bpm` (any peer may), from `now` on."""
        state = self.link.captureAppSessionState()
        state.setTempo(bpm, self._micros(now))
        self.link.commitAppSessionState(state)

    def peers(self) -> int:
        """How many other Link peers are in the session."""
        return int(self.link.numPeers())

    def close(self) -> None:
        """Leave the Link session."""
        self.link.enabled = False
