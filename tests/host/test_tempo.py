"""TempoMap: seconds to pips and back for constant tempo, tempo changes and
beat times; exact at its knots, monotone, and strict about its input."""

import math

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from kinetrope_host.clocks.tempo import TempoMap

SONG = TempoMap.from_changes([(0, 120), (8, 90), (8.5, 174.5), (40, 60)])
TAPPED = TempoMap.from_beat_times([10.0, 10.52, 11.01, 11.49, 12.02], downbeat=1)
MAPS = {"constant": TempoMap.constant(128), "changes": SONG, "beats": TAPPED}


def test_constant_tempo():
    tempo = TempoMap.constant(120)
    assert tempo.pip_at(0.0) == 0.0
    assert tempo.pip_at(0.5) == 64.0
    assert tempo.pip_at(-0.25) == -32.0
    assert tempo.seconds_at(128 * 60) == 60.0
    assert tempo.bpm_at(-100.0) == tempo.bpm_at(1e6) == 120.0


def test_tempo_changes_take_effect_at_their_beats():
    # 8 beats at 120 take 4 s, half a beat at 90 another 1/3 s.
    assert SONG.seconds_at(8 * 64) == 4.0
    assert SONG.pip_at(4.0) == 512.0
    assert SONG.seconds_at(8.5 * 64) == pytest.approx(4.0 + 1 / 3, abs=1e-15)
    assert SONG.bpm_at(3.999) == 120.0 and SONG.bpm_at(4.0) == 90.0 and SONG.bpm_at(4.2) == 90.0
    assert SONG.bpm_at(4.34) == 174.5
    # Before the first change the first tempo runs backwards, after the last the last one on.
    assert SONG.pip_at(-1.0) == -128.0
    assert SONG.bpm_at(1e5) == 60.0
    end = SONG.seconds_at(40 * 64)
    assert SONG.pip_at(end + 10.0) == pytest.approx(40 * 64 + 640, abs=1e-9)


def test_beat_times_are_the_beats_and_the_edges_keep_the_outer_intervals():
    assert TAPPED.pip_at(10.52) == 0.0  # the downbeat
    assert [TAPPED.seconds_at(64 * k) for k in range(-1, 4)] == [10.0, 10.52, 11.01, 11.49, 12.02]
    assert TAPPED.pip_at(10.0 + 0.26) == pytest.approx(-32.0, abs=1e-12)
    # Before the first beat, the first interval's tempo; after the last, the last one's.
    assert TAPPED.bpm_at(0.0) == pytest.approx(60 / 0.52)
    assert TAPPED.pip_at(10.0 - 0.52) == pytest.approx(-128.0, abs=1e-12)
    assert TAPPED.bpm_at(50.0) == pytest.approx(60 / 0.53)
    assert TAPPED.pip_at(12.02 + 0.53 * 2) == pytest.approx(5 * 64, abs=1e-12)


@pytest.mark.parametrize("kind", MAPS)
@settings(max_examples=300, deadline=None)
@given(pip=st.integers(-(2**40), 2**40))
def test_whole_pips_survive_the_round_trip(kind, pip):
    tempo = MAPS[kind]
    assert tempo.pip_at(tempo.seconds_at(pip)) == pip


@pytest.mark.parametrize("kind", MAPS)
@settings(max_examples=200, deadline=None)
@given(a=st.floats(-1e7, 1e7), b=st.floats(-1e7, 1e7))
def test_monotone(kind, a, b):
    tempo = MAPS[kind]
    low, high = sorted((a, b))
    assert tempo.pip_at(low) <= tempo.pip_at(high)
    assert tempo.seconds_at(low) <= tempo.seconds_at(high)


def test_monotone_across_a_knot_at_float_resolution():
    # Next to a knot the two segments' formulas meet exactly, not within a rounding.
    knot = 11.01
    times = [math.nextafter(knot, -1.0), knot, math.nextafter(knot, 99.0)]
    pips = [TAPPED.pip_at(t) for t in times]
    assert pips[0] <= pips[1] == 64.0 <= pips[2]


def test_past_the_32_bit_pip_range_pips_keep_counting():
    tempo = TempoMap.constant(120)
    year = 365.25 * 24 * 3600
    assert tempo.pip_at(year) == year * 128 > 2**31
    assert tempo.pip_at(-year) == -year * 128
    assert tempo.seconds_at(2**33) == 2**33 / 128


@pytest.mark.parametrize(
    "build, message",
    [
        (lambda: TempoMap.constant(0), "bpm of tempo change 0 is not positive: 0"),
        (lambda: TempoMap.constant(-5), "bpm of tempo change 0 is not positive: -5"),
        (lambda: TempoMap.constant(math.inf), "bpm of tempo change 0 is not finite: inf"),
        (lambda: TempoMap.constant(math.nan), "bpm of tempo change 0 is not finite: nan"),
        (lambda: TempoMap.from_changes([]), "no tempo changes given"),
        (lambda: TempoMap.from_changes([(1, 120)]), "tempo change 0 is at beat 1; the first change must be at beat 0"),
        (lambda: TempoMap.from_changes([(0, 120), (4, 100), (4, 90)]),
         "beat of tempo change 2 (4) is not after the one before it"),
        (lambda: TempoMap.from_changes([(0, 120), (4, "fast")]), "bpm of tempo change 1 is not a number: 'fast'"),
        (lambda: TempoMap.from_changes([(0, 120, 3)]), "tempo change 0 is not a (beat, bpm) pair: (0, 120, 3)"),
        (lambda: TempoMap.from_beat_times([]), "at least two beat times are needed, 0 given"),
        (lambda: TempoMap.from_beat_times([1.0]), "at least two beat times are needed, 1 given"),
        (lambda: TempoMap.from_beat_times([0.0, 0.5, 0.5]), "beat time 2 (0.5) is not after beat time 1 (0.5)"),
        (lambda: TempoMap.from_beat_times([0.0, 0.5, 0.4]), "beat time 2 (0.4) is not after beat time 1 (0.5)"),
        (lambda: TempoMap.from_beat_times([0.0, math.nan]), "beat time 1 is not finite: nan"),
        (lambda: TempoMap.from_beat_times([0.0, 0.5], downbeat=2), "downbeat 2 is not an index of the 2 beat times"),
        (lambda: TempoMap.constant(120).pip_at(math.inf), "time in seconds is not finite: inf"),
        (lambda: TempoMap.constant(120).seconds_at(math.nan), "pip is not finite: nan"),
    ],
)
def test_bad_input_is_refused_naming_the_item(build, message):
    with pytest.raises(ValueError) as raised:
        build()
    assert str(raised.value) == message
