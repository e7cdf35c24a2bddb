"""Where the song position comes from: a tempo map, MIDI clock, an Ableton
Link session, beats found in audio, a tempo tapped live. Each source is a
`Clock`; the player asks it which pip it is and knows nothing else of it."""

from __future__ import annotations

from typing import Protocol

from kinetrope_host.clocks.tempo import TempoMap

__all__ = ["Clock", "TempoClock", "TempoMap"]


class Clock(Protocol):
    """Song position against the player's monotonic clock."""

    def pip(self, now: float) -> float:
        """The song position in pips (fractional) at `now` on the player's monotonic clock."""

    def bpm(self, now: float) -> float:
        """The tempo followed at `now`, in beats a minute."""


class TempoClock:
    """Follows a tempo map that starts when the player starts (or at `started`)."""

    def __init__(self, tempo: TempoMap, started: float, start_pip: float = 0.0) -> None:
        self.tempo = tempo
        self.started = started
        self.start_pip = start_pip

    def pip(self, now: float) -> float:
        """The song position at `now`: the start pip plus the map's pips since `started`."""
        return self.start_pip + self.tempo.pip_at(now - self.started)

    def bpm(self, now: float) -> float:
        """The map's tempo at `now`."""
        return self.tempo.bpm_at(now - self.started)
