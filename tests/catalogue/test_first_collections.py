"""Contents of the initial and expansion collections: rows as authored, and
tables recomputed here from the rules they follow."""

import itertools
import math
from pathlib import Path

import kinetrope
import pytest
from builtin_tables import axis, registry_rows, table
from first_collections import EXPANSION, INITIAL
from shapes import euclid, keyframes, pulses
from formula_table import FORMULA_NAMES

from conftest import GENERATOR_DIR

AKWF_DIR = GENERATOR_DIR / "first" / "akwf"
sin, cos, pi = math.sin, math.cos, math.pi


def test_rows_in_registry_order():
    rows = [
        (row["name"], row["period_pips"], row["dimensions"], row["description"])
        for row in registry_rows()[: len(INITIAL) + len(EXPANSION)]
    ]
    assert rows == INITIAL + EXPANSION


def test_descriptions_carry_real_dashes():
    groove = {name: text for name, _, _, text in INITIAL}["groove_a_played"]
    assert "4\u201312" in groove and "4\u201312".encode() in groove.encode()


@pytest.mark.parametrize("rows, peak", [(INITIAL, 1.0), (EXPANSION, 0.85)], ids=["initial", "expansion"])
def test_largest_magnitude_per_collection(rows, peak):
    assert max(abs(v) for name, *_ in rows for sample in table(name) for v in sample) == peak


def close_to(expected):
    """Stored values are the rule's value rounded to 12 decimals."""
    return pytest.approx(expected, abs=1.5e-12, rel=0)


def formula(period, shape):
    return [shape(p, 2 * pi * p / period) for p in range(period)]


def alternate(j):
    return 1 if j % 2 == 0 else -1


def sticking(hands, accents):
    hands = hands.replace(" ", "")
    return [
        (j * 64 / 3, (0.82 * s, -0.42) if j in accents else (0.492 * s, -0.252), 28 / 3)
        for j, s in enumerate(1 if h == "R" else -1 for h in hands)
    ]


def mirrored(events, answer):
    return events + [(e + answer, (-x, y), w) for e, (x, y), w in events]


def triples(*axes):
    return [tuple(vals) + (0.0,) * (3 - len(vals)) for vals in zip(*axes)]


def rose5(p):
    phi = pi * p / 512
    r = 0.82 * cos(5 * phi)
    return (r * cos(phi), r * sin(phi))


REFERENCES = {
    "lfo_breathe": lambda: formula(256, lambda p, t: (0.8 * sin(t),)),
    "lfo_surge": lambda: triples(keyframes(256, [(0, -0.8), (192, 0.8)])),
    "lfo_soft_gate": lambda: triples(keyframes(256, [(0, -0.8), (32, 0.8), (128, 0.8), (160, -0.8)])),
    "lfo_double_pump": lambda: triples(
        [0.0] * 256, keyframes(256, [(0, 0), (32, -0.85), (64, 0), (96, -0.55), (128, 0)])
    ),
    "lfo_ratchet": lambda: pulses(256, [(16 * j, (0.8 * s, -0.5 * s), 8) for j, s in enumerate([1, 0.82, 0.64, 0.46])]),
    "lfo_flower": lambda: formula(
        512, lambda p, t: (0.56 * cos(t) - 0.28 * cos(2 * t), 0.56 * sin(t) + 0.28 * sin(2 * t))
    ),
    "rhythm_euclid_3_8": lambda: pulses(
        256, [(s * 256 / 8, (alternate(j) * 0.8, -0.3), 12) for j, s in enumerate(euclid(3, 8))]
    ),
    "rhythm_euclid_5_12": lambda: pulses(
        256, [(s * 256 / 12, (alternate(j) * 0.8, -0.3), 12) for j, s in enumerate(euclid(5, 12))]
    ),
    "rhythm_three_two": lambda: pulses(
        256, [(0, (0.78, 0.78), 24), (256 / 3, (0.78, 0), 24), (128, (0, 0.78), 24), (512 / 3, (0.78, 0), 24)]
    ),
    "rhythm_half_time": lambda: pulses(
        256, [(0, (0, 0.85), 16), (96, (0, 0.4675), 16), (128, (0.85, -0.25), 16), (224, (-0.4, -0.1), 12)]
    ),
    "rudiment_double_paradiddle": lambda: pulses(256, sticking("RLRLRR LRLRLL", {0, 6})),
    "rudiment_paradiddle_diddle": lambda: pulses(256, sticking("RLRRLL LRLLRR", {0, 6})),
    "rudiment_six_stroke": lambda: pulses(256, sticking("RLLRRL LRRLLR", {0, 5, 6, 11})),
    "rudiment_flam_accent": lambda: pulses(
        256,
        [(0, (0.82, -0.42), 16), (128 / 3, (-0.492, -0.252), 16), (256 / 3, (0.492, -0.252), 16)]
        + [(128, (-0.82, -0.42), 16), (128 + 128 / 3, (0.492, -0.252), 16), (128 + 256 / 3, (-0.492, -0.252), 16)]
        + [(120, (0.2624, -0.1344), 8), (248, (-0.2624, -0.1344), 8)],
    ),
    "lfo_twin_swell": lambda: triples(
        keyframes(512, [(0, 0), (128, 0.2), (256, 0), (384, -0.32)]),
        keyframes(512, [(0, 0), (128, -0.85), (256, 0), (384, -0.45)]),
    ),
    "lfo_pulse_hold": lambda: triples(keyframes(256, [(0, 0), (32, 0.8), (128, 0.8), (160, -0.35), (192, 0)])),
    "lfo_sweep_ratchet": lambda: triples(
        keyframes(512, [(0, -0.75), (256, 0.75), (384, 0.75)]),
        [s[1] for s in pulses(512, [(256, (0, -0.65), 12), (288, (0, -0.507), 12), (320, (0, -0.364), 12)])],
    ),
    "lfo_triplet_wobble": lambda: formula(512, lambda p, t: (sin(12 * t) * (0.5525 - 0.255 * cos(t)), 0.22 * sin(t))),
    "lfo_breathing_orbit": lambda: formula(
        512, lambda p, t: (0.67 * cos(t) + 0.11 * cos(3 * t), 0.39 * sin(t) + 0.09 * sin(3 * t))
    ),
    "lfo_pendulum_dwell": lambda: formula(
        512, lambda p, t: (0.78 * math.tanh(2.8 * sin(t)) / math.tanh(2.8), 0.22 * cos(2 * t))
    ),
    "lfo_reverse_swell": lambda: triples(
        keyframes(512, [(0, 0), (192, -0.24), (224, 0.24), (384, 0)]),
        keyframes(512, [(0, 0), (192, -0.82), (224, 0), (256, -0.38), (288, 0), (320, -0.18), (352, 0)]),
    ),
    "path_lissajous_2_3": lambda: formula(512, lambda p, t: (0.78 * sin(2 * t), 0.68 * sin(3 * t))),
    "path_rose_4": lambda: formula(512, lambda p, t: (0.82 * cos(2 * t) * cos(t), 0.82 * cos(2 * t) * sin(t))),
    "path_rose_5": lambda: formula(512, lambda p, t: rose5(p)),
    "path_bowed_diamond": lambda: formula(512, lambda p, t: (0.8 * cos(t) ** 3, 0.8 * sin(t) ** 3)),
    "path_orbit_dwell": lambda: formula(512, lambda p, t: (0.8 * cos(t - sin(t)), 0.6 * sin(t - sin(t)))),
    "path_torus_knot": lambda: formula(
        1024,
        lambda p, t: (
            (0.54 + 0.22 * cos(3 * t)) * cos(2 * t),
            (0.54 + 0.22 * cos(3 * t)) * sin(2 * t),
            0.36 * sin(3 * t),
        ),
    ),
    "path_woven_3d": lambda: formula(1024, lambda p, t: (0.72 * sin(2 * t), 0.64 * sin(3 * t), 0.48 * sin(5 * t))),
    "path_crank_slider": lambda: formula(
        256, lambda p, t: (0.78 * (cos(t) + math.sqrt(9 - sin(t) ** 2) - 3), 0.3 * sin(t))
    ),
    "rhythm_five_four": lambda: pulses(
        512,
        [(j * 256 / 5, (alternate(j) * 0.72, 0), 12) for j in range(10)]
        + [(64 * j, (0, alternate(j) * 0.68), 12) for j in range(8)],
    ),
    "rhythm_seven_four": lambda: pulses(
        512,
        [(j * 256 / 7, (alternate(j) * 0.72, 0), 12) for j in range(14)]
        + [(64 * j, (0, alternate(j) * 0.68), 12) for j in range(8)],
    ),
    "rhythm_euclid_7_16": lambda: pulses(512, sixteenth_onsets(7)),
    "rhythm_euclid_5_16": lambda: pulses(512, sixteenth_onsets(5)),
    "rhythm_swung_answer": lambda: pulses(
        256,
        [(64 * b, (s * 0.78, -0.3), 8) for b, s in enumerate([1, 1, -1, -1])]
        + [(64 * b + 128 / 3, (s * 0.468, -0.18), 8) for b, s in enumerate([1, 1, -1, -1])],
    ),
    "rhythm_group_332": lambda: pulses(
        512, mirrored([(0, (0.76, -0.38), 16), (96, (-0.5472, -0.2736), 16), (192, (0.6536, -0.3268), 16)], 256)
    ),
    "rhythm_group_223": lambda: pulses(
        448, mirrored([(0, (0.74, -0.4), 16), (64, (-0.518, -0.28), 16), (128, (0.629, -0.34), 16)], 224)
    ),
    "rhythm_three_four_five": lambda: pulses(
        512,
        [(j * 512 / 3, (0.7, 0, 0), 24) for j in range(3)]
        + [(128 * j, (0, -0.7, 0), 24) for j in range(4)]
        + [(j * 512 / 5, (0, 0, 0.55), 24) for j in range(5)],
    ),
}


def sixteenth_onsets(k):
    steps = [256 * bar + 16 * s for bar in (0, 1) for s in euclid(k, 16)]
    return [
        (pip, (alternate(j) * 0.76, -0.3) if pip % 64 == 0 else (alternate(j) * 0.5472, -0.216), 12)
        for j, pip in enumerate(steps)
    ]


@pytest.mark.parametrize("name", REFERENCES)
def test_table_follows_its_rule(name):
    expected = [tuple(s) + (0.0,) * (3 - len(s)) for s in REFERENCES[name]()]
    assert list(table(name)) == [tuple(close_to(v) for v in s) for s in expected]


def waveform(name):
    values = [int(v) for v in (AKWF_DIR / f"{name}.txt").read_text().split()]
    mean = sum(values) / len(values)
    peak = max(abs(v - mean) for v in values)
    return [(v - mean) * 0.85 / peak for v in values]


@pytest.mark.parametrize(
    "name, source",
    [
        ("akwf_round_saw", "AKWF_R_asym_saw_05"),
        ("akwf_quick_return", "AKWF_R_asym_saw_15"),
        ("akwf_multi_lobe", "AKWF_0001"),
        ("akwf_plateau", "AKWF_0010"),
    ],
)
def test_waveforms_are_centred_and_scaled_to_085(name, source):
    x = axis(name, 0)
    assert x == [close_to(v) for v in waveform(source)]
    assert max(map(abs, x)) == 0.85 and abs(sum(x)) < 1e-9


@pytest.mark.parametrize("pip, x", [(0, 0.0), (64, 0.8), (128, 0.0), (192, -0.8), (256, 0.0), (-64, -0.8)])
def test_lfo_breathe_quarter_points(pip, x):
    assert kinetrope.sample("lfo_breathe", pip).as_tuple() == (x, 0.0, 0.0)


def test_lfo_morph_is_a_pure_triangle_at_its_middle():
    assert table("lfo_morph")[256] == (-0.8, 0.0, 0.0)


def test_lfo_flower_start_and_middle():
    assert table("lfo_flower")[0] == (0.28, 0.0, 0.0) and table("lfo_flower")[256] == (-0.84, 0.0, 0.0)


@pytest.mark.parametrize(
    "name, low, high",
    [("ease_rebound", -0.65, 0.65), ("ease_anticipate", -0.78, 0.65), ("ease_overshoot", -0.65, 0.78)],
)
def test_ease_loops_meet_at_065_and_stay_in_their_range(name, low, high):
    x = axis(name, 0)
    assert (x[0], x[128], x[192]) == (-0.65, 0.65, 0.0)
    assert round(min(x), 2) == low and round(max(x), 2) == high


def test_ease_elastic_peak_and_trough():
    x = axis("ease_elastic", 0)
    assert max(map(abs, x)) == 0.8 and x.index(0.8) == 106
    assert x.index(min(x)) == 67 and min(x) == pytest.approx(-0.6125, abs=1e-4)
    assert x[0] == x[128] == 0.0


def test_euclid_5_12_is_full_height_only_on_whole_pip_onsets():
    assert [p for p, x in enumerate(axis("rhythm_euclid_5_12", 0)) if abs(x) >= 0.8] == [0, 64]


def test_lfo_ratchet_is_peak_aligned_then_silent():
    samples = table("lfo_ratchet")
    assert [samples[p] for p in (0, 16, 32, 48)] == [
        (close_to(0.8 * s), close_to(-0.5 * s), 0.0) for s in (1, 0.82, 0.64, 0.46)
    ]
    # the first hit's bump rises out of the loop's last eight pips
    assert set(samples[56:249]) == {(0.0, 0.0, 0.0)}


@pytest.mark.parametrize("name, pips", [("path_rose_4", [64, 192, 320, 448]), ("path_rose_5", [256])])
def test_roses_pass_through_the_centre(name, pips):
    assert [p for p, s in enumerate(table(name)) if s == (0.0, 0.0, 0.0)] == pips


def test_group_223_wraps_at_seven_beats():
    assert kinetrope.sample("rhythm_group_223", 448).as_tuple() == table("rhythm_group_223")[0]
    assert kinetrope.sample("rhythm_group_223", -1).as_tuple() == table("rhythm_group_223")[447]


def test_three_four_five_keeps_its_axis_signs():
    samples = table("rhythm_three_four_five")
    assert all(x >= 0 and y <= 0 and z >= 0 for x, y, z in samples)


@pytest.mark.parametrize(
    "name, x_range, y_range",
    [
        ("groove_a_played", (-0.22, 0.67), (-0.31, 0.49)),
        ("groove_a_grid", (-0.22, 0.67), (-0.31, 0.49)),
        ("groove_b_played", (-0.31, 1.0), (-0.43, 0.42)),
        ("groove_b_grid", (-0.31, 1.0), (-0.43, 0.42)),
        ("lfo_seeded_drift", (-0.71, 0.79), (-0.61, 0.40)),
    ],
)
def test_authored_traces_span_their_ranges(name, x_range, y_range):
    x, y = axis(name, 0), axis(name, 1)
    assert (min(x), max(x)) == x_range and (min(y), max(y)) == y_range


@pytest.mark.parametrize("excerpt", ["a", "b"])
def test_played_grooves_differ_from_their_grid_versions(excerpt):
    assert table(f"groove_{excerpt}_played") != table(f"groove_{excerpt}_grid")


def test_no_name_is_a_formula_name():
    assert not {name for name, *_ in INITIAL + EXPANSION} & set(FORMULA_NAMES)
