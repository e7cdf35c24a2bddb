import math
from decimal import Decimal

import pytest
from kinetrope import SampledRecording

from formula_table import INT32_MAX, INT32_MIN
from host_data import assert_refused_without_leftover, raises_exactly

BAD_IDENTIFIER = "Invalid identifier"
BAD_TIMING = "A finite positive BPM and beat origin are required"
BAD_SIZE = "Empty recording or recording resource limit exceeded"
DUPLICATE_AXIS = "Duplicate axis"
RAGGED = "Ragged recording"
BAD_SAMPLE = "Invalid sample"
OUTSIDE = "Pip outside non-looping recording"

MAX_VALUES = 8388608


def recording(name="take", axes=("x",), rows=([0.0],), bpm=120.0, beat_zero_seconds=0.0, start_pip=0):
    return SampledRecording(name, list(axes), list(rows), bpm, beat_zero_seconds, start_pip)


@pytest.fixture(scope="module")
def rows_past_the_cap():
    """One row more than the value cap allows, for one, two and three axes.
    Rows share one list object, so building them costs only the outer list."""
    return {axes: [[0.0] * axes] * (MAX_VALUES // axes + 1) for axes in (1, 2, 3)}


def test_members_in_registration_order_without_docstrings():
    members = [name for name in vars(SampledRecording) if not name.startswith("_")]
    assert members == ["name", "dimensions", "sample_count", "bpm", "beat_zero_seconds", "start_pip", "sample"]
    assert SampledRecording.__doc__ is None
    assert SampledRecording.sample.__doc__.strip().startswith("sample(self: kinetrope.SampledRecording, pip: int)")


def test_properties_read_back_and_cannot_be_set():
    r = SampledRecording("take_2", ["x", "yaw"], [[0.5, -0.5]] * 3, 92.5, beat_zero_seconds=-3.5, start_pip=-7)
    assert (r.name, r.dimensions, r.sample_count) == ("take_2", ["x", "yaw"], 3)
    assert (r.bpm, r.beat_zero_seconds, r.start_pip) == (92.5, -3.5, -7)
    assert (type(r.bpm), type(r.sample_count)) == (float, int)
    r.dimensions.append("z")
    assert r.dimensions == ["x", "yaw"]
    for attribute in ("name", "dimensions", "sample_count", "bpm", "beat_zero_seconds", "start_pip", "extra"):
        with pytest.raises(AttributeError):
            setattr(r, attribute, 1)


def test_defaults_and_keywords():
    r = SampledRecording(name="r", dimensions=["x"], samples=[[0.25]], bpm=60)
    assert (r.beat_zero_seconds, r.start_pip, r.sample(0)) == (0.0, 0, [0.25])


@pytest.mark.parametrize("name", ["", "a" * 129, "Take", "1take", "_t", "t-1", "t 1", "tàke"])
def test_invalid_recording_names_are_refused(name):
    with raises_exactly(ValueError, BAD_IDENTIFIER):
        recording(name=name)


@pytest.mark.parametrize(
    "axes, message",
    [
        (["x", "y", "z"], None),
        (["a" * 128], None),
        (["x", "x"], DUPLICATE_AXIS),
        (["x", "y", "x"], DUPLICATE_AXIS),
        (["X"], BAD_IDENTIFIER),
        (["x", "1x"], BAD_IDENTIFIER),
        (["x", "a" * 129], BAD_IDENTIFIER),
        (["x", "x", "Y"], DUPLICATE_AXIS),
        (["Y", "x", "x"], BAD_IDENTIFIER),
    ],
)
def test_axis_names(axes, message):
    rows = [[0.0] * len(axes)]
    if message is None:
        assert recording(axes=axes, rows=rows).dimensions == axes
    else:
        with raises_exactly(ValueError, message):
            recording(axes=axes, rows=rows)


@pytest.mark.parametrize(
    "bpm, beat_zero_seconds",
    [(0.0, 0.0), (-0.0, 0.0), (-120.0, 0.0), (math.nan, 0.0), (math.inf, 0.0), (-math.inf, 0.0), (1e-308, 0.0),
     (3e-307, 0.0), (5e-324, 0.0), (120.0, math.nan), (120.0, math.inf), (120.0, -math.inf)],
)
def test_timing_out_of_bounds_is_refused(bpm, beat_zero_seconds):
    with raises_exactly(ValueError, BAD_TIMING):
        recording(bpm=bpm, beat_zero_seconds=beat_zero_seconds)


@pytest.mark.parametrize("bpm, beat_zero_seconds", [(120.0, -3.5), (1e-306, 1e300), (1e308, -1e308), (4e-307, 0.0)])
def test_timing_within_bounds_is_kept(bpm, beat_zero_seconds):
    r = recording(bpm=bpm, beat_zero_seconds=beat_zero_seconds)
    assert (r.bpm, r.beat_zero_seconds) == (bpm, beat_zero_seconds)


@pytest.mark.parametrize("axes", [1, 2, 3])
def test_value_cap_at_its_edge_is_accepted(rows_past_the_cap, axes):
    row_count = MAX_VALUES // axes
    r = SampledRecording("big", ["x", "y", "z"][:axes], rows_past_the_cap[axes][:-1], 120.0)
    assert r.sample_count == row_count
    assert r.sample(row_count - 1) == [0.0] * axes


@pytest.mark.parametrize("axes", [1, 2, 3])
def test_value_cap_past_its_edge_is_refused(rows_past_the_cap, axes):
    with raises_exactly(ValueError, BAD_SIZE):
        SampledRecording("big", ["x", "y", "z"][:axes], rows_past_the_cap[axes], 120.0)


@pytest.mark.parametrize(
    "start_pip, row_count, accepted",
    [(INT32_MAX - 1, 1, True), (INT32_MAX, 1, False), (INT32_MAX - 20, 20, True), (INT32_MAX - 20, 21, False),
     (INT32_MIN, 1, True), (-5, 3, True)],
)
def test_rows_must_end_before_the_last_pip(start_pip, row_count, accepted):
    rows = [[0.0]] * row_count
    if accepted:
        assert recording(rows=rows, start_pip=start_pip).sample(start_pip + row_count - 1) == [0.0]
    else:
        with raises_exactly(ValueError, BAD_SIZE):
            recording(rows=rows, start_pip=start_pip)


@pytest.mark.parametrize("axes, rows", [([], [[]]), ([], [[0.0]]), (["x"], [])])
def test_empty_recordings_are_refused(axes, rows):
    with raises_exactly(ValueError, BAD_SIZE):
        recording(axes=axes, rows=rows)


@pytest.mark.parametrize("value", [1.0, -1.0, -0.0, 5e-324])
def test_values_at_the_edges_are_kept(value):
    assert recording(axes=["x", "y"], rows=[[0.0, 0.0], [0.0, value]]).sample(1) == [0.0, value]


@pytest.mark.parametrize("value", [1.0000001, math.nextafter(-1.0, -2.0), 2.0, math.nan, math.inf, -math.inf])
def test_values_out_of_range_are_refused(value):
    with raises_exactly(ValueError, BAD_SAMPLE):
        recording(axes=["x", "y"], rows=[[0.0, 0.0], [0.0, value]])


@pytest.mark.parametrize("rows", [[[0.0]], [[0.0, 0.0, 0.0]], [[0.0, 0.0], []], [[0.0, 0.0], [0.0]]])
def test_rows_must_match_the_axis_count(rows):
    with raises_exactly(ValueError, RAGGED):
        recording(axes=["x", "y"], rows=rows)


@pytest.mark.parametrize(
    "arguments, message",
    [
        ({"name": "Bad", "bpm": math.nan}, BAD_IDENTIFIER),
        ({"bpm": math.nan, "axes": []}, BAD_TIMING),
        ({"beat_zero_seconds": math.inf, "start_pip": INT32_MAX}, BAD_TIMING),
        ({"axes": [], "rows": [[0.0, 0.0]]}, BAD_SIZE),
        ({"axes": ["X"], "start_pip": INT32_MAX}, BAD_SIZE),
        ({"axes": ["x", "x"], "rows": [[0.0]]}, DUPLICATE_AXIS),
        ({"axes": ["x", "Y"], "rows": [[2.0, 0.0, 0.0]]}, BAD_IDENTIFIER),
        ({"axes": ["x"], "rows": [[2.0], [0.0, 0.0]]}, BAD_SAMPLE),
        ({"axes": ["x"], "rows": [[0.0, 0.0], [2.0]]}, RAGGED),
    ],
)
def test_checks_run_in_order(arguments, message):
    with raises_exactly(ValueError, message):
        recording(**arguments)


def test_each_pip_answers_its_own_row():
    rows = [[i / 20, -i / 20] for i in range(20)]
    r = recording(axes=["x", "y"], rows=rows, start_pip=-10)
    assert [r.sample(pip) for pip in range(-10, 10)] == rows


@pytest.mark.parametrize(
    "start_pip, row_count, pip",
    [(-10, 20, -11), (-10, 20, 10), (-10, 20, INT32_MIN), (-10, 20, INT32_MAX), (INT32_MIN, 1, INT32_MAX),
     (INT32_MAX - 1, 1, INT32_MAX), (INT32_MAX - 1, 1, INT32_MIN)],
)
def test_pips_outside_the_rows_are_refused(start_pip, row_count, pip):
    with raises_exactly(IndexError, OUTSIDE):
        recording(rows=[[0.0]] * row_count, start_pip=start_pip).sample(pip)


@pytest.mark.parametrize("pip", [0.0, Decimal("0"), "0", None])
def test_sample_pip_is_strict(pip):
    with pytest.raises(TypeError):
        recording().sample(pip)


def test_sample_pip_takes_bool_and_index():
    class Index:
        def __index__(self):
            return 1

    r = recording(rows=[[0.0], [0.5]])
    assert r.sample(True) == r.sample(Index()) == r.sample(pip=1) == [0.5]


def test_constructor_converts_sequences_and_numbers():
    class Index:
        def __index__(self):
            return 0

    rows = (row for row in [(0, 1), [True, Decimal("-0.5")]])
    r = SampledRecording(b"take", {"x": 0, "y": 1}.keys(), rows, Decimal(120), Index(), Decimal("-3.9"))
    assert (r.name, r.dimensions, r.bpm, r.beat_zero_seconds, r.start_pip) == ("take", ["x", "y"], 120.0, 0.0, -3)
    assert [r.sample(-3), r.sample(-2)] == [[0.0, 1.0], [1.0, -0.5]]


@pytest.mark.parametrize(
    "arguments",
    [("take", "x", [[0.0]], 120), ("take", ["x"], [0.0], 120), ("take", ["x"], [[0.0]], "120"),
     ("take", ["x"], [[0.0]], 120, 0, 0.0), (None, ["x"], [[0.0]], 120), ("take", ["x"], [[0.0]], 120, 0, 2**31)],
    ids=["str-axes", "flat-rows", "str-bpm", "float-start", "none-name", "start-out-of-range"],
)
def test_constructor_refuses_unconvertible_arguments(arguments):
    with pytest.raises(TypeError):
        SampledRecording(*arguments)


def test_failed_constructor_leaves_no_object():
    assert_refused_without_leftover(SampledRecording, ("take", ["x"], [[0.0], []], 120.0), ValueError, RAGGED)
