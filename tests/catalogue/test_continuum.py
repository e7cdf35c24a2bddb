"""The continuum collection: its 320 rows, the rule-bound families against
independent references, and the stated ranges, points, holds and closures
of the authored families."""

import itertools
import math

import kinetrope
import pytest
from builtin_tables import declared_patterns, registry_rows, table
from continuum_reference import (ACCENT_WALKS, BURSTS, DIALOGUES, LADDERS, GESTURES, numbers,
                                 reference_tables, signed_distance, envelope)

PAIRS = ["1_2", "1_3", "1_4", "1_5", "2_3", "2_5", "3_4", "3_5"]
SPLINES = ["kite", "hourglass", "hook", "crown", "bow", "crooked_cross", "asymmetric_star", "scoop",
           "rising_kite", "twisted_bow", "cup", "bridge", "double_bay", "slanted_loop", "fork", "folded_crown"]
TOURS = ["5_2", "7_2", "7_3", "8_3", "9_2", "9_4", "10_3", "11_2", "11_3", "11_4", "12_5", "13_2", "13_3", "13_4",
         "13_5", "14_3"]
BRAIDS = PAIRS + ["1_6", "2_7", "3_7", "4_5", "4_7", "5_6", "5_7", "5_8"]
NUMBERED = [f"{n:02}" for n in range(1, 17)]


def family_rows():
    """(family, names, period of each name, dims of each name, description), in registry order."""
    def nested(prefix, outer, inner, deep_word):
        names = [f"{prefix}_{i}_{o}" for o in outer for i in inner]
        return names, [3 if f"_{deep_word}_" in n else 2 for n in names]

    rows = []

    def add(family, names, period, dims, text):
        periods = period if isinstance(period, list) else [period] * 16
        dims = dims if isinstance(dims, list) else [dims] * 16
        rows.append((family, names, periods, dims, text))

    halves = [2] * 8 + [3] * 8
    add("ribbon", [f"ribbon_{p}_{w}" for w in ("slim", "deep") for p in PAIRS], 1024, 3,
        "A curved elliptical spine with variable radial width and linked depth deflection.")
    add("contour_shaped", [f"contour_shaped_{n}" for n in NUMBERED], 1024, halves,
        "Signed-power oval edges with local ripples and an asymmetric bow.")
    add("silhouette_harmonic", [f"silhouette_harmonic_{n}" for n in NUMBERED], 1024, 3,
        "Three unequal harmonic components, with cross-axis phases and a small linked depth term.")
    add("spline", [f"spline_{s}" for s in SPLINES], 512, halves,
        "Periodic cubic tangents connect asymmetrical controls with unequal segment times.")
    add("tour", [f"tour_{t}" for t in TOURS], 1024, halves,
        "A noncircular vertex tour with eased corners and alternating dwell lengths.")
    names, dims = nested("scan", (3, 4, 5, 6), ("flat", "bowed", "tilted", "depth"), "depth")
    add("scan", names, 1024, dims, "An eased serpentine scan and an explicit outer return to the starting point.")
    names, dims = nested("reach", (3, 4, 5, 7), ("scoop", "hook", "lift", "recoil"), "lift")
    add("reach", names, 1024, dims,
        "Separate shaped reaches depart from and settle at a shared centre, without reset jumps.")
    add("surface", [f"surface_{p}_{w}" for w in ("low", "wide") for p in PAIRS], 1024, 3,
        "A varying-radius surface path with coupled longitude and latitude; all three coordinates are retained.")
    add("braid", [f"braid_{b}" for b in BRAIDS], 1024, 3,
        "An offset tube centreline and a rolling cross-section with a second depth ripple.")
    add("arm_coupled", [f"arm_coupled_{n}" for n in NUMBERED], 1024, halves,
        "Tip position of two kinematically driven links; not a dynamics simulation or anatomical model.")
    add("dwell_phrase", [f"dwell_phrase_{n}" for n in NUMBERED], 1024, 3,
        "Two unequal lift-and-hold gestures, a transfer and a settling return; holds have finite musical duration.")
    names, dims = nested("packet", (2, 3, 4, 5), ("alternating", "cascading", "crossing", "depth"), "depth")
    add("packet", names, 512, dims,
        "Compact, smooth-edged oscillation packets arranged around a closed phrase, with shaped side motion.")
    add("canon", [f"canon_{n}_{v}" for n in NUMBERED[:8] for v in ("close", "late")], 512, 3,
        "A rational-beat motif passes between lateral and depth lanes, with an altered second-half response.")
    add("echo", [f"echo_{s}_{n}" for n in (3, 4, 5, 6) for s in ("regular", "shrinking", "expanding", "crossed")],
        512, 3, "An original decaying call and a differently directed answer; echo spacing is preserved as fractions.")
    add("ladder", [f"ladder_{d}" for d in LADDERS], 512, 3,
        "Four two-beat regions change subdivision density while accents mark region starts.")
    add("necklace", [f"necklace_{n}" for n in NUMBERED], 512, 3,
        "A hand-authored binary accent word; its complement moves the other side and rising accents add depth.")
    add("accent_walk", [f"accent_walk_{m}" for m in ACCENT_WALKS], 1024, 3,
        "A four-bar grid keeps its pulse spacing while a two-accent motif migrates between bars.")
    add("triplet", [f"triplet_{n}_{v}" for n in NUMBERED[:8] for v in ("answer", "turnaround")], 512, 3,
        "Triplet-grid gestures with deliberate omissions; gaps either answer off-grid or rotate after four beats.")
    add("dialogue", [f"dialogue_{g}" for g in DIALOGUES], [32 * sum(numbers(g)) for g in DIALOGUES], 3,
        "Different eighth-note group lengths pass a phrase between directions, with late pickup responses.")
    add("burst", [f"burst_{b}" for b in BURSTS], 512, 3,
        "Three unevenly subdivided directional bursts, deliberate gaps and a late settling accent.")
    return rows


FAMILIES = {family: names for family, names, *_ in family_rows()}
CONTINUUM = [name for collection, name in declared_patterns() if collection == "continuum"]


def samples_of(family):
    return [s for name in FAMILIES[family] for s in table(name)]


def test_rows_in_registry_order():
    expected = [(n, p, d, text) for _, names, periods, dims, text in family_rows()
                for n, p, d in zip(names, periods, dims)]
    by_name = {row["name"]: row for row in registry_rows()}
    stored = [(n, by_name[n]["period_pips"], by_name[n]["dimensions"], by_name[n]["description"]) for n in CONTINUUM]
    assert stored == expected and len(stored) == 320


def test_collection_follows_expansion_in_the_registry():
    collections = [collection for collection, _ in declared_patterns()]
    assert collections.index("continuum") == collections.count("initial") + collections.count(
        "expansion") + collections.count("atlas")


def test_largest_magnitude_in_the_collection_is_0_82():
    assert max(abs(v) for name in CONTINUUM for s in table(name) for v in s) == 0.82


REFERENCES = reference_tables()


@pytest.mark.parametrize("name", sorted(REFERENCES))
def test_rule_bound_rows_match_their_reference(name):
    expected, stored = REFERENCES[name](), table(name)
    assert len(stored) == len(expected)
    worst = max(abs(a - b) for s, e in zip(stored, expected) for a, b in zip(s, e))
    assert worst <= 1.5e-12


def test_every_fully_specified_family_has_a_reference():
    specified = ["echo", "ladder", "necklace", "accent_walk", "triplet", "dialogue", "burst", "silhouette_harmonic"]
    assert sorted(REFERENCES) == sorted(n for f in specified for n in FAMILIES[f])


def approx(v):
    return pytest.approx(v, abs=1e-12, rel=0)


@pytest.mark.parametrize(
    "name, pip, expected",
    [
        ("ladder_2_3_4_6", 0, (-0.31, -0.12, 0)),
        ("ladder_2_3_4_6", 256, (0.08, 0.05, 0.32)),
        ("ladder_2_3_4_6", 384, (0.06, -0.32, 0.12)),
        ("dialogue_3_4_5", 96, (0.29, -0.15, 0)),
        ("dialogue_3_4_5", 80, (-0.018, 0.135, -0.0405)),
        ("accent_walk_5_1", 0, (-0.2561, -0.09, 0.1536)),
        ("triplet_01_answer", 0, (-0.2945, -0.114, 0)),
        ("necklace_01", 0, (-0.248, -0.096, 0)),
        ("burst_3_5_2", 0, (-0.279, -0.108, 0)),
        ("dwell_phrase_01", 0, (-0.7614, 0.2929, 0)),
    ],
)
def test_stated_points(name, pip, expected):
    assert kinetrope.sample(name, pip).as_tuple() == approx(expected)


@pytest.mark.parametrize("name, period", [("dialogue_4_3_2", 288), ("dialogue_4_3_5_4", 512), ("dialogue_3_4_5", 384)])
def test_dialogue_period_is_32_times_the_groups(name, period):
    assert len(table(name)) == period
    assert kinetrope.sample(name, period).as_tuple() == kinetrope.sample(name, 0).as_tuple()


def test_echo_spacings_as_fractions():
    from continuum_reference import echo_onsets
    assert echo_onsets("expanding", 4) == [0, 8, 24, 48]
    assert echo_onsets("shrinking", 4) == [0, 32, 56, 72]


def test_gesture_rise_and_fall_are_asymmetric():
    # A right gesture of width 10 rises over 6 pips and falls over 4.
    assert envelope("right", 10, -5.9) > 0 and envelope("right", 10, -6) == 0
    assert envelope("right", 10, 3.9) > 0 and envelope("right", 10, 4) == 0
    assert signed_distance(0, 500, 512) == 12 and signed_distance(256, 0, 512) == 256


def test_silhouette_03_peaks_just_below_0_82():
    peak = max(abs(v) for s in table("silhouette_harmonic_03") for v in s)
    assert 0.8199 < peak < 0.82


# Value ranges of the table as (low, high) per axis, and the peak magnitude
# range over the rows; the quoted number of decimals is the precision.
RANGES = {
    "ribbon": ("-0.82 0.82", "-0.764 0.764", "-0.258 0.258", "0.82 0.82"),
    "contour_shaped": ("-0.82 0.82", "-0.593 0.603", "-0.148 0.094", "0.8199 0.82"),
    "silhouette_harmonic": ("-0.82 0.82", "-0.698 0.687", "-0.079 0.081", "0.8199 0.82"),
    "spline": ("-0.82 0.82", "-0.82 0.82", "-0.634 0.728", "0.8197 0.82"),
    "tour": ("-0.615 0.82", "-0.503 0.524", "-0.191 0.191", "0.82 0.82"),
    "scan": ("-0.82 0.804", "-0.779 0.82", "-0.121 0.310", "0.82 0.82"),
    "reach": ("-0.82 0.82", "-0.741 0.683", "-0.393 0.393", "0.8199 0.82"),
    "surface": ("-0.721 0.82", "-0.785 0.785", "-0.776 0.776", "0.82 0.82"),
    "braid": ("-0.82 0.82", "-0.813 0.813", "-0.413 0.422", "0.8199 0.82"),
    "arm_coupled": ("-0.82 0.82", "-0.82 0.172", "-0.177 0.177", "0.82 0.82"),
    "dwell_phrase": ("-0.761 0.82", "-0.761 0.82", "-0.461 0.512", "0.82 0.82"),
    "packet": ("-0.82 0.82", "-0.276 0.276", "-0.347 0.347", "0.8196 0.82"),
    "canon": ("-0.279 0.251", "-0.311 0.030", "0 0.258", "0.279 0.311"),
    "echo": ("-0.310 0.241", "-0.266 0.260", "-0.072 0.220", "0.249 0.31"),
    "ladder": ("-0.31 0.29", "-0.32 0.05", "0 0.32", "0.32 0.32"),
    "necklace": ("-0.248 0.102", "-0.096 0.022", "0 0.159", "0.248 0.248"),
    "accent_walk": ("-0.256 0.314", "-0.118 0.010", "0 0.154", "0.256 0.314"),
    "triplet": ("-0.2945 0.187", "-0.192 0.032", "0 0.207", "0.2945 0.2945"),
    "dialogue": ("-0.31 0.29", "-0.32 0.135", "-0.041 0.32", "0.32 0.32"),
    "burst": ("-0.279 0.267", "-0.288 0.240", "-0.072 0.189", "0.288 0.288"),
}


def decimals(text):
    return len(text.split(".")[1]) if "." in text else 0


def held(value, quoted):
    """The value shown to the quoted number of decimals is the quoted value."""
    return abs(value - float(quoted)) <= 0.5 * 10 ** -decimals(quoted) + 1e-12


@pytest.mark.parametrize("family", RANGES)
def test_family_reaches_each_quoted_end(family):
    samples = samples_of(family)
    for axis, span in enumerate(RANGES[family][:3]):
        low, high = span.split()
        values = [s[axis] for s in samples]
        assert held(min(values), low) and held(max(values), high), (axis, min(values), max(values))


@pytest.mark.parametrize("family", RANGES)
def test_row_peaks_lie_in_the_quoted_range(family):
    low, high = RANGES[family][3].split()
    for name in FAMILIES[family]:
        peak = max(abs(v) for s in table(name) for v in s)
        assert float(low) - 0.5 * 10 ** -decimals(low) <= peak <= float(high) + 1e-12, name


EXACT_PEAK = ["ribbon", "tour", "scan", "surface", "dwell_phrase"]


@pytest.mark.parametrize("family", EXACT_PEAK)
def test_families_normalised_on_whole_pips_reach_0_82_exactly(family):
    assert all(max(abs(v) for s in table(n) for v in s) == 0.82 for n in FAMILIES[family])


@pytest.mark.parametrize("family", ["contour_shaped", "spline", "reach", "braid", "arm_coupled", "packet"])
def test_families_normalised_on_half_pips_never_pass_0_82(family):
    assert max(abs(v) for s in samples_of(family) for v in s) <= 0.82


@pytest.mark.parametrize("family, point", [("ribbon", (0.82, 0, 0)), ("tour", (0.82, 0, 0)),
                                           ("surface", (0.82, 0, 0)), ("reach", (0, 0, 0))])
def test_shared_pip_0_points(family, point):
    assert {table(n)[0] for n in FAMILIES[family]} == {point}


def test_packets_start_at_the_origin():
    assert all(math.dist(table(n)[0], (0, 0, 0)) <= 2e-6 for n in FAMILIES["packet"])


def test_scans_share_one_start_point_per_row_count():
    starts = {}
    for name in FAMILIES["scan"]:
        starts.setdefault(name.rsplit("_", 1)[1], set()).add(table(name)[0])
    assert all(len(s) == 1 for s in starts.values()) and len(set().union(*starts.values())) == 4


@pytest.mark.parametrize("name", FAMILIES["reach"])
def test_reaches_return_exactly_to_the_centre_without_jumps(name):
    samples = table(name)
    assert samples[0] == (0.0, 0.0, 0.0)
    steps = [math.dist(a, b) for a, b in itertools.pairwise(samples + (samples[0],))]
    assert max(steps) < 0.05


@pytest.mark.parametrize("family, limit", [("tour", 4e-5), ("scan", 2e-5)])
def test_tours_and_scans_close_tightly(family, limit):
    assert all(math.dist(table(n)[-1], table(n)[0]) <= limit for n in FAMILIES[family])


def constant_stretches(samples):
    """Maximal runs (first, last) of two or more equal consecutive samples."""
    runs, start = [], 0
    for p in range(1, len(samples) + 1):
        if p == len(samples) or samples[p] != samples[start]:
            if p - start > 1:
                runs.append((start, p - 1))
            start = p
    return runs


def test_dwell_phrase_01_holds():
    samples = table("dwell_phrase_01")
    assert constant_stretches(samples) == [(103, 204), (410, 614), (922, 1023)]
    assert samples[0] == samples[1023] == approx((-0.7614, 0.2929, 0))
    assert samples[1] != samples[0]


@pytest.mark.parametrize("name", FAMILIES["dwell_phrase"])
def test_every_dwell_phrase_holds_three_times_and_starts_in_the_last_hold(name):
    samples = table(name)
    holds = [run for run in constant_stretches(samples) if run[1] - run[0] >= 40]
    assert len(holds) == 3 and holds[-1][1] == len(samples) - 1 and samples[0] == samples[-1]
    assert len({samples[a] for a, _ in holds}) == 3


@pytest.mark.parametrize("family", ["canon", "ladder", "necklace", "accent_walk", "triplet"])
def test_depth_never_goes_below_zero(family):
    assert min(s[2] for s in samples_of(family)) == 0.0


RHYTHMIC = ["canon", "echo", "ladder", "necklace", "accent_walk", "triplet", "dialogue", "burst"]


@pytest.mark.parametrize("family", RHYTHMIC)
def test_phrases_lead_left_and_down(family):
    assert all(table(n)[0][0] < 0 and table(n)[0][1] < 0 for n in FAMILIES[family])


def test_canon_variants_start_differently():
    starts = sorted({table(n)[0] for n in FAMILIES["canon"]})
    assert starts == [approx((-0.279, -0.108, 0)), approx((-0.248, -0.096, 0))]
