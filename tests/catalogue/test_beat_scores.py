"""What the groove scores claim to be, read straight from the score files."""

from fractions import Fraction

import pytest
from beat_rows import CLUB_GROOVES, DANCEFLOOR_GROOVES
from beat_scores import read_score

GROOVES = [g[:4] for g in CLUB_GROOVES] + list(DANCEFLOOR_GROOVES)
MAIN = Fraction(7, 9)  # loudness of a main (not ghost) stroke


def per_bar(steps, bar):
    return [s - 16 * bar for s in steps if 16 * bar <= s < 16 * (bar + 1)]


@pytest.mark.parametrize("stem, period, dims", [(g[0], g[2], g[3]) for g in GROOVES])
def test_score_spans_the_period_and_depth_voices_match_the_dimensions(stem, period, dims):
    score = read_score(stem)
    assert score.period == period
    assert all(0 <= e.pip < period and 0 < e.velocity <= 1 for e in score.events)
    # Bass and cymbals are what give bounce and step their depth.
    assert bool(score.of("bass", "ride", "crash")) == (dims == 3)


def test_four_floor_is_four_kicks_and_nothing_else():
    score = read_score("four_floor")
    assert [(e.voice, e.pip, e.velocity) for e in score.events] == [("kick", 64 * b, 1) for b in range(4)]


def test_ukg_two_step_backbeats_and_the_kick_on_the_and_of_three():
    score = read_score("ukg_two_step")
    for bar in range(2):
        assert per_bar(score.steps("snare"), bar) == [4, 12]
        assert per_bar(score.steps("kick"), bar) == [0, 10]
    assert [e for e in score.of("hat") if e.step is None]


def test_techno_polymeter_closes_with_the_kick_after_three_bars():
    score = read_score("techno_polymeter")
    perc = score.steps("perc")
    assert score.period == 768 and perc == list(range(0, 48, 3))
    bars = [per_bar(perc, bar) for bar in range(3)]
    assert len({tuple(b) for b in bars}) == 3
    assert per_bar(score.steps("kick"), 0) == [0, 4, 8, 12]
    # the first step after step 0 where both layers start together again
    assert next(s for s in range(1, 100) if s % 3 == 0 and s % 16 == 0) == 48


def test_drill_tresillo_groups_hats_three_three_two_on_the_grid():
    hats = read_score("drill_tresillo").of("hat")
    assert all(e.step is not None for e in hats)
    steps = [e.step for e in hats]
    gaps = [b - a for a, b in zip(steps, steps[1:] + [steps[0] + 32])]
    assert gaps == [3, 3, 2] * (len(gaps) // 3)


def test_drill_displaced_moves_the_snare_from_beat_three_to_beat_four():
    snares = read_score("drill_displaced").steps("snare")
    assert snares == [8, 16 + 12]


def test_drill_rolls_adds_a_rational_tuplet_fill():
    hats = [e.pip for e in read_score("drill_rolls").of("hat")]
    fill = [p for p in hats if p >= 448]  # the last beat
    assert fill == [448 + Fraction(32, 3) * k for k in range(6)]
    assert [p for p in fill if p.denominator == 3]
    # the rest stays the grouped 3+3+2 pattern of drill_tresillo
    assert [p for p in hats if p < 448] == [e.pip for e in read_score("drill_tresillo").of("hat") if e.pip < 448]


def test_amen_no_ghosts_is_the_amen_with_only_quiet_snares_removed():
    full, plain = read_score("amen_four_bar"), read_score("amen_no_ghosts")
    ghosts = [e for e in full.events if e.voice == "snare" and e.velocity < Fraction(1, 2)]
    assert ghosts
    assert [e for e in full.events if e not in ghosts] == list(plain.events)
    assert full.period == 1024


def test_jungle_switch_thins_its_main_snares_in_the_final_half():
    mains = [e.pip for e in read_score("jungle_switch").of("snare") if e.velocity >= MAIN]
    first, last = [p for p in mains if p < 512], [p for p in mains if p >= 512]
    assert 0 < len(last) < len(first)


@pytest.mark.parametrize(
    "stem, clave", [("son_clave_32", [[0, 6, 12], [4, 8]]), ("son_clave_23", [[4, 8], [0, 6, 12]])]
)
def test_son_clave_carries_its_clave(stem, clave):
    perc = read_score(stem).steps("perc")
    assert [per_bar(perc, bar) for bar in range(2)] == clave


@pytest.mark.parametrize(
    "stem, kicks", [("reggae_one_drop", [8]), ("reggae_steppers", [0, 4, 8, 12]), ("reggae_rockers", [0, 8])]
)
def test_reggae_kicks_sit_where_the_name_says(stem, kicks):
    steps = read_score(stem).steps("kick")
    assert [per_bar(steps, bar) for bar in range(2)] == [kicks, kicks]


def test_dembow_keeps_quarter_kicks_with_offbeat_snare_answers():
    score = read_score("dembow")
    assert score.steps("kick") == list(range(0, 32, 4))
    assert score.steps("snare") == [s + 8 * half for half in range(4) for s in (3, 6)]


@pytest.mark.parametrize("stem", ["house_shuffle", "ukg_two_step", "ukg_four_four", "house_jack"])
def test_shuffled_grooves_swing_their_hats_off_the_grid(stem):
    off = [e.pip for e in read_score(stem).of("hat") if e.step is None]
    assert off and all(p.denominator == 3 for p in off)


def test_jersey_five_has_five_kicks_a_bar():
    steps = read_score("jersey_five").steps("kick")
    assert [len(per_bar(steps, bar)) for bar in range(2)] == [5, 5]


def test_afro_cross_lays_three_strokes_over_four_beats():
    perc = [e.pip for e in read_score("afro_cross").of("perc")]
    assert perc == [Fraction(256 * k, 3) for k in range(6)]


def test_techno_broken_leaves_the_quarter_note_kick():
    steps = read_score("techno_broken").steps("kick")
    assert any(s % 4 for s in steps)
