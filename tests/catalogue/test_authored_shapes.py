"""The shape constraints that the authored families of atlas and continuum
state in words: radius bands, bands an axis keeps, the directions their
names promise, and siblings that can be told apart. A later change to a
fit or a shape that breaks one of them fails here."""

import math

import pytest
from builtin_tables import registry_rows, table

NAMES = [row["name"] for row in registry_rows()]
PAIRS = ["1_2", "1_3", "1_4", "1_5", "2_3", "2_5", "3_4", "3_5"]
TOLERANCE = 0.01  # "about" in a stated band


def planar(s):
    return math.hypot(s[0], s[1])


def spatial(s):
    return math.hypot(*s)


# (rows, radius, band low, band high, whether every row falls to the low end)
RADIUS_BANDS = [
    ([f"surface_{p}_{w}" for w in ("low", "wide") for p in PAIRS], spatial, 0.61, 0.82, True),
    ([f"ribbon_{p}_slim" for p in PAIRS], planar, 0.25, 0.82, False),
    ([f"ribbon_{p}_deep" for p in PAIRS], planar, 0.11, 0.82, True),
]


@pytest.mark.parametrize("rows, radius, low, high, every_row_falls", RADIUS_BANDS,
                         ids=["surface", "ribbon_slim", "ribbon_deep"])
def test_radius_stays_in_its_band_and_reaches_its_ends(rows, radius, low, high, every_row_falls):
    least = {}
    for name in rows:
        radii = [radius(s) for s in table(name)]
        assert low - TOLERANCE <= min(radii) and max(radii) <= high + TOLERANCE, (name, min(radii), max(radii))
        assert abs(max(radii) - high) <= TOLERANCE, name
        least[name] = min(radii)
    falls = [abs(r - low) <= TOLERANCE for r in least.values()]
    assert all(falls) if every_row_falls else any(falls), least
