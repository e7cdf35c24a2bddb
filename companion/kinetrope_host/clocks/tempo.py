"""Seconds to pips and back, for a constant tempo, a list of tempo changes or
a list of beat times.

A map is piecewise linear: between two knots the tempo is constant. The knots
are kept as exact rationals of the float inputs, so the map is exactly
continuous and monotone, and a knot given in the input (a beat time, the
start of a tempo change) maps to its pip with no rounding at all. Floats are
made only at the edge, by one correct rounding.

Before the first knot the first segment's tempo goes on backwards, after the
last knot the last tempo goes on forwards: for beat times, the tempo of the
first and of the last interval. Pips are answered as floats with no 32-bit
limit; sampling reduces a pip by the pattern's period in integer arithmetic
(see `sampling`), so every built-in pattern stays periodic past 2**31 pips.
"""

from __future__ import annotations

import bisect
import math
from collections.abc import Sequence
from fractions import Fraction

PIPS_PER_BEAT = 64  # the module's PIPS_PER_BEAT; kept here so the map needs no import of the extension
_SECONDS_PER_MINUTE = 60


def _finite(value: float, what: str) -> Fraction:
    try:
        number = float(value)
    except (TypeError, ValueError):
        raise ValueError(f"{what} is not a number: {value!r}") from None
    if not math.isfinite(number):
        raise ValueError(f"{what} is not finite: {value!r}")
    return Fraction(number)


class TempoMap:
    """Song position in pips (64 a beat) against time in seconds."""

    __slots__ = ("_pips", "_rates", "_seconds")

    def __init__(self, seconds: Sequence[Fraction], pips: Sequence[Fraction], rates: Sequence[Fraction]) -> None:
        # Knot i starts at seconds[i], pips[i] and runs at rates[i] pips a second.
        self._seconds = list(seconds)
        self._pips = list(pips)
        self._rates = list(rates)

    @classmethod
    def constant(cls, bpm: float) -> TempoMap:
        """Pip 0 at second 0, `bpm` throughout."""
        return cls.from_changes([(0.0, bpm)])

    @classmethod
    def from_changes(cls, changes: Sequence[tuple[float, float]]) -> TempoMap:
        """Tempo changes as (beat, bpm), the first at beat 0 (second 0), the
        beats strictly increasing. Each tempo holds until the next change."""
        if len(changes) == 0:
            raise ValueError("no tempo changes given")
        seconds: list[Fraction] = []
        pips: list[Fraction] = []
        rates: list[Fraction] = []
        for index, change in enumerate(changes):
            try:
                beat_value, bpm_value = change
            except (TypeError, ValueError):
                raise ValueError(f"tempo change {index} is not a (beat, bpm) pair: {change!r}") from None
            beat = _finite(beat_value, f"beat of tempo change {index}")
            bpm = _finite(bpm_value, f"bpm of tempo change {index}")
            if bpm <= 0:
                raise ValueError(f"bpm of tempo change {index} is not positive: {bpm_value!r}")
            pip = beat * PIPS_PER_BEAT
            if index == 0:
                if beat != 0:
                    raise ValueError(f"tempo change 0 is at beat {beat_value!r}; the first change must be at beat 0")
                seconds.append(Fraction(0))
            else:
                if pip <= pips[-1]:
                    raise ValueError(f"beat of tempo change {index} ({beat_value!r}) is not after the one before it")
                seconds.append(seconds[-1] + (pip - pips[-1]) / rates[-1])
            pips.append(pip)
            rates.append(bpm * PIPS_PER_BEAT / _SECONDS_PER_MINUTE)
        return cls(seconds, pips, rates)

    @classmethod
    def from_beat_times(cls, times: Sequence[float], downbeat: int = 0) -> TempoMap:
        """Beat times in seconds, strictly increasing (as a beat tracker or a
        tap gives them); beat `downbeat` (an index into `times`) is pip 0, the
        beats before it count in with negative pips."""
        if len(times) < 2:
            raise ValueError(f"at least two beat times are needed, {len(times)} given")
        if not 0 <= downbeat < len(times):
            raise ValueError(f"downbeat {downbeat} is not an index of the {len(times)} beat times")
        seconds: list[Fraction] = []
        for index, value in enumerate(times):
            second = _finite(value, f"beat time {index}")
            if seconds and second <= seconds[-1]:
                raise ValueError(f"beat time {index} ({value!r}) is not after beat time {index - 1} ({times[index - 1]!r})")
            seconds.append(second)
        pips = [Fraction((index - downbeat) * PIPS_PER_BEAT) for index in range(len(seconds))]
        rates = [PIPS_PER_BEAT / (later - earlier) for earlier, later in zip(seconds, seconds[1:])]
        rates.append(rates[-1])
        return cls(seconds, pips, rates)

    # Exact evaluation.

    def _pip_exact(self, second: Fraction) -> Fraction:
        index = max(bisect.bisect_right(self._seconds, second) - 1, 0)
        return self._pips[index] + (second - self._seconds[index]) * self._rates[index]

    def _seconds_exact(self, pip: Fraction) -> Fraction:
        index = max(bisect.bisect_right(self._pips, pip) - 1, 0)
        return self._seconds[index] + (pip - self._pips[index]) / self._rates[index]

    # The float surface.

    def pip_at(self, seconds: float) -> float:
        """The song position at `seconds`, in pips.

        A float time stands for every real time that rounds to it; when a
        whole pip falls among those, that whole pip is the answer. So
        `pip_at(seconds_at(n)) == n` for every whole pip n, and the answer
        stays monotone in `seconds`.
        """
        second = _finite(seconds, "time in seconds")
        exact = self._pip_exact(second)
        below = Fraction(math.nextafter(seconds, -math.inf))
        above = Fraction(math.nextafter(seconds, math.inf))
        low = self._pip_exact((second + below) / 2)
        high = self._pip_exact((second + above) / 2)
        nearest = round(exact)
        if low <= nearest <= high:
            return float(nearest)
        return float(exact)

    def seconds_at(self, pip: float) -> float:
        """The time at which the song reaches `pip`, in seconds."""
        return float(self._seconds_exact(_finite(pip, "pip")))

    def bpm_at(self, seconds: float) -> float:
        """The tempo at `seconds`, in beats a minute (at a knot, the tempo
        that starts there)."""
        second = _finite(seconds, "time in seconds")
        index = max(bisect.bisect_right(self._seconds, second) - 1, 0)
        return float(self._rates[index] * _SECONDS_PER_MINUTE / PIPS_PER_BEAT)

    def __repr__(self) -> str:
        return f"TempoMap({len(self._seconds)} knots, {self.bpm_at(float(self._seconds[0])):g} bpm at the first)"
