"""Rules every table-backed built-in pattern obeys, checked on each one."""

import itertools
import math
import random
import re

import kinetrope
import pytest
from builtin_tables import registry_rows, table
from formula_table import FORMULA_NAMES, INT32_MAX, INT32_MIN

ROWS = {row["name"]: row for row in registry_rows()}
NAMES = list(ROWS)
NAME_RULE = re.compile(r"[a-z][a-z0-9_]{7,31}")
DASHES = {"\u2013", "\u2014"}


def is_stored_value(v):
    """Finite, in [-1, 1], the double nearest a whole multiple of 1e-12, not -0.0."""
    return (
        math.isfinite(v)
        and -1.0 <= v <= 1.0
        and round(v * 1e12) / 1e12 == v
        and not (v == 0.0 and math.copysign(1.0, v) < 0)
    )


def active_dimensions(samples):
    for axis in (2, 1, 0):
        if any(s[axis] != 0.0 for s in samples):
            return axis + 1
    return 0


@pytest.mark.parametrize("name", NAMES)
def test_name_and_description_follow_the_rules(name):
    assert NAME_RULE.fullmatch(name) and name not in FORMULA_NAMES
    description = ROWS[name]["description"]
    assert 43 <= len(description.encode()) <= 235
    assert {c for c in description if not c.isascii()} <= DASHES


@pytest.mark.parametrize("name", NAMES)
def test_every_value_is_a_rounded_finite_coordinate_in_range(name):
    samples = table(name)
    assert len(samples) == ROWS[name]["period_pips"]
    bad = [(pip, s) for pip, s in enumerate(samples) if not all(map(is_stored_value, s))]
    assert not bad


@pytest.mark.parametrize("name", NAMES)
def test_dimension_count_is_the_highest_moving_axis(name):
    assert active_dimensions(table(name)) == ROWS[name]["dimensions"]


@pytest.mark.parametrize("name", NAMES)
def test_table_closes_as_a_loop(name):
    samples = table(name)
    steps = [math.dist(a, b) for a, b in itertools.pairwise(samples)]
    assert math.dist(samples[-1], samples[0]) <= max(steps, default=0.0)


@pytest.mark.parametrize("name", NAMES)
def test_sampling_wraps_by_the_period_over_the_32_bit_range(name):
    samples, period = table(name), ROWS[name]["period_pips"]
    rng = random.Random(name)
    pips = [INT32_MIN, INT32_MIN + 1, -period, -1, period, period + 1, INT32_MAX - 1, INT32_MAX]
    pips += [rng.randint(INT32_MIN, INT32_MAX) for _ in range(20)]
    assert [kinetrope.sample(name, pip).as_tuple() for pip in pips] == [samples[pip % period] for pip in pips]
