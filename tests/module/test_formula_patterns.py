import math
import random

import kinetrope
import pytest

from formula_table import FORMULA_PATTERNS, INT32_MAX, INT32_MIN

ANY = None  # a component the case does not pin down

# (pattern, pip, expected x, y, z): every value must hold bit for bit.
KNOWN_SAMPLES = [
    ("bounce", 0, -1.0, 0.0, 0.0),
    ("bounce", 16, 0.0, 0.0, 0.0),
    ("bounce", 32, 1.0, 0.0, 0.0),
    ("bounce", -1, -0.9375, 0.0, 0.0),
    ("bounce", 63, -0.9375, 0.0, 0.0),
    ("sway", 32, 1.0, 0.0, 0.0),
    ("sway", 96, -1.0, 0.0, 0.0),
    ("circle", 0, 6.123233995736766e-17, -1.0, 0.0),
    ("circle", 16, 1.0, 0.0, 0.0),
    ("figure_eight", 32, 1.0, 1.2246467991473532e-16, 0.0),
    ("step_touch", 16, -0.5, -0.35, 0.0),
    ("step_touch", 48, 0.5, -0.35, 0.0),
    ("step_touch", 127, -0.99713134765625, ANY, 0.0),
    ("box_step", 32, 0.0, -1.0, 0.0),
    ("box_step", 128, 1.0, 1.0, 0.0),
    ("box_step", 255, -1.0, -0.9985504150390625, 0.0),
    ("helix", 0, 1.0, 0.0, 0.0),
    ("helix", 64, -1.0, ANY, 1.0),
    ("helix", 32, ANY, ANY, 0.7071067811865475),
    ("single_stroke_roll", 0, 0.0, 0.0, 0.0),
    ("single_stroke_roll", 4, 0.92, -0.6624, 0.0),
    ("single_stroke_roll", 12, -0.92, -0.6624, 0.0),
    ("single_stroke_roll", -60, 0.92, -0.6624, 0.0),
    ("double_stroke_roll", 12, 0.72, -0.5184, 0.0),
    ("single_paradiddle", 4, 1.0, -0.72, 0.0),
    ("single_paradiddle", 68, 1.0, -0.72, 0.0),
    ("five_stroke_roll", 43, 1.0, -0.72, 0.0),
    ("five_stroke_roll", 107, -1.0, -0.72, 0.0),
    ("flam", 7, -0.053103299880171206, -0.2822129843092639, 0.0),
    ("drag", 12, 0.11880157217200484, -0.15301972957846297, 0.0),
]

# Rows of the loam_background table, eased between keyframes once at load.
LOAM_ROWS = [
    (0, 0.0, 0.0),
    (23, 0.14285714285714285, -0.1),
    (28, 0.5357142857142858, -0.45000000000000007),
    (33, 0.9285714285714286, -0.8),
    (64, 0.16032116301834923, -0.19333722116926666),
    (87, -0.21428571428571425, 0.20000000000000007),
    (100, -1.0, 0.8999999999999999),
    (128, -0.2763080540858318, 0.4056927297668038),
    (255, -0.0036088172182846823, -0.005052344105598516),
]


def sample(name, pip):
    return getattr(kinetrope, name)(pip).as_tuple()


@pytest.mark.parametrize("name, pip, x, y, z", KNOWN_SAMPLES)
def test_known_samples_are_bit_exact(name, pip, x, y, z):
    got = sample(name, pip)
    for axis, (value, want) in enumerate(zip(got, (x, y, z))):
        if want is not ANY:
            assert value.hex() == float(want).hex(), f"{name}({pip}) axis {axis}"


@pytest.mark.parametrize("row, x, y", LOAM_ROWS)
def test_loam_background_rows(row, x, y):
    assert sample("loam_background", row) == (x, y, 0.0)


def test_loam_background_wraps_to_its_table():
    assert sample("loam_background", -1) == sample("loam_background", 255)
    assert sample("loam_background", 256) == (0.0, 0.0, 0.0)


@pytest.mark.parametrize("pip", [0, 32, 64, 96])
def test_step_touch_dip_starts_at_negative_zero(pip):
    y = sample("step_touch", pip)[1]
    assert y == 0.0 and math.copysign(1.0, y) == -1.0


def periodicity_pips():
    rng = random.Random(20261208)
    edges = [INT32_MIN, INT32_MIN + 1, -65537, -257, -1, 0, 1, 255, 65536, INT32_MAX - 1, INT32_MAX]
    return edges + [rng.randint(INT32_MIN, INT32_MAX) for _ in range(200)]


@pytest.mark.parametrize("name, period, dims", FORMULA_PATTERNS)
def test_every_pip_in_the_32_bit_range_wraps_into_one_period(name, period, dims):
    for pip in periodicity_pips():
        assert sample(name, pip) == sample(name, pip % period), pip


@pytest.mark.parametrize("name, period, dims", FORMULA_PATTERNS)
def test_one_period_is_finite_in_range_and_moves_only_its_axes(name, period, dims):
    rows = [sample(name, pip) for pip in range(period)]
    assert all(math.isfinite(v) and -1.0 <= v <= 1.0 for row in rows for v in row)
    active = [any(row[axis] != 0.0 for row in rows) for axis in range(3)]
    assert 1 + max(axis for axis in range(3) if active[axis]) == dims
    assert all(row[axis] == 0.0 for row in rows for axis in range(dims, 3))


@pytest.mark.parametrize("name", [n for n, _, _ in FORMULA_PATTERNS[8:]])
def test_rudiment_strokes_only_push_down(name):
    assert all(sample(name, pip)[1] <= 0.0 for pip in range(128))
