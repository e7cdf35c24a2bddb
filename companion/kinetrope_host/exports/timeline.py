"""Which instants an export holds, and the frame loop that samples them.

Keys fall on whole frames from the song's start up to its musical end, and
the end itself is a key: a clip of N bars lasts exactly N bars, and a loop
that closes there repeats without drift. When the end falls between two
frames it is the one key off the frame grid.
"""

from __future__ import annotations

import math
from collections.abc import Iterator, Sequence
from dataclasses import dataclass

import kinetrope

from kinetrope_host import catalogue
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError

BEATS_PER_BAR = 4
#: How near (in frames) the end may be to a whole frame to count as on it.
ON_FRAME = 1e-6

#: One frame as written: frame number (an int on the grid), seconds since the
#: song's start, song position in pips, and x, y, z of each pattern in turn,
#: times the scale.
Row = tuple[float, float, float, list[float]]


def positive(value: object) -> bool:
    """Whether `value` is a finite int or float above 0 (bools are not numbers here)."""
    return (
        isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value) and value > 0
    )


def length_seconds(tempo: TempoMap, *, seconds: float | None = None, bars: float | None = None) -> float:
    """The length given in seconds or in 4/4 bars, in seconds."""
    if (seconds is None) == (bars is None):
        raise UserError("give the length as either seconds or bars")
    if seconds is not None:
        if not positive(seconds):
            raise UserError(f"--seconds must be a positive number: {seconds!r}")
        return float(seconds)
    assert bars is not None
    if not positive(bars):
        raise UserError(f"--bars must be a positive number: {bars!r}")
    return tempo.seconds_at(bars * BEATS_PER_BAR * kinetrope.PIPS_PER_BEAT)


@dataclass(frozen=True)
class Timeline:
    """Frames `start_frame` on at `fps`, the last at `end` seconds."""

    fps: float
    end: float
    start_frame: int = 0

    @property
    def whole_frames(self) -> int:
        """Frames on the grid, the first at second 0."""
        position = self.end * self.fps
        nearest = round(position)
        if abs(position - nearest) <= ON_FRAME:
            return nearest + 1
        return math.floor(position) + 1

    @property
    def ends_on_frame(self) -> bool:
        return abs(self.end * self.fps - round(self.end * self.fps)) <= ON_FRAME

    @property
    def rows(self) -> int:
        """Rows written: every whole frame, and the end when it is off the grid."""
        return self.whole_frames + (0 if self.ends_on_frame else 1)

    def instants(self) -> Iterator[tuple[float, float]]:
        """(frame number, seconds since the song's start) of each row."""
        fps, start = self.fps, self.start_frame
        for index in range(self.whole_frames):
            yield start + index, index / fps
        if not self.ends_on_frame:
            yield start + self.end * fps, self.end


def sample_rows(names: Sequence[str], tempo: TempoMap, timeline: Timeline, scale: float) -> Iterator[Row]:
    """Each pattern at each instant of `timeline`, as `sampling.sample_at`
    gives it (linear between whole pips), times `scale`.

    A song samples the same whole pips of a pattern over and over (it
    loops), so each pattern's whole-pip samples are kept once fetched.
    """
    periods = [catalogue.row(name).period_pips for name in names]
    seen: list[dict[int, tuple[float, float, float]]] = [{} for _ in names]
    sample = catalogue.sample

    def whole(slot: int, pip: int) -> tuple[float, float, float]:
        key = pip % periods[slot]
        found = seen[slot].get(key)
        if found is None:
            x, y, z = sample(names[slot], key).as_tuple()
            found = seen[slot][key] = (x, y, z)
        return found

    slots = range(len(names))
    for frame, seconds in timeline.instants():
        pip = tempo.pip_at(seconds)
        low = math.floor(pip)
        fraction = pip - low
        values: list[float] = []
        for slot in slots:
            hx, hy, hz = whole(slot, low)
            if fraction == 0.0:
                values += (hx * scale, hy * scale, hz * scale)
            else:
                tx, ty, tz = whole(slot, low + 1)
                values += ((hx + (tx - hx) * fraction) * scale,
                           (hy + (ty - hy) * fraction) * scale,
                           (hz + (tz - hz) * fraction) * scale)
        if not math.isfinite(sum(values)):
            raise UserError(f"a sampled value at {seconds} s is not a finite number; nothing was written")
        yield frame, seconds, pip, values
