"""Host data built and sampled by native code through the installed headers,
compared with what the Python surface gives for the same input."""

import math

import kinetrope
import pytest

from conftest import installed_include_dir
from formula_table import INT32_MAX, INT32_MIN
from native_symbols import exported_symbols

PIPS = [0, 1, 99, 100, 250, -1, -2, INT32_MIN, INT32_MAX]


def pattern_query(samples, name="native"):
    values = " ".join(v.hex() for s in samples for v in s)
    return f"pattern {name} {len(samples)} {values}\n"


def recording_query(start_pip, axes, rows):
    values = " ".join(v.hex() for row in rows for v in row)
    return f"recording {start_pip} {len(axes)} {' '.join(axes)} {len(rows)} {values}\n"


def hex_floats(line):
    return [float.fromhex(v) for v in line.split()]


def test_headers_are_installed_and_members_exported():
    headers = {p.name for p in (installed_include_dir() / "kinetrope").glob("*.hpp")}
    assert {"sampled_pattern.hpp", "sampled_recording.hpp", "pattern_library.hpp"} <= headers
    exported = exported_symbols()
    assert {
        "kinetrope::SampledPattern::sample(int) const",
        "kinetrope::SampledPattern::info() const",
        "kinetrope::SampledRecording::sample(int) const",
        "kinetrope::PatternLibrary::catalogue() const",
    } <= exported
    assert any(s.startswith("kinetrope::PatternLibrary::sample(std::basic_string_view<char") for s in exported)
    for cls in ("SampledPattern", "SampledRecording", "PatternLibrary"):
        assert any(s.startswith(f"kinetrope::{cls}::{cls}(") for s in exported)


def test_native_pattern_samples_agree_bit_for_bit_with_python(native_program):
    samples = [(math.sin(i), math.cos(i) / 3, -i / 100) for i in range(100)]
    query = pattern_query(samples) + "".join(f"sample {pip}\n" for pip in PIPS)
    lines = native_program("pattern_consumer.cpp", query).splitlines()
    assert lines[0] == "ok 100 3"
    python = kinetrope.SampledPattern("native", "", samples)
    assert [hex_floats(line) for line in lines[1:]] == [list(python.sample(pip).as_tuple()) for pip in PIPS]


Z = (0.0, 0.0, 0.0)


@pytest.mark.parametrize(
    "samples, dimensions",
    [
        ([Z, Z], 1),
        ([(0.5, 0.0, 0.0), (-1.0, 0.0, 0.0)], 1),
        ([Z, (0.0, -0.0, -0.0), (1.0, -0.0, 0.0)], 1),
        ([Z, (0.0, 0.1, 0.0), Z], 2),
        ([Z, (0.0, 0.0, -1.0), Z], 3),
        ([(0.0, 0.0, 0.5), (0.0, 0.5, 0.0)], 3),
        ([(0.0, 0.5, 0.0), (0.0, 0.0, 5e-324)], 3),
    ],
    ids=["still", "x-only", "negative-zero", "y", "one-z", "z-then-y", "y-then-tiny-z"],
)
def test_dimensions_are_derived_from_y_and_z(native_program, samples, dimensions):
    assert native_program("pattern_consumer.cpp", pattern_query(samples)) == f"ok {len(samples)} {dimensions}\n"


def test_longest_pattern_reports_its_full_period(native_program):
    assert native_program("pattern_consumer.cpp", pattern_query([Z] * 65535)) == "ok 65535 1\n"


@pytest.mark.parametrize(
    "name, samples, message",
    [
        ("Bad", [Z], "Invalid pattern name"),
        ("p", [], "A pattern requires 1..65535 samples (one per pip)"),
        ("p", [Z, (0.0, math.inf, 0.0)], "Pattern samples must be finite and within [-1, 1]"),
    ],
)
def test_native_constructor_failures(native_program, name, samples, message):
    assert native_program("pattern_consumer.cpp", pattern_query(samples, name)) == f"invalid_argument {message}\n"


def test_moved_from_pattern_reports_period_zero_and_refuses_sampling(native_program):
    query = pattern_query([Z] * 7) + "move\nsample 3\n"
    output = native_program("pattern_consumer.cpp", query)
    assert output.splitlines()[1:] == ["0 7", "logic_error Cannot sample a moved-from pattern"]


def test_native_recording_rows_agree_with_python(native_program):
    axes = ["x", "yaw"]
    rows = [[math.sin(i) / 2, -i / 20] for i in range(20)]
    pips = [-10, -1, 0, 9, -11, 10, INT32_MIN, INT32_MAX]
    query = recording_query(-10, axes, rows) + "".join(f"row {pip}\n" for pip in pips)
    lines = native_program("pattern_consumer.cpp", query).splitlines()
    assert lines[0] == "ok 20"
    python = kinetrope.SampledRecording("native", axes, rows, 120.0, 0.0, -10)
    assert [hex_floats(line) for line in lines[1:5]] == [python.sample(pip) for pip in pips[:4]]
    assert lines[5:] == ["out_of_range Pip outside non-looping recording"] * 4


def test_moved_from_recording_has_no_rows(native_program):
    query = recording_query(-10, ["x"], [[0.5]] * 4) + "move_recording\nrow -10\n"
    output = native_program("pattern_consumer.cpp", query)
    assert output.splitlines()[1:] == ["0 4", "out_of_range Pip outside non-looping recording"]


@pytest.mark.parametrize(
    "start_pip, axes, rows, message",
    [
        (INT32_MAX, ["x"], [[0.0]], "Empty recording or recording resource limit exceeded"),
        (0, ["x", "x"], [[0.0, 0.0]], "Duplicate axis"),
        (0, ["x"], [[1.5]], "Invalid sample"),
    ],
)
def test_native_recording_failures(native_program, start_pip, axes, rows, message):
    output = native_program("pattern_consumer.cpp", recording_query(start_pip, axes, rows))
    assert output == f"invalid_argument {message}\n"


def test_native_library_agrees_bit_for_bit_with_python(native_program):
    own = [(math.sin(i), math.cos(i) / 3, -i / 100) for i in range(100)]
    lookups = [("native", pip) for pip in PIPS] + [("lfo_breathe", 300), ("bounce", -1)]
    query = pattern_query(own) + "keep\nlibrary\n" + "".join(f"library_sample {n} {p}\n" for n, p in lookups)
    query += "library_sample nowhere 0\n"
    lines = native_program("pattern_consumer.cpp", query).splitlines()
    builtin_rows = len(kinetrope.catalogue())
    assert lines[1] == f"ok {builtin_rows + 1}"
    python = kinetrope.PatternLibrary([kinetrope.SampledPattern("native", "made natively", own)])
    assert [hex_floats(line) for line in lines[2:-1]] == [list(python.sample(n, p).as_tuple()) for n, p in lookups]
    assert lines[-1] == "invalid_argument Unknown dance rudiment: nowhere"


@pytest.mark.parametrize(
    "queue, message",
    [
        ("keep_moved\n", "Empty/moved-from pattern"),
        ("keep\nkeep\n", "Duplicate pattern name: native"),
        ("keep\nkeep_moved\n", "Empty/moved-from pattern"),
    ],
    ids=["moved-from", "duplicate", "moved-from-after-its-original"],
)
def test_native_library_refuses_moved_from_and_duplicate_patterns(native_program, queue, message):
    output = native_program("pattern_consumer.cpp", pattern_query([Z] * 3) + queue + "library\n")
    assert output.splitlines()[1:] == [f"invalid_argument {message}"]
