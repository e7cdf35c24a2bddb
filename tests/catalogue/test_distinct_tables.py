"""Every built-in table is its own: no copies anywhere, and no two beat rows
of the same motion that a viewer could not tell apart."""

import math
from collections import defaultdict
from functools import cache
from itertools import combinations

from beat_rows import MOTIONS
from builtin_tables import registry_rows, table

NEAREST = 0.02  # RMS over every pip and axis


def flat(name):
    return [v for sample in table(name) for v in sample]


def rms_distances(names):
    """RMS distance of every pair, from norms and dot products so the whole
    catalogue stays quick without array libraries."""
    rows = {n: flat(n) for n in names}
    norms = {n: math.fsum(v * v for v in r) for n, r in rows.items()}
    for a, b in combinations(names, 2):
        dot = math.fsum(map(float.__mul__, rows[a], rows[b]))
        yield max(norms[a] + norms[b] - 2.0 * dot, 0.0) / len(rows[a]), a, b


def test_no_two_builtin_tables_are_identical():
    seen = defaultdict(list)
    for row in registry_rows():
        seen[table(row["name"])].append(row["name"])
    copies = [names for names in seen.values() if len(names) > 1]
    assert not copies, f"{len(copies)} groups of identical tables, e.g. {copies[:5]}"


@cache
def same_motion_distances():
    """(RMS distance, name, name) of every pair of beat rows sharing a motion
    and a period, closest first."""
    groups = defaultdict(list)
    for row in registry_rows():
        for suffix, *_ in MOTIONS:
            if row["name"].startswith("beat_") and row["name"].endswith("_" + suffix):
                groups[suffix, row["period_pips"]].append(row["name"])
    assert len(groups) == 16 * 4  # periods 256, 512, 768 and 1024
    return sorted((math.sqrt(d2), a, b) for names in groups.values() for d2, a, b in rms_distances(names))


def test_same_motion_beat_rows_stay_apart():
    close = [pair for pair in same_motion_distances() if pair[0] < NEAREST]
    assert not close, f"{len(close)} pairs under {NEAREST} RMS; closest: {close[:8]}"
