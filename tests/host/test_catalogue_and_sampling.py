"""The companion's catalogue (collection, family, names, search) and its
sampling around kinetrope.sample (whole period, between pips, past 32 bits)."""

import collections
import math

import kinetrope
import pytest
from builtin_tables import declared_patterns
from kinetrope_host import catalogue, sampling
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError
from optional import need

ROWS = catalogue.rows()
# A few of every kind: formula moves and rudiments, each collection's first and last.
SOME = sorted({ROWS[i].name for i in (0, 6, 8, 14, 15, 42, 52, 67, 307, 308, 627, 628, 771, 772, 1730)})


def test_rows_are_the_modules_listing_with_the_headers_collections():
    assert [(r.name, r.description, r.period_pips, r.dimensions) for r in ROWS] == \
        [tuple(row.values()) for row in kinetrope.catalogue()]
    declared = dict((name, collection) for collection, name in declared_patterns())
    assert {r.name: r.collection for r in ROWS if r.collection != "formula"} == declared
    assert [r.name for r in ROWS if r.collection == "formula"] == [r["name"] for r in kinetrope.catalogue()[:15]]


def test_families_are_whole_named_groups():
    families = collections.Counter((r.collection, r.family) for r in ROWS)
    # Every row's name carries its family, and the systematic families have their sizes.
    for r in ROWS:
        if r.collection in ("atlas", "continuum", "initial", "expansion"):
            assert r.name.startswith(r.family + "_"), r
        elif r.collection in ("club", "dancefloor"):
            assert r.name.startswith("beat_") and r.name.endswith("_" + r.family), r
    assert {n for (c, _), n in families.items() if c == "continuum"} == {16}
    assert sorted(n for (c, _), n in families.items() if c == "atlas") == [8] * 6 + [16] * 13
    assert families[("club", "orbit")] == 36 and families[("dancefloor", "orbit")] == 32
    assert families[("dancefloor", "ricochet")] == 68
    assert families[("formula", "move")] == 8 and families[("formula", "rudiment")] == 7
    assert catalogue.row("orbit_harmonic_03").family == "orbit_harmonic"
    assert catalogue.row("polar_scallop_4").family == "polar_scallop"


@pytest.mark.parametrize(
    "name, suggested",
    [("Helix", ["helix"]), ("heliks", ["helix"]), ("lfo_breath", ["lfo_breathe"]),
     ("beat_amen_orbit", None), ("xyzzy_qqq", [])],
)
def test_unknown_names_are_refused_with_the_nearest(name, suggested):
    with pytest.raises(UserError) as raised:
        catalogue.resolve(name)
    message = str(raised.value)
    assert message.startswith(f"Unknown dance rudiment: {name}")
    if suggested == []:
        assert "did you mean" not in message
    else:
        near = catalogue.suggestions(name)
        assert near and all(catalogue.row(n) for n in near)
        if suggested:
            assert near[0] == suggested[0]
        assert message.endswith(f"(did you mean {', '.join(near)}?)")


def test_search_matches_every_word_anywhere_in_the_row():
    found = catalogue.search("Amen  ORBIT")
    text = [f"{r.name} {r.description} {r.family}".lower() for r in found]
    assert all("amen" in t and "orbit" in t for t in text)
    amen_orbits = [r for r in ROWS if "amen" in r.name and r.family == "orbit"]
    assert amen_orbits and set(amen_orbits) < set(found)
    assert [r.name for r in catalogue.search(["torus", "knot"], collection="expansion")] == ["path_torus_knot"]
    assert catalogue.search("", collection="formula") == list(ROWS[:15])
    assert catalogue.search("no-such-word") == []
    with pytest.raises(UserError, match="unknown collection: Club"):
        catalogue.search("x", collection="Club")


@pytest.mark.parametrize("name", SOME)
def test_whole_period_is_the_table(name):
    period = catalogue.row(name).period_pips
    values = sampling.whole_period(name)
    assert values == [kinetrope.sample(name, pip).as_tuple() for pip in range(period)]
    numpy = need("numpy")
    array = sampling.whole_period_array(name)
    assert array.shape == (period, 3) and array.dtype == numpy.float64
    assert array.tolist() == [list(v) for v in values]


@pytest.mark.parametrize("name", SOME)
def test_between_pips_the_offset_is_linear_and_exact_on_the_grid(name):
    period = catalogue.row(name).period_pips
    for pip in (-1, 0, 37, period - 1, period):
        here = kinetrope.sample(name, pip).as_tuple()
        there = kinetrope.sample(name, pip + 1).as_tuple()
        assert sampling.sample_at(name, float(pip)) == here
        for fraction in (0.25, 0.5, 0.875):
            got = sampling.sample_at(name, pip + fraction)
            assert got == pytest.approx([a + (b - a) * fraction for a, b in zip(here, there)], abs=1e-15)
    assert sampling.sample_at_beat(name, 1.5) == sampling.sample_at(name, 96.0)
    tempo = TempoMap.constant(60)
    assert sampling.sample_at_seconds(name, 2.25, tempo) == kinetrope.sample(name, 144).as_tuple()


def test_a_fast_display_at_a_slow_tempo_moves_every_frame():
    # 144 frames a second at 60 BPM is 0.44 pips a frame: the grid alone would repeat values.
    tempo = TempoMap.constant(60)
    xs = [sampling.sample_at_seconds("lfo_breathe", frame / 144, tempo)[0] for frame in range(1, 144)]
    assert all(a != b for a, b in zip(xs, xs[1:]))


@pytest.mark.parametrize("name", SOME)
def test_past_the_32_bit_range_every_pattern_stays_periodic(name):
    period = catalogue.row(name).period_pips
    for far in (2**31, 2**31 + 7, -(2**31) - 1, 2**40 + 3, -(2**45)):
        reduced = far % period
        assert sampling.sample_at(name, float(far)) == kinetrope.sample(name, reduced).as_tuple()
        assert sampling.sample_at(name, far + 0.5) == sampling.sample_at(name, reduced + 0.5)


def test_sampling_refuses_what_has_no_position():
    with pytest.raises(UserError, match="did you mean helix"):
        sampling.sample_at("helx", 0.0)
    with pytest.raises(ValueError, match="pip is not finite"):
        sampling.sample_at("helix", math.nan)
