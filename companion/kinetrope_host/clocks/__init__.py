"""Where the song position comes from: a tempo map, MIDI clock, an Ableton
Link session, beats found in audio, a tempo tapped live. Each source is a
`Clock`; the player asks it which pip it is and knows nothing else of it."""

from __future__ import annotations

from typing import Protocol

from kinetrope_host.clocks.tempo import TempoMap

__all__ = ["Clock", "TempoClock", "TempoMap"]


class Clock(Protocol):
    """Song position against the player's monotonic clock."""

    def pip(self, now: float) -> float: ...

    def bpm(self, now: float) -> float: ...


class TempoClock:
    """Follows a tempo map that starts when the player starts (or at `started`)."""

    def __init__(self, tempo: TempoMap, started: float, start_pip: float = 0.0) -> None:
        self.tempo = tempo
        self.started = started
        self.start_pip = start_pip

    def pip(self, now: float) -> float:
        return self.start_pip + self.tempo.pip_at(now - self.started)

    def bpm(self, now: float) -> float:
        return self.tempo.bpm_at(now - self.started)
