"""One pattern across a row of heads, as a lighting desk's effect engine
spreads it: each head runs a phase offset behind (the spread, in beats,
shared out in an order), at a size (share of each head's swing), a speed
(x0.5 runs the pattern at half speed, x2 at double) and around a centre
position (degrees of pan and tilt added to each head's home)."""

from __future__ import annotations

import math
from dataclasses import dataclass

from kinetrope_host.errors import UserError

ORDERS = ("in-order", "reverse", "centre-out", "mirrored")
PIPS_PER_BEAT = 64


@dataclass(frozen=True)
class Fan:
    """How a pattern is spread over a row of heads; checks its values when
    made and raises `UserError` on one out of range."""

    spread: float = 0.0
    order: str = "in-order"
    size: float = 1.0
    speed: float = 1.0
    centre: tuple[float, float] = (0.0, 0.0)

    def __post_init__(self) -> None:
        if self.order not in ORDERS:
            raise UserError(f"fan order must be one of {', '.join(ORDERS)}: {self.order!r}")
        if not math.isfinite(self.spread) or self.spread < 0:
            raise UserError(f"spread must be 0 or more beats: {self.spread!r}")
        if not math.isfinite(self.size) or not 0 <= self.size <= 1:
            raise UserError(f"size must be 0 to 1 (a share of each head's swing): {self.size!r}")
        if not math.isfinite(self.speed) or self.speed <= 0:
            raise UserError(f"speed must be a positive factor: {self.speed!r}")
        if not all(math.isfinite(c) for c in self.centre):
            raise UserError(f"centre must be finite degrees: {self.centre!r}")

    def steps(self, count: int) -> list[float]:
        """Each head's share of the spread, 0 for the head that leads."""
        if count < 2:
            return [0.0] * count
        if self.order == "in-order":
            return [i / count for i in range(count)]
        if self.order == "reverse":
            return [(count - 1 - i) / count for i in range(count)]
        # From the edges in: 0 at both ends, largest in the middle.
        inward = [min(i, count - 1 - i) for i in range(count)]
        widest = max(inward)
        if self.order == "mirrored":
            return [k / (widest + 1) for k in inward]
        return [(widest - k) / (widest + 1) for k in inward]

    def phases(self, count: int) -> list[float]:
        """Beats each head runs behind the leading one."""
        return [self.spread * step for step in self.steps(count)]

    def pips(self, pip: float, count: int) -> list[float]:
        """The pattern pip each head shows at the song's `pip`."""
        return [pip * self.speed - phase * PIPS_PER_BEAT for phase in self.phases(count)]
