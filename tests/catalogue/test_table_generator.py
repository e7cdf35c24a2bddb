"""The table generator's shared shapes, its checks, its determinism and its
failure on bad input, exercised through programs built from its sources."""

import math
import re
import subprocess

import pytest

from builtin_tables import table
from conftest import GENERATOR_DIR, NATIVE_DIR, REPO_DIR

HEX_SAMPLE = re.compile(r"^\{(\S+),(\S+),(\S+)\},$")


@pytest.fixture(scope="module")
def shapes(generator_build):
    exe = generator_build(NATIVE_DIR / "shape_checks.cpp")

    def run(query):
        return subprocess.run([exe], input=query, capture_output=True, text=True, check=True).stdout.split("\n")[:-1]

    return run


def floats(lines):
    return [tuple(float.fromhex(v) for v in line.split()) for line in lines]


@pytest.mark.parametrize("u, value", [(0, 0.0), (0.25, 0.103515625), (0.5, 0.5), (0.75, 0.896484375), (1, 1.0)])
def test_smootherstep(shapes, u, value):
    assert floats(shapes(f"smootherstep {u}\n")) == [(value,)]


def test_keyframe_track_holds_eases_and_closes_the_loop(shapes):
    track = [v for (v,) in floats(shapes("keyframes 256 3 0 0 64 -0.8 192 -0.8\n"))]
    assert len(track) == 256
    assert (track[0], track[32], track[64], track[128], track[191]) == (0.0, -0.4, -0.8, -0.8, -0.8)
    assert track[224] == pytest.approx(-0.4, abs=1e-15)
    u = 63 / 64  # one pip before the loop closes back at 0
    assert track[255] == pytest.approx(-0.8 + 0.8 * (6 * u**5 - 15 * u**4 + 10 * u**3), abs=1e-15)


@pytest.mark.parametrize(
    "pip, onset, period, distance",
    [(0, 250, 256, 6.0), (250, 0, 256, -6.0), (128, 0, 256, 128.0), (0, 128, 256, 128.0), (10, 0, 448, 10.0)],
)
def test_loop_distance_lies_in_the_half_open_interval(shapes, pip, onset, period, distance):
    assert floats(shapes(f"distance {pip} {onset} {period}\n")) == [(distance,)]


@pytest.mark.parametrize("d, w, value", [(0, 8, 1.0), (4, 8, 0.5), (-4, 8, 0.5), (8, 8, 0.0), (-9, 8, 0.0)])
def test_raised_cosine(shapes, d, w, value):
    assert floats(shapes(f"bump {d} {w}\n")) == [(pytest.approx(value, abs=1e-15),)]


def test_pulse_score_wraps_adds_and_peaks_on_whole_pips(shapes):
    samples = floats(shapes("score 64 2 0 1 -0.5 0 8 60 0 0 0.25 8\n"))
    assert samples[0] == (1.0, -0.5, pytest.approx(0.25 * math.cos(math.pi * 4 / 16) ** 2))
    assert samples[60] == (pytest.approx(0.5), pytest.approx(-0.25), 0.25)
    assert samples[8:52] == [(0.0, 0.0, 0.0)] * 44


def test_pulse_score_between_pips(shapes):
    samples = floats(shapes(f"score 256 1 {(256 / 3).hex()} 1 0 0 12\n"))
    assert samples[85][0] == pytest.approx(math.cos(math.pi * (85 - 256 / 3) / 24) ** 2, abs=1e-15)
    assert max(s[0] for s in samples) < 1.0


def test_peak_normalisation_scales_every_axis_by_one_factor(shapes):
    assert floats(shapes("normalise 0.82 2 0.5 -2 1 0 0.25 0\n")) == [(0.205, -0.82, 0.41), (0.0, 0.1025, 0.0)]


@pytest.mark.parametrize(
    "k, n, steps", [(3, 8, "0 3 6"), (5, 12, "0 3 5 8 10"), (7, 16, "0 3 5 7 10 12 14"), (2, 5, "0 3")]
)
def test_euclidean_onsets(shapes, k, n, steps):
    assert shapes(f"euclid {k} {n}\n") == [steps + " "]


@pytest.mark.parametrize(
    "value, rounded",
    [
        (0.1234567890123456, 0.123456789012),
        (-1e-13, 0.0),
        (5e-13, 1e-12),
        (-0.65, -0.65),
        (0.7799966146164, 0.779996614616),
    ],
)
def test_rounding_to_12_decimals_never_gives_negative_zero(shapes, value, rounded):
    (result,) = floats(shapes(f"round {value!r}\n"))
    assert result == (rounded,) and math.copysign(1.0, result[0]) == math.copysign(1.0, rounded or 1.0)


@pytest.mark.parametrize(
    "samples, closes",
    [("3 0 0 0 0.2 0 0 0.1 0 0", 1), ("3 0 0 0 0.1 0 0 0.3 0 0", 0), ("1 0.5 0 0", 1)],
)
def test_loop_closure(shapes, samples, closes):
    assert shapes(f"closes {samples}\n") == [str(closes)]


GOOD_TABLE = "2 0.5 0 0 0.25 0 0"


@pytest.mark.parametrize(
    "query, complaint",
    [
        (f"good_name 2 1 43 {GOOD_TABLE}", "ok"),
        (f"short 2 1 43 {GOOD_TABLE}", "pattern short: name must be 8 to 32 bytes long"),
        (f"Upper_case 2 1 43 {GOOD_TABLE}", "pattern Upper_case: name must start with a lower-case letter"),
        (f"has-dash_x 2 1 43 {GOOD_TABLE}", "pattern has-dash_x: name may hold only a-z, 0-9 and _"),
        (f"loam_background 2 1 43 {GOOD_TABLE}", "pattern loam_background: name is taken by a formula pattern"),
        (f"good_name 2 1 42 {GOOD_TABLE}", "pattern good_name: description must be 43 to 235 bytes long"),
        (f"good_name 3 1 43 {GOOD_TABLE}", "pattern good_name: table length differs from period"),
        ("good_name 2 1 43 2 1.5 0 0 0 0 0", "pattern good_name: sample 0 is not a rounded finite value in [-1, 1]"),
        (
            "good_name 2 1 43 2 0.1234567890123 0 0 0 0 0",
            "pattern good_name: sample 0 is not a rounded finite value in [-1, 1]",
        ),
        ("good_name 2 1 43 2 -0.0 0 0 0.5 0 0", "pattern good_name: sample 0 is not a rounded finite value in [-1, 1]"),
        (f"good_name 2 2 43 {GOOD_TABLE}", "pattern good_name: declared 2 dimensions, table moves 1"),
        ("good_name 3 1 43 3 0 0 0 0.1 0 0 0.5 0 0", "pattern good_name: table does not close as a loop"),
    ],
)
def test_generator_refuses_broken_tables(shapes, query, complaint):
    assert shapes(f"check {query}\n") == [complaint]


@pytest.fixture(scope="module")
def tablegen(generator_build):
    return generator_build(GENERATOR_DIR / "main.cpp")


def generate(tablegen, out_dir, data_dir=GENERATOR_DIR):
    return subprocess.run([tablegen, data_dir, out_dir, "4"], capture_output=True, text=True)


def test_two_runs_write_the_same_bytes(tablegen, tmp_path):
    assert generate(tablegen, tmp_path / "a").returncode == 0
    assert generate(tablegen, tmp_path / "b").returncode == 0
    files = sorted(p.relative_to(tmp_path / "a") for p in (tmp_path / "a").rglob("*") if p.is_file())
    assert len(files) == 7  # four shards, the header, the registry and the grooves engine's fits
    assert all((tmp_path / "a" / f).read_bytes() == (tmp_path / "b" / f).read_bytes() for f in files)


def test_generated_tables_are_the_module_tables(tablegen, tmp_path):
    assert generate(tablegen, tmp_path).returncode == 0
    source = "".join(p.read_text() for p in sorted(tmp_path.glob("tables_*.cpp")))
    body = source.split("table_lfo_breathe[256] = {\n")[1].split("};")[0]
    stored = [tuple(float.fromhex(v) for v in HEX_SAMPLE.match(line).groups()) for line in body.splitlines()]
    assert stored == list(table("lfo_breathe"))


def test_missing_authoring_data_fails_with_a_clear_message(tablegen, tmp_path):
    (tmp_path / "data" / "first" / "akwf").mkdir(parents=True)
    (tmp_path / "data" / "first" / "akwf" / "AKWF_R_asym_saw_05.txt").write_text("1\n2\n3\n")
    done = generate(tablegen, tmp_path / "out", tmp_path / "data")
    assert done.returncode == 1
    assert done.stderr.startswith("kinetrope_tablegen: expected 256 samples in ")
    assert "AKWF_R_asym_saw_05.txt" in done.stderr
    assert not (tmp_path / "out").exists()


def test_usage_is_explained(tablegen):
    done = subprocess.run([tablegen], capture_output=True, text=True)
    assert done.returncode == 2 and "usage:" in done.stderr
