"""What `kinetrope play` produces and where it goes."""

from __future__ import annotations

from collections.abc import Mapping
from dataclasses import dataclass
from typing import Protocol


@dataclass(frozen=True)
class Frame:
    """One instant of the show.

    `seconds` is the frame's time on the player's clock (seconds since play
    started), `pip` the song position it falls on (fractional; 64 a beat),
    `values` each pattern's (x, y, z) at that pip, interpolated between whole
    pips. `bpm` is the tempo the clock follows at that instant and
    `wall_time` the frame's due time as seconds since the Unix epoch (what
    an OSC timetag carries).
    """

    seconds: float
    pip: float
    values: Mapping[str, tuple[float, float, float]]
    bpm: float = 0.0
    wall_time: float = 0.0


class FrameSink(Protocol):
    """Something a frame is shown on or sent to."""

    def send(self, frame: Frame) -> None:
        """Shows or sends one frame; called once per frame, in order."""

    def close(self) -> None:
        """Releases what the sink holds (sockets, threads, the screen); called once, at the end."""
