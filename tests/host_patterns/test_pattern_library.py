import gc
import math
from decimal import Decimal

import kinetrope
import pytest
from kinetrope import PatternLibrary, SampledPattern

from formula_table import INT32_MIN
from host_data import assert_refused_without_leftover, raises_exactly, ramp

TOO_MANY = "Too many patterns"
TOO_LARGE = "Pattern pack is too large"
KEYS = ["name", "description", "period_pips", "dimensions"]


def builtin_row(name):
    return next(row for row in kinetrope.catalogue() if row["name"] == name)


def builtin_samples(name):
    return [kinetrope.sample(name, pip).as_tuple() for pip in range(builtin_row(name)["period_pips"])]


def builtin_copy(name, samples=None, description=None):
    """A host pattern rebuilt from a built-in's own samples and catalogue row."""
    row = builtin_row(name)
    return SampledPattern(name, row["description"] if description is None else description,
                          builtin_samples(name) if samples is None else samples)


def one_bit_off(value):
    return math.nextafter(value, 0.0) if value != 0.0 else 5e-324


@pytest.fixture(scope="module")
def full_pack():
    """1024 patterns of 1024 samples: both limits exactly met."""
    samples = ramp(1024)
    return [SampledPattern(f"p{i}", "", samples) for i in range(1024)]


@pytest.fixture(scope="module")
def sixteen_longest():
    """Sixteen patterns of 65535 samples, 1048560 in all: 16 short of the budget."""
    samples = [(0.0, 0.0, 0.0)] * 65535
    return [SampledPattern(f"long{i}", "", samples) for i in range(16)]


def test_members_in_registration_order_without_docstrings():
    members = [name for name in vars(PatternLibrary) if not name.startswith("_")]
    assert members == ["sample", "catalogue"]
    assert PatternLibrary.__doc__ is None
    assert PatternLibrary.sample.__doc__.strip() == (
        "sample(self: kinetrope.PatternLibrary, name: str, pip_count: int) -> kinetrope.Offset3")
    assert PatternLibrary.catalogue.__doc__.strip() == "catalogue(self: kinetrope.PatternLibrary) -> list"
    assert "patterns: collections.abc.Sequence[kinetrope.SampledPattern] = []" in PatternLibrary.__init__.__doc__


@pytest.mark.parametrize("make", [PatternLibrary, lambda: PatternLibrary(patterns=[])])
def test_empty_library_answers_as_the_builtins(make):
    library = make()
    assert library.catalogue() == kinetrope.catalogue()
    for name in ("bounce", "five_stroke_roll", "lfo_breathe", "groove_a_played"):
        for pip in (0, 300, -1, INT32_MIN):
            assert library.sample(name, pip).as_tuple() == kinetrope.sample(name, pip).as_tuple()


@pytest.mark.parametrize("patterns", [None, [None], [SampledPattern("a", "", [(0, 0, 0)]), 3]])
def test_constructor_refuses_anything_but_patterns(patterns):
    with pytest.raises(TypeError):
        PatternLibrary(patterns)


def test_a_generator_of_patterns_is_converted():
    given = (SampledPattern(name, "", ramp(2)) for name in ("a", "b"))
    assert [r["name"] for r in PatternLibrary(given).catalogue()[-2:]] == ["a", "b"]


def test_given_patterns_stay_unchanged_and_usable():
    p = SampledPattern("own", "mine", ramp(100))
    library = PatternLibrary([p])
    assert (p.name, p.description, p.period_pips) == ("own", "mine", 100)
    assert p.sample(250).as_tuple() == library.sample("own", 250).as_tuple() == ramp(100)[50]
    assert PatternLibrary([p]).sample("own", 1).x == p.sample(1).x


def test_library_outlives_the_patterns_it_was_given():
    # Names and descriptions past the short-string buffer and within it.
    names = ["a" * 40, "b"]
    given = [SampledPattern(name, name.upper() * 2, ramp(3)) for name in names]
    library = PatternLibrary(given)
    del given
    gc.collect()
    assert [(r["name"], r["description"]) for r in library.catalogue()[-2:]] == [(n, n.upper() * 2) for n in names]
    assert library.sample("a" * 40, 2).x == ramp(3)[2][0]


@pytest.mark.parametrize("pip, index", [(0, 0), (99, 99), (100, 0), (250, 50), (-1, 99), (-2, 98), (INT32_MIN, 52)])
def test_own_pattern_wraps_by_its_own_length(pip, index):
    library = PatternLibrary([SampledPattern("short", "", ramp(7)), SampledPattern("own", "", ramp(100))])
    assert library.sample("own", pip).as_tuple() == ramp(100)[index]


def test_other_names_fall_back_to_the_builtin_lookup():
    library = PatternLibrary([SampledPattern("own", "", ramp(4))])
    for name in ("bounce", "lfo_breathe"):
        assert library.sample(name, 300).as_tuple() == kinetrope.sample(name, 300).as_tuple()
    for unknown in ("ow", "own_", "Own", "own ", "", "nope"):
        with raises_exactly(ValueError, f"Unknown dance rudiment: {unknown}"):
            library.sample(unknown, 0)


@pytest.mark.parametrize("pip", [2.0, Decimal("3")])
def test_sample_pip_is_strict(pip):
    library = PatternLibrary([SampledPattern("own", "", ramp(4))])
    assert library.sample(name="own", pip_count=2).x == 0.5
    with pytest.raises(TypeError):
        library.sample("own", pip)


def test_catalogue_lists_builtins_then_own_rows_in_given_order():
    given = [
        SampledPattern("zeta", "last letter", ramp(5)),
        SampledPattern("alpha", "", [(0, 0, 0), (0, 0.5, 0)]),
        SampledPattern("mid", "", [(0, 0, 0), (0, 0, -0.5)]),
    ]
    rows = PatternLibrary(given).catalogue()
    builtins = kinetrope.catalogue()
    assert rows[: len(builtins)] == builtins
    assert rows[len(builtins):] == [
        {"name": "zeta", "description": "last letter", "period_pips": 5, "dimensions": 1},
        {"name": "alpha", "description": "", "period_pips": 2, "dimensions": 2},
        {"name": "mid", "description": "", "period_pips": 2, "dimensions": 3},
    ]
    assert all(type(row) is dict and list(row) == KEYS for row in rows)


def test_undecodable_description_fails_only_when_listed():
    library = PatternLibrary([SampledPattern("own", b"\xff", ramp(4))])
    assert library.sample("own", 1).x == 0.25
    with pytest.raises(UnicodeDecodeError):
        library.catalogue()


def test_full_pack_at_both_limits_is_accepted(full_pack):
    library = PatternLibrary(full_pack)
    rows = library.catalogue()
    assert len(rows) == len(kinetrope.catalogue()) + 1024
    assert (rows[-1]["name"], rows[-1]["period_pips"]) == ("p1023", 1024)
    assert library.sample("p1023", 1023 + 1024).x == 1023 / 1024


def test_one_pattern_too_many_is_refused_before_anything_else(full_pack):
    # The extra pattern is also a duplicate and over the sample budget.
    with raises_exactly(ValueError, TOO_MANY):
        PatternLibrary(full_pack + [full_pack[0]])
    with raises_exactly(ValueError, TOO_MANY):
        PatternLibrary([builtin_copy("bounce", description="changed")] + full_pack)


@pytest.mark.parametrize("last_count, message", [(16, None), (17, TOO_LARGE)])
def test_sample_budget_edge(sixteen_longest, last_count, message):
    patterns = sixteen_longest + [SampledPattern("last", "", ramp(last_count))]
    if message is None:
        assert PatternLibrary(patterns).catalogue()[-1]["period_pips"] == 16
    else:
        with raises_exactly(ValueError, message):
            PatternLibrary(patterns)


@pytest.mark.parametrize(
    "last, message",
    [
        (lambda: SampledPattern("long0", "", ramp(17)), "Duplicate pattern name: long0"),
        (lambda: builtin_copy("lfo_breathe"), TOO_LARGE),
        (lambda: builtin_copy("bounce", description="changed"), TOO_LARGE),
    ],
    ids=["duplicate-before-budget", "dropped-copy-still-counts", "budget-before-override"],
)
def test_budget_check_in_order(sixteen_longest, last, message):
    with raises_exactly(ValueError, message):
        PatternLibrary(sixteen_longest + [last()])


@pytest.mark.parametrize("name", ["bounce", "five_stroke_roll", "lfo_breathe", "groove_a_played", "path_torus_knot"])
def test_exact_copy_of_a_builtin_is_accepted_and_dropped(name):
    own = SampledPattern("own", "", ramp(3))
    library = PatternLibrary([own, builtin_copy(name)])
    rows = library.catalogue()
    assert len(rows) == len(kinetrope.catalogue()) + 1
    assert [r["name"] for r in rows].count(name) == 1
    assert rows[-1]["name"] == "own"
    assert library.sample(name, -5).as_tuple() == kinetrope.sample(name, -5).as_tuple()


def test_negative_zero_in_a_copy_compares_equal_to_zero():
    samples = [(x, -0.0 if y == 0.0 else y, z) for x, y, z in builtin_samples("lfo_breathe")]
    assert len(PatternLibrary([builtin_copy("lfo_breathe", samples)]).catalogue()) == len(kinetrope.catalogue())


def test_second_exact_copy_is_a_duplicate():
    with raises_exactly(ValueError, "Duplicate pattern name: lfo_breathe"):
        PatternLibrary([builtin_copy("lfo_breathe"), builtin_copy("lfo_breathe")])


def changed_component(name, pip, axis):
    samples = builtin_samples(name)
    triple = list(samples[pip])
    triple[axis] = one_bit_off(triple[axis])
    samples[pip] = tuple(triple)
    return builtin_copy(name, samples)


def doubled_period(name):
    # Sampling wraps, so every pip still matches the built-in; only the period differs.
    return builtin_copy(name, builtin_samples(name) * 2)


@pytest.mark.parametrize(
    "make",
    [
        *[lambda pip=pip, axis=axis: changed_component("path_torus_knot", pip, axis)
          for pip in (0, 1023) for axis in range(3)],
        lambda: changed_component("bounce", 63, 2),
        lambda: builtin_copy("groove_a_played", description=builtin_row("groove_a_played")["description"] + " "),
        lambda: builtin_copy("bounce", description=""),
        lambda: builtin_copy("lfo_breathe", builtin_samples("lfo_breathe")[:-1]),
        lambda: doubled_period("lfo_breathe"),
        lambda: SampledPattern("circle", "mine", ramp(64)),
    ],
    ids=[*[f"bit-pip{pip}-axis{axis}" for pip in (0, 1023) for axis in range(3)], "bit-formula-z",
         "description", "description-formula", "period-shorter", "period-doubled", "unrelated"],
)
def test_any_difference_from_a_builtin_is_refused(make):
    pattern = make()
    with raises_exactly(ValueError, f"Cannot override default pattern: {pattern.name}"):
        PatternLibrary([SampledPattern("own", "", ramp(3)), pattern])


@pytest.mark.parametrize(
    "patterns, message",
    [
        (["a", "bad", "a"], "Cannot override default pattern: lfo_breathe"),
        (["a", "a", "bad"], "Duplicate pattern name: a"),
        (["bad", "bad"], "Cannot override default pattern: lfo_breathe"),
    ],
)
def test_first_offending_pattern_decides(patterns, message):
    made = {"a": SampledPattern("a", "", ramp(2)), "bad": builtin_copy("lfo_breathe", description="")}
    with raises_exactly(ValueError, message):
        PatternLibrary([made[key] for key in patterns])


def test_failed_constructor_leaves_no_object():
    twice = [SampledPattern("a", "", ramp(2))] * 2
    assert_refused_without_leftover(PatternLibrary, (twice,), ValueError, "Duplicate pattern name: a")
