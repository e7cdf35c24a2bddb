import math
from decimal import Decimal

import pytest
from kinetrope import SampledPattern

from formula_table import INT32_MAX, INT32_MIN
from host_data import assert_refused_without_leftover, raises_exactly, ramp

BAD_NAME = "Invalid pattern name"
BAD_COUNT = "A pattern requires 1..65535 samples (one per pip)"
BAD_VALUE = "Pattern samples must be finite and within [-1, 1]"

ORIGIN = (0.0, 0.0, 0.0)


@pytest.fixture(scope="module")
def too_many_samples():
    return [ORIGIN] * 65536


def test_members_in_registration_order_without_docstrings():
    members = [name for name in vars(SampledPattern) if not name.startswith("_")]
    assert members == ["name", "description", "period_pips", "sample"]
    assert SampledPattern.__doc__ is None
    assert SampledPattern.sample.__doc__.strip().startswith("sample(self: kinetrope.SampledPattern, pip_count: int)")
    assert '"FixedSize(3)"' in SampledPattern.__init__.__doc__


def test_properties_read_back_and_cannot_be_set():
    p = SampledPattern("wave", "a gentle wave", ramp(3))
    assert (p.name, p.description, p.period_pips) == ("wave", "a gentle wave", 3)
    for attribute in ("name", "description", "period_pips", "extra"):
        with pytest.raises(AttributeError):
            setattr(p, attribute, "x")
    assert (p.name, p.period_pips) == ("wave", 3)


@pytest.mark.parametrize("name", ["a", "a_b9", "z" * 128, "x0_", b"abc"])
def test_valid_names_are_accepted(name):
    assert SampledPattern(name, "", [ORIGIN]).name == (name.decode() if isinstance(name, bytes) else name)


@pytest.mark.parametrize("name", ["", "a" * 129, "Abc", "1abc", "_x", "a-b", "a b", "a.b", "café", "ab\x00"])
def test_invalid_names_are_refused(name):
    with raises_exactly(ValueError, BAD_NAME):
        SampledPattern(name, "", [ORIGIN])


def test_sample_count_limits(too_many_samples):
    assert SampledPattern("full", "", too_many_samples[:-1]).period_pips == 65535
    for samples in (too_many_samples, []):
        with raises_exactly(ValueError, BAD_COUNT):
            SampledPattern("p", "", samples)


@pytest.mark.parametrize("value", [-1.0, 1.0, -0.0, 5e-324])
@pytest.mark.parametrize("axis", range(3))
def test_components_at_the_edges_are_accepted(axis, value):
    triple = [0.0, 0.0, 0.0]
    triple[axis] = value
    assert SampledPattern("p", "", [ORIGIN, triple]).sample(1).as_tuple()[axis] == value


@pytest.mark.parametrize("value", [math.nextafter(1.0, 2.0), math.nextafter(-1.0, -2.0), math.nan, math.inf, -math.inf])
@pytest.mark.parametrize("axis", range(3))
def test_components_out_of_range_are_refused(axis, value):
    triple = [0.0, 0.0, 0.0]
    triple[axis] = value
    with raises_exactly(ValueError, BAD_VALUE):
        SampledPattern("p", "", [ORIGIN, ORIGIN, triple])


def test_checks_run_in_order(too_many_samples):
    with raises_exactly(ValueError, BAD_NAME):
        SampledPattern("Bad", "", [])
    with raises_exactly(ValueError, BAD_COUNT):
        SampledPattern("p", "", too_many_samples[:-1] + [(math.nan, 0, 0)])


@pytest.mark.parametrize(
    "pip, index",
    [(0, 0), (99, 99), (100, 0), (250, 50), (-1, 99), (-2, 98), (-100, 0), (INT32_MIN, 52), (INT32_MAX, 47)],
)
def test_sampling_wraps_by_the_sample_count(pip, index):
    samples = ramp(100)
    assert SampledPattern("p", "", samples).sample(pip).as_tuple() == samples[index]


@pytest.mark.parametrize("pip", [2.0, Decimal("3"), "3", None, INT32_MAX + 1, INT32_MIN - 1])
def test_sample_pip_is_strict(pip):
    with pytest.raises(TypeError):
        SampledPattern("p", "", ramp(4)).sample(pip)


def test_sample_pip_takes_bool_and_index():
    class Index:
        def __index__(self):
            return 3

    p = SampledPattern("p", "", ramp(4))
    assert p.sample(True).x == 0.25
    assert p.sample(Index()).x == 0.75
    assert p.sample(pip_count=2).x == 0.5


@pytest.mark.parametrize(
    "samples",
    [
        [(0, 0, 0), (1, -1, 0)],
        ((0, 0, 0), (1, -1, 0)),
        [[0, 0, 0], [True, -1, 0.0]],
        (t for t in [(0, 0, 0), (1, -1, 0)]),
        {(0, 0, 0): None, (1, -1, 0): None}.keys(),
        [(Decimal(0), 0, 0), (Decimal(1), -1, 0)],
    ],
    ids=["list-of-tuples", "tuple", "lists-ints-bool", "generator", "dict-keys", "decimals"],
)
def test_constructor_converts_sequences_and_numbers(samples):
    p = SampledPattern("p", "", samples)
    assert [p.sample(i).as_tuple() for i in range(2)] == [(0.0, 0.0, 0.0), (1.0, -1.0, 0.0)]


@pytest.mark.parametrize(
    "samples",
    [[(0, 0)], [(0, 0, 0, 0)], "abc", {ORIGIN: None}, [ORIGIN, None], [("0", 0, 0)], None],
    ids=["pair", "quad", "str", "dict", "none-row", "str-value", "none"],
)
def test_constructor_refuses_unconvertible_samples(samples):
    with pytest.raises(TypeError):
        SampledPattern("p", "", samples)


def test_description_bytes_are_kept_undecoded_until_read():
    p = SampledPattern("p", b"\xff", [ORIGIN])
    assert p.period_pips == 1
    with pytest.raises(UnicodeDecodeError):
        p.description


def test_failed_constructor_leaves_no_object():
    assert_refused_without_leftover(SampledPattern, ("p", "", [(2, 0, 0)]), ValueError, BAD_VALUE)
