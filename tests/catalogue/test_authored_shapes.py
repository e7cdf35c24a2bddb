"""The shape constraints that the authored families of atlas and continuum
state in words: radius bands, bands an axis keeps, the directions their
names promise, and siblings that can be told apart. A later change to a
fit or a shape that breaks one of them fails here."""

import itertools
import math
import re

import pytest
from builtin_tables import axis, registry_rows, table

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


# Rows whose name or description names a vertical direction, with positive y
# up: "down"/"up" rows spend their loop below/above the centre; "climbs" rows
# rise from their start all the way to their highest point before they fall.
DIRECTIONS = {
    "gesture_low_scoop": "down", "gesture_duck_sway": "down", "gesture_bow_turn": "down",
    "gesture_high_arc": "up", "gesture_hop_answer": "up", "gesture_zigzag_lift": "climbs",
    "mech_cam_return": "climbs", "spline_rising_kite": "climbs", "spline_scoop": "down",
    **{f"reach_scoop_{n}": "down" for n in (3, 4, 5, 7)},
}
# Rows whose direction word is not about y: given keyframe and gesture
# tables, x-only waves, the x contour of a sequence, a lift the family states
# as depth, the z extent of a surface; the dwell phrases' lifts are held below.
DIRECTION_WORDS_ELSEWHERE = ("env_", "necklace_", "wave_", "seq_up_down_", "reach_lift_", "surface_",
                             "dwell_phrase_")
DIRECTION_WORD = re.compile(r"\b(lift|rise|rising|high|low|hop|duck|drop|scoop|dip|up|down)", re.I)


def test_every_row_naming_a_direction_is_held_to_it():
    atlas_and_continuum = registry_rows()[52:628]
    named = {r["name"] for r in atlas_and_continuum
             if DIRECTION_WORD.search(r["name"].replace("_", " ") + " " + r["description"])}
    assert named - set(DIRECTIONS) == {n for n in named if n.startswith(DIRECTION_WORDS_ELSEWHERE)}


@pytest.mark.parametrize("name, sense", DIRECTIONS.items())
def test_row_moves_the_way_its_word_says(name, sense):
    y = axis(name, 1)
    if sense == "climbs":
        top = y.index(max(y))
        assert all(v >= y[0] - 1e-9 for v in y[: top + 1]) and y[top] - y[0] >= 0.5 * (max(y) - min(y))
    else:
        assert (1 if sense == "up" else -1) * sum(y) / len(y) >= 0.05


def holds(samples, shortest=40):
    runs, start = [], 0
    for p in range(1, len(samples) + 1):
        if p == len(samples) or samples[p] != samples[start]:
            if p - start >= shortest:
                runs.append(samples[start])
            start = p
    return runs


@pytest.mark.parametrize("name", [f"dwell_phrase_{n:02}" for n in range(1, 17)])
def test_dwell_phrases_lift_above_their_rest(name):
    first, second, rest = holds(table(name))
    assert first[1] > rest[1] and second[1] > rest[1]


def rms_apart(a, b):
    return math.sqrt(sum((p - q) ** 2 for s, t in zip(a, b) for p, q in zip(s, t)) / (3 * len(a)))


EXACT_SEQ = {f"seq_{c}_even" for c in ("pendulum", "octave", "ratchet", "stairs")}
ATLAS, CONTINUUM = NAMES[52:308], NAMES[308:628]
# Rows each family authors itself (fully specified siblings are left out).
SIBLINGS = {
    "wave": ["wave_soft_rectifier", "wave_scoop_warp", "wave_shelf_wave", "wave_warped_fold"],
    "seq": [n for n in ATLAS if n.startswith("seq_") and n not in EXACT_SEQ],
    "mech": [f"mech_{m}" for m in ("offset_crank", "whitworth", "elliptic_cam", "escapement", "rocking_beam",
                                   "crank_rocker", "cam_return")],
    **{family: [n for n in ATLAS if n.startswith(family + "_")] for family in ("noise", "gesture")},
    **{family: [n for n in CONTINUUM if n.startswith(family + "_")]
       for family in ("ribbon", "contour_shaped", "spline", "tour", "scan", "reach", "surface", "braid",
                      "arm_coupled", "dwell_phrase", "packet", "canon")},
}


@pytest.mark.parametrize("family", SIBLINGS)
def test_authored_siblings_differ_visibly(family):
    rows = {name: table(name) for name in SIBLINGS[family]}
    assert len(rows) >= 4
    for a, b in itertools.combinations(rows, 2):
        apart = rms_apart(rows[a], rows[b])
        if family == "canon":
            # Sparse gestures of the shared vocabulary: a whole canon is only
            # about 0.053 RMS from rest, so siblings are held to half of that.
            assert apart >= 0.5 * min(rms_apart(rows[n], [(0, 0, 0)] * len(rows[n])) for n in (a, b)), (a, b)
        else:
            assert apart >= 0.05, (a, b, apart)


def held(value, quoted):
    """Shown to the quoted number of decimals, the value is the quoted one."""
    decimals = len(quoted.split(".")[1])
    return abs(value - float(quoted)) <= 0.5 * 10**-decimals + 1e-12


def z_reach(name):
    return max(abs(s[2]) for s in table(name))


def test_ribbons_and_surfaces_keep_their_stated_depth():
    assert all(z_reach(f"ribbon_{p}_slim") <= 0.06 + TOLERANCE for p in PAIRS)
    assert all(held(z_reach(f"ribbon_{p}_deep"), "0.258") for p in PAIRS)
    assert held(z_reach("surface_1_2_low"), "0.387") and held(z_reach("surface_2_3_wide"), "0.673")
    assert all(z_reach(f"surface_{p}_low") < z_reach(f"surface_{p}_wide") for p in PAIRS)


@pytest.mark.parametrize("name", [n for n in CONTINUUM if n.startswith("spline_")])
def test_splines_keep_a_continuous_tangent_across_the_loop(name):
    samples = table(name)
    bends = [math.dist([2 * b - a - c for a, b, c in zip(*triple)], (0, 0, 0))
             for triple in zip(samples[-1:] + samples[:-1], samples, samples[1:] + samples[:1])]
    assert bends[0] <= 1.5 * max(bends[1:])
