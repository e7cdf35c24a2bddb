"""What every export format is given: a header saying what the file holds,
and the rows of the frame loop."""

from __future__ import annotations

from collections.abc import Iterable
from dataclasses import dataclass
from pathlib import Path
from typing import IO, Any, Protocol

from kinetrope_host.exports.timeline import ON_FRAME, Row


@dataclass(frozen=True)
class PatternInfo:
    """One exported pattern: its name, its period in pips and how many axes move."""

    name: str
    period_pips: int
    #: Axes that move, x first: 1 is x only, 2 is x and y, 3 all three.
    axes: int


@dataclass(frozen=True)
class Header:
    """What a file holds, written into every format alike."""

    patterns: tuple[PatternInfo, ...]
    fps: float
    start_frame: int
    rows: int
    seconds: float
    #: The tempo at the song's start, and where the tempo comes from.
    bpm: float
    tempo: str
    #: Metres per unit of offset; every value written is offset x scale.
    scale: float
    version: str

    @property
    def names(self) -> list[str]:
        return [pattern.name for pattern in self.patterns]

    @property
    def columns(self) -> list[str]:
        return ["frame", "seconds", "beat", "pip", *(f"{name}.{axis}" for name in self.names for axis in "xyz")]

    def as_dict(self) -> dict[str, Any]:
        """The header as JSON-ready values, as the JSON, CSV metadata and glTF
        extras all carry it."""
        return {
            "kinetrope": self.version,
            "fps": self.fps,
            "start_frame": self.start_frame,
            "frames": self.rows,
            "seconds": self.seconds,
            # The frame the musical end falls on (between two when not whole).
            "end_frame": self.start_frame + _whole_if_whole(self.seconds * self.fps),
            "bpm": self.bpm,
            "tempo": self.tempo,
            "scale_metres": self.scale,
            "patterns": [
                {"name": p.name, "period_pips": p.period_pips, "axes": "xyz"[: p.axes]} for p in self.patterns
            ],
        }


def _whole_if_whole(value: float) -> float:
    nearest = round(value)
    return nearest if abs(value - nearest) <= ON_FRAME else value


class Writer(Protocol):
    """One file format."""

    def check(self, header: Header) -> None:
        """Refuse (`UserError`) what this format cannot hold, before any work."""

    def sidecar(self, target: Path) -> Path | None:
        """A second file written with the first, if the format has one."""

    def write(
        self, handle: IO[bytes], target: Path, header: Header, rows: Iterable[Row], sidecar: IO[bytes] | None
    ) -> None:
        """Write the file (to be renamed to `target`) and its sidecar from the header and the rows, in order."""
