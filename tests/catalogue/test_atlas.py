"""The atlas collection: its rows as the family table composes them, its
fully specified families against independent references, and the stated
constraints of the rows it authors."""

import hashlib
import math
import struct
import subprocess

import kinetrope
import pytest
from atlas_reference import ENV_KEYS, EXACT_SEQ_X, atlas_rows, exact_references
from builtin_tables import axis, registry_rows, table
from conftest import NATIVE_DIR

ATLAS = atlas_rows()
ATLAS_NAMES = [row[0] for row in ATLAS]
REFERENCES = exact_references()
UNNORMALISED = ("env_", "euclid_", "poly_", "meter_", "swing_", "stick_study_")


def peak_of(name):
    return max(abs(v) for sample in table(name) for v in sample)


def test_rows_follow_the_family_table_in_registry_order():
    rows = [(r["name"], r["period_pips"], r["dimensions"], r["description"]) for r in registry_rows()[52:308]]
    assert rows == ATLAS


@pytest.mark.parametrize("name", sorted(REFERENCES))
def test_fully_specified_rows_follow_their_rule(name):
    expected = REFERENCES[name]()
    stored = table(name)
    assert len(stored) == len(expected)
    worst = max(abs(a - b) for s, e in zip(stored, expected) for a, b in zip(s, e))
    assert worst <= 1.5e-12


def test_every_unspecified_row_is_an_authored_family():
    authored = {"wave_soft_rectifier", "wave_scoop_warp", "wave_shelf_wave", "wave_warped_fold"}
    authored |= {n for n in ATLAS_NAMES if n.startswith(("seq_", "noise_", "gesture_"))} - {
        f"seq_{c}_even" for c in EXACT_SEQ_X
    }
    authored |= {f"mech_{m}" for m in ("offset_crank", "whitworth", "elliptic_cam", "escapement", "rocking_beam",
                                        "crank_rocker", "cam_return")}
    assert set(ATLAS_NAMES) - set(REFERENCES) == authored
    assert len(authored) == 4 + 12 + 16 + 7 + 16


@pytest.mark.parametrize("name", [n for n in ATLAS_NAMES if not n.startswith(UNNORMALISED)])
def test_normalised_rows_peak_at_exactly_0_82(name):
    assert peak_of(name) == 0.82


@pytest.mark.parametrize(
    "family, peak", [("euclid_", 0.75), ("poly_", 0.52), ("meter_", 0.72), ("swing_", 0.585), ("stick_study_", 0.74)]
)
def test_score_families_peak_as_stated(family, peak):
    assert {peak_of(n) for n in ATLAS_NAMES if n.startswith(family)} == {peak}


def test_envelopes_peak_at_their_deepest_keyframe_and_never_move_x():
    peaks = {shape: max(abs(v) for _, v in keys) for shape, (_, keys) in ENV_KEYS.items()}
    assert {f"env_{s}": peak_of(f"env_{s}") for s in peaks} == {f"env_{s}": p for s, p in peaks.items()}
    assert min(peaks.values()) == 0.7 and max(peaks.values()) == 0.82
    assert all(set(axis(f"env_{s}", 0)) == {0.0} for s in peaks)


def test_collection_peaks_at_0_82():
    assert max(peak_of(n) for n in ATLAS_NAMES) == 0.82


def sample(name, pip):
    return kinetrope.sample(name, pip).as_tuple()


def test_edge_cases_of_the_family_rules():
    assert sample("polar_rose_6", 0) == sample("polar_rose_6", 512) == (0.82, 0.0, 0.0)
    assert sample("euclid_2_5", 160) == sample("euclid_2_5", 0)
    assert sample("euclid_2_5", 96) == (-0.5625, -0.24, 0.0)
    assert sample("poly_2_5", 0) == (0.0, -0.52, 0.22)
    assert sample("poly_2_5", 256) == pytest.approx((-0.403, -0.169, 0.0), abs=1e-12)
    assert sample("weave_1_3", 0) == pytest.approx((0.2965, 0.0, 0.0), abs=5e-5)
    assert sample("space_torus_2_5", 0) == (0.82, 0.0, 0.0)
    assert max(axis("space_torus_2_5", 2)) == pytest.approx(0.4415, abs=5e-5)


def test_meter_3_4_4_leans_right_left_right_at_its_group_starts():
    x = axis("meter_3_4_4", 0)
    assert len(x) == 352
    assert [x[0], x[96], x[224]] == [0.72, -0.72, 0.72]
    assert [p for p in range(352) if abs(x[p]) == 0.72] == [0, 96, 224]


def test_only_the_answer_swing_stays_flat():
    dims = {r["name"]: r["dimensions"] for r in registry_rows() if r["name"].endswith("_3_4") and "swing" in r["name"]}
    assert dims == {"swing_push_3_4": 3, "swing_answer_3_4": 2, "swing_skip_3_4": 3, "swing_shuffle_3_4": 3}
    assert set(axis("swing_answer_3_4", 2)) == {0.0}


def test_exact_sequence_arc_is_the_rounded_printed_height():
    y = axis("seq_pendulum_even", 1)
    assert round(y[64], 5) == 0.20294 and y[64] == round(0.287 * math.sin(math.pi / 4), 12)
    assert y[128] == 0.287 and y[384] == -0.287


# Authored rows: the stated constraints.
def harmonic_magnitudes(values):
    n = len(values)
    return [abs(sum(v * complex(math.cos(2 * math.pi * h * p / n), -math.sin(2 * math.pi * h * p / n))
                    for p, v in enumerate(values))) / n for h in range(12)]


def test_soft_rectifier_starts_at_its_floor_and_holds_only_even_harmonics():
    x = axis("wave_soft_rectifier", 0)
    assert x[0] == -0.767 and min(x) == -0.767 and max(x) == 0.82
    assert all(abs(x[128 + d] - x[128 - d]) < 3e-12 for d in range(129))
    assert max(harmonic_magnitudes(x)[1::2]) < 1e-11


@pytest.mark.parametrize("name", ["wave_shelf_wave", "wave_warped_fold"])
def test_shelf_and_warped_fold_hold_only_odd_harmonics(name):
    x = axis(name, 0)
    assert all(abs(x[p + 256] + x[p]) < 3e-12 for p in range(256))
    magnitudes = harmonic_magnitudes(x)
    assert max(magnitudes[0::2]) < 1e-11 and max(magnitudes[3::2]) > 0.01  # more than a plain sine


LILT_CONTOURS = ["up_down", "pendulum", "octave", "unequal", "question", "answer", "ratchet", "stairs"]


@pytest.mark.parametrize("contour", LILT_CONTOURS)
def test_lilt_rows_start_like_their_even_twin_and_share_its_x_range(contour):
    even, lilt = f"seq_{contour}_even", f"seq_{contour}_lilt"
    assert table(lilt)[0] == table(even)[0]
    assert (min(axis(lilt, 0)), max(axis(lilt, 0))) == (min(axis(even, 0)), max(axis(even, 0)))
    assert table(lilt) != table(even)


@pytest.mark.parametrize(
    "name", [f"seq_{c}_{t}" for c in LILT_CONTOURS for t in ("even", "lilt") if not (t == "even" and c in EXACT_SEQ_X)]
)
def test_authored_sequences_keep_their_arc_height(name):
    limit = 0.25 if name.split("_")[1] in ("up", "unequal", "question", "answer") else 0.29
    y = axis(name, 1)
    assert (min(y), max(y)) == (-limit, limit)


@pytest.mark.parametrize(
    "name", ["offset_crank", "whitworth", "elliptic_cam", "escapement", "rocking_beam", "crank_rocker", "cam_return"]
)
def test_authored_linkages_sweep_x_over_the_full_range(name):
    x = axis(f"mech_{name}", 0)
    assert (min(x), max(x)) == (-0.82, 0.82)


def test_linkage_ranges():
    z = axis("mech_crank_rocker", 2)
    assert (min(z), max(z)) == (-0.12, 0.12)
    y = axis("mech_rocking_beam", 1)
    assert (min(y), max(y)) == (-0.02, 0.42)


def axis_range(name, index):
    values = axis(name, index)
    return min(values), max(values)


def test_gesture_depth_ranges():
    assert axis_range("gesture_spiral_reach", 2) == (0.0, 0.82)
    assert [axis_range("gesture_diamond_depth", i) for i in range(3)] == [(-0.82, 0.82)] * 3
    assert axis_range("gesture_push_pull", 2) == (-0.62, 0.82)
    z_travel = sum(abs(v) for v in axis("gesture_push_pull", 2))
    assert all(sum(abs(v) for v in axis("gesture_push_pull", i)) < z_travel / 3 for i in (0, 1))


def digest_coordinate(key):
    """The documented mapping: first eight digest bytes, big-endian, top 53 bits."""
    (bits,) = struct.unpack(">Q", hashlib.sha256(key.encode()).digest()[:8])
    return 2 * ((bits >> 11) / 2**53) - 1


@pytest.mark.parametrize("name", ["noise_drift_5", "noise_drift_11", "noise_depth_6", "noise_depth_12"])
def test_noise_passes_through_its_digest_points(name):
    # The curve meets control point 0 at pip 0; both lanes share one factor.
    x, y = table(name)[0][:2]
    ratio = digest_coordinate(f"atlas/{name}/x/0") / digest_coordinate(f"atlas/{name}/y/0")
    assert x / y == pytest.approx(ratio, rel=1e-9)


@pytest.mark.parametrize("k", [6, 8, 10, 12])
def test_noise_orbits_keep_a_wandering_radius(k):
    name = f"noise_orbit_{k}"
    samples = table(name)
    assert samples[0][1] == 0.0 and samples[0][0] > 0
    radii = [math.hypot(s[0], s[1]) for s in samples]
    assert min(radii) > 0.1 and max(radii) / min(radii) > 1.2
    radius_at = lambda pip: 0.675 + 0.325 * digest_coordinate(f"atlas/{name}/radius/{pip * k // 1024}")
    if k == 8:
        assert radii[0] / radii[256] == pytest.approx(radius_at(0) / radius_at(256), rel=1e-9)


@pytest.mark.parametrize("k", [6, 8, 10, 12])
def test_noise_depth_moves_z_within_0_52(k):
    z = axis(f"noise_depth_{k}", 2)
    assert max(abs(v) for v in z) == 0.52


def test_noise_rows_differ():
    names = [n for n in ATLAS_NAMES if n.startswith("noise_")]
    assert len({table(n)[0] for n in names}) == len(names)


# The standard's published SHA-256 test vectors.
@pytest.mark.parametrize(
    "message, digest",
    [
        ("abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"),
        ("", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"),
        ("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"),
        ("million-a", "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"),
    ],
    ids=["abc", "empty", "448-bit", "million-a"],
)
def test_generator_sha256_matches_the_published_vectors(generator_build, message, digest):
    exe = generator_build(NATIVE_DIR / "sha256_digest.cpp")
    done = subprocess.run([exe], input=message + "\n", capture_output=True, text=True, check=True)
    assert done.stdout == digest + "\n"
