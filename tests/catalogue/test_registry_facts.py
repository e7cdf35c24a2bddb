"""Facts about the complete built-in catalogue as a whole: how many patterns
each collection holds and where, the spread of periods and dimensions, the
bounds on names and descriptions, the sorted index ends and each
collection's peak magnitude."""

from collections import Counter

import kinetrope
import pytest
from builtin_tables import declared_patterns, registry_rows, table
from formula_table import FORMULA_NAMES

COLLECTIONS = [  # name, first registry position, pattern count, largest magnitude
    ("initial", 0, 28, 1.0),
    ("expansion", 28, 24, 0.85),
    ("atlas", 52, 256, 0.82),
    ("continuum", 308, 320, 0.82),
    ("club", 628, 144, 0.7464),
    ("dancefloor", 772, 944, 0.92),
]
PERIODS = {512: 1304, 1024: 307, 256: 41, 768: 17, 352: 6, 416: 6, 448: 6, 224: 5, 288: 5, 480: 5,
           320: 4, 384: 4, 160: 3, 544: 1, 608: 1, 640: 1}
DIMENSIONS = {3: 1366, 2: 321, 1: 29}
TABLE_BYTES = 24_549_888


def positions_of(collection):
    return [i for i, (c, _) in enumerate(declared_patterns()) if c == collection]


def test_registry_holds_1716_patterns_and_1731_catalogue_rows():
    assert len(registry_rows()) == 1716
    rows = kinetrope.catalogue()
    assert len(rows) == 1731
    assert rows[15]["name"] == "lfo_breathe" and rows[1730]["name"] == "beat_dembow_push_ricochet"


@pytest.mark.parametrize("collection, first, count, _peak", COLLECTIONS)
def test_each_collection_sits_at_its_registry_positions(collection, first, count, _peak):
    assert positions_of(collection) == list(range(first, first + count))


def test_period_and_dimension_histograms():
    rows = registry_rows()
    assert Counter(r["period_pips"] for r in rows) == PERIODS
    assert Counter(r["dimensions"] for r in rows) == DIMENSIONS
    assert sum(r["period_pips"] for r in rows) * 24 == TABLE_BYTES


def test_name_lengths_span_8_to_32_bytes_and_no_name_repeats_or_shadows_a_formula():
    names = [r["name"] for r in registry_rows()]
    lengths = [len(n.encode()) for n in names]
    assert min(lengths) >= 8 and max(lengths) <= 32
    assert len(set(names)) == len(names)
    assert not set(names) & set(FORMULA_NAMES)


def test_description_lengths_reach_both_ends():
    lengths = [len(r["description"].encode()) for r in registry_rows()]
    assert (min(lengths), max(lengths)) == (43, 235)


def test_only_em_and_en_dashes_are_non_ascii_and_each_appears_as_counted():
    descriptions = [r["description"] for r in registry_rows()]
    assert sum("\u2014" in d for d in descriptions) == 1088
    assert sum("\u2013" in d for d in descriptions) == 4
    assert {c for d in descriptions for c in d if not c.isascii()} == {"\u2013", "\u2014"}


def test_sorted_index_starts_and_ends_at_the_stated_names():
    names = sorted(r["name"].encode() for r in registry_rows())
    assert names[0] == b"accent_walk_10_3" and names[-1] == b"weave_5_9"
    for name in (names[0], names[-1]):
        assert kinetrope.sample(name, 0).as_tuple() == kinetrope.sample(name.decode(), 0).as_tuple()


@pytest.mark.parametrize("collection, _first, _count, peak", COLLECTIONS)
def test_largest_magnitude_per_collection(collection, _first, _count, peak):
    names = [name for c, name in declared_patterns() if c == collection]
    assert max(abs(v) for name in names for sample in table(name) for v in sample) == peak
