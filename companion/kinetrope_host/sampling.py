"""What a host needs around `kinetrope.sample`: a pattern's whole period in
one call, and sampling at any song position (a fractional pip, or a time
through a tempo map) without the steps of the whole-pip grid.

Between whole pips the offset is interpolated linearly, axis by axis, from
the samples at the two whole pips around it. Linear keeps every value inside
[-1, 1] and every axis a pattern keeps at 0.0 at exactly 0.0, and at a whole
pip it returns the module's sample unchanged (the fraction is exactly 0).

Pips are reduced by the pattern's period in Python integers before they reach
the module, so any pip, far past the 32-bit range too, samples the loop.
"""

from __future__ import annotations

import math
from typing import TYPE_CHECKING, Any

import kinetrope

from kinetrope_host import catalogue
from kinetrope_host.clocks.tempo import TempoMap

if TYPE_CHECKING:
    import numpy

Offset = tuple[float, float, float]


def _whole(name: str, pip: int, period: int) -> Offset:
    x, y, z = catalogue.sample(name, pip % period).as_tuple()
    return (x, y, z)


def sample_at(name: str, pip: float) -> Offset:
    """`name` at `pip` (any finite float), interpolated between whole pips."""
    period = catalogue.row(name).period_pips
    if not math.isfinite(pip):
        raise ValueError(f"pip is not finite: {pip!r}")
    whole = math.floor(pip)
    fraction = pip - whole
    here = _whole(name, whole, period)
    if fraction == 0.0:
        return here
    there = _whole(name, whole + 1, period)
    return (here[0] + (there[0] - here[0]) * fraction,
            here[1] + (there[1] - here[1]) * fraction,
            here[2] + (there[2] - here[2]) * fraction)


def sample_at_beat(name: str, beat: float) -> Offset:
    """`name` at a song position in beats."""
    return sample_at(name, beat * kinetrope.PIPS_PER_BEAT)


def sample_at_seconds(name: str, seconds: float, tempo: TempoMap) -> Offset:
    """`name` at a time in seconds, through `tempo`."""
    return sample_at(name, tempo.pip_at(seconds))


def whole_period(name: str) -> list[Offset]:
    """One offset per pip of the pattern's period, pip 0 first."""
    period = catalogue.row(name).period_pips
    return [_whole(name, pip, period) for pip in range(period)]


def whole_period_array(name: str) -> numpy.ndarray[Any, Any]:
    """The whole period as a NumPy array of shape (period, 3), float64.
    Needs NumPy (`pip install 'kinetrope[numpy]'`)."""
    try:
        import numpy
    except ImportError:
        raise ImportError("whole_period_array needs NumPy: pip install 'kinetrope[numpy]'") from None
    return numpy.array(whole_period(name), dtype=numpy.float64).reshape(-1, 3)
