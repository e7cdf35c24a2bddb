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


# Each groove as a drummer reads it: main (half loudness or more) kicks and
# backbeats (snare, clap, rim) bar by bar, in sixteenths from the bar line
# (fractions are swung or tuplet notes), and the voices playing off the grid.
# Straight grooves have none; swung ones put every swung voice off it.
DRUMMER_READS = [
    ("four_floor", "0 4 8 12", "", ""),
    ("house_classic", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("house_shuffle", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", "hat"),
    ("house_jack", "0 4 8 12 | 0 4 8 12", "4 12 | 4 32/3 12 44/3", "clap hat kick"),
    ("techno_drive", "0 4 8 12 | 0 4 8 12", "12 | 12", ""),
    ("techno_toms", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("techno_broken", "0 3 6 11 | 0 4 7 10", "4 12 | 4 12", ""),
    ("techno_polymeter", "0 4 8 12 | 0 4 8 12 | 0 4 8 12", "4 12 | 4 12 | 4 12", ""),
    ("ukg_two_step", "0 10 | 0 10", "4 12 | 4 12", "hat"),
    ("ukg_skip", "0 22/3 10 | 0 10 40/3", "4 12 | 4 12 46/3", "hat kick snare"),
    ("ukg_four_four", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", "hat rim"),
    ("speed_garage", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", "bass hat"),
    ("bassline", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", "bass hat"),
    ("grime_sparse", "0 | 0 6", "8 | 8", ""),
    ("grime_syncopated", "0 7 14 | 0 9", "6 8 | 4 11 14", ""),
    ("grime_half", "0 | 0 14", "8 | 8", ""),
    ("drill_tresillo", "0 14 | 0 7", "8 | 8", ""),
    ("drill_displaced", "0 10 | 0 6", "8 | 12", ""),
    ("drill_rolls", "0 14 | 0 10", "8 | 8", "hat"),
    ("amen_four_bar", "0 2 10 11 | 0 2 10 11 | 0 2 10 | 2 3 10", "4 12 | 4 12 | 4 14 | 1 4 14", ""),
    ("amen_no_ghosts", "0 2 10 11 | 0 2 10 11 | 0 2 10 | 2 3 10", "4 12 | 4 12 | 4 14 | 1 4 14", ""),
    ("jungle_chops", "0 6 13 | 0 2 10", "4 11 | 4 12 14", ""),
    ("jungle_ghosts", "0 2 10 | 0 6", "4 12 | 4 12", "snare"),
    ("jungle_switch", "0 2 10 | 0 2 10 | 0 14 | 0 9", "4 12 | 4 12 | 8 | 8", ""),
    ("dnb_two_step", "0 10 | 0 10", "4 12 | 4 12", ""),
    ("dnb_rolling", "0 10 13 | 0 10", "4 12 | 4 12", ""),
    ("dnb_half", "0 | 0 10", "8 | 8", ""),
    ("dubstep_half", "0 | 0", "8 | 8", ""),
    ("dubstep_skip", "0 6 15 | 0 32/3", "8 | 8 14", "bass hat kick"),
    ("trap_trills", "0 7 10 | 0 10 15", "8 | 8", "hat"),
    ("electro", "0 6 10 | 0 6 13", "4 12 | 4 12", ""),
    ("trance", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("rave_breaks", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12 14", ""),
    ("dembow", "0 4 8 12 | 0 4 8 12", "3 6 11 14 | 3 6 11 14", ""),
    ("disco", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("amapiano", "0 8 | 0 8", "4 12 | 4 12", ""),
    ("jersey_five", "0 4 8 11 14 | 0 4 8 11 14", "4 12 | 4 12", ""),
    ("jersey_call", "0 4 8 11 14 | 0 3 6 8 10 12 14", "4 12 | 4 14", ""),
    ("footwork_triplet", "0 3 6 9 12 | 0 3 6 9 14", "8 | 8", "bass"),
    ("footwork_sparse", "0 3 14 | 0 9", "8 | 8", ""),
    ("funky_toms", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("funky_syncopated", "0 6 12 | 0 6 10", "4 10 15 | 4 14", ""),
    ("broken_push", "0 6 9 | 0 7 10", "3 11 | 5 13", ""),
    ("broken_shuffle", "0 20/3 44/3 | 0 32/3", "8/3 4 20/3 32/3 12 44/3 | 8/3 4 20/3 32/3 12 44/3", "bass kick rim"),
    ("afro_bell", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("afro_cross", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", "perc"),
    ("gqom_space", "0 3 6 | 0 3 10", "12 | 12", ""),
    ("gqom_exchange", "0 6 14 | 0 6", "8 | 8", ""),
    ("baile_toms", "0 3 6 8 14 | 0 3 6 8 14", "12 | 12", ""),
    ("baile_response", "0 3 6 8 | 0 3 8 14", "6 12 | 5 12", ""),
    ("reggae_one_drop", "8 | 8", "8 | 8", ""),
    ("reggae_steppers", "0 4 8 12 | 0 4 8 12", "8 | 8", ""),
    ("reggae_rockers", "0 8 | 0 8", "8 | 8", ""),
    ("son_clave_32", "0 4 8 12 | 0 4 8 12", "12 | 12", ""),
    ("son_clave_23", "0 4 8 12 | 0 4 8 12", "12 | 12", ""),
    ("psy_rolling", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("psy_offbeat", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("hard_reverse", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("italo_machine", "0 4 8 12 | 0 4 8 12", "3 4 9 12 14 | 3 4 6 12 13", ""),
    ("electro_robot", "0 7 10 | 0 2 13", "4 12 | 4 10 12", ""),
    ("acid_percussion", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("techno_rumble", "0 4 8 12 | 0 4 8 12", "4 12 | 4 12", ""),
    ("ukg_rim_shuffle", "0 10 | 0 22/3 10", "4 22/3 12 14 | 4 22/3 10 12", "hat kick rim"),
    ("dnb_push", "0 3 10 11 | 0 3 10 11", "4 12 | 4 12", ""),
    ("jungle_switchback", "0 2 10 | 2 8 10", "4 12 | 0 12 14", ""),
    ("amapiano_answer", "0 4 8 12 | 0 4 8 12", "8 | 8", ""),
    ("dancehall_space", "0 | 0 8", "6 14 | 6", ""),
    ("dembow_push", "0 4 8 12 15 | 0 4 8 12 14 15", "3 6 11 14 | 3 6 11 14", ""),
]


def main_positions(score, voices):
    bars = []
    for bar in range(score.period // 256):
        notes = [e for e in score.of(*voices) if 256 * bar <= e.pip < 256 * (bar + 1) and e.velocity >= Fraction(1, 2)]
        bars.append(" ".join(str((e.pip - 256 * bar) / 16) for e in notes))
    return " | ".join(bars)


def test_every_groove_is_read_by_its_facts():
    assert [row[0] for row in DRUMMER_READS] == [g[0] for g in GROOVES]
    for stem, kicks, backbeats, off_grid in DRUMMER_READS:
        score = read_score(stem)
        assert main_positions(score, ["kick"]) == kicks, stem
        assert main_positions(score, ["snare", "clap", "rim"]) == backbeats, stem
        assert " ".join(sorted({e.voice for e in score.events if e.step is None})) == off_grid, stem


def test_no_closed_and_open_hat_share_a_step():
    for stem, *_ in DRUMMER_READS:
        score = read_score(stem)
        assert not set(score.steps("hat")) & set(score.steps("open")), stem


SHUFFLED = ["house_shuffle", "house_jack", "ukg_two_step", "ukg_skip", "ukg_four_four", "speed_garage", "bassline",
            "ukg_rim_shuffle", "broken_shuffle"]


@pytest.mark.parametrize("stem", SHUFFLED)
def test_a_shuffled_groove_swings_every_voice_alike(stem):
    """One swing grid per groove: two voices a few pips apart are a flam, one
    swung and the other left straight (or swung to another grid)."""
    events = read_score(stem).events
    flams = [
        (a.voice, a.pip, b.voice, b.pip)
        for a in events
        for b in events
        if a.voice < b.voice and 0 < abs(a.pip - b.pip) < 8 and (a.step is None or b.step is None)
    ]
    assert not flams
    assert any(e.step is None for e in events)
