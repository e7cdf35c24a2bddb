"""The club and dancefloor collections: their rows as listed, the exactly
given four_floor rows recomputed here, the range table and what each motion
is seen to do."""

import cmath
import math
import statistics
from itertools import combinations, pairwise

import pytest
from beat_rows import (
    AMEN_CLOSING,
    CLUB_GROOVES,
    CLUB_MOTION_SENTENCES,
    DANCEFLOOR_GLIDE_LABEL,
    DANCEFLOOR_GROOVES,
    MOTIONS,
    SPEED_GARAGE_OPENING,
)
from beat_scores import read_score
from builtin_tables import axis, declared_patterns, registry_rows, table

DASH = " \u2014 "
SUFFIXES = [m[0] for m in MOTIONS]
CLUB_SUFFIXES, DANCEFLOOR_SUFFIXES = SUFFIXES[:4], SUFFIXES[4:]
ALL_GROOVES = [g[:4] for g in CLUB_GROOVES] + list(DANCEFLOOR_GROOVES)
ROWS = {row["name"]: row for row in registry_rows()}


def collection_rows(collection):
    names = {name for c, name in declared_patterns() if c == collection}
    return [row for row in registry_rows() if row["name"] in names]


def club_rows():
    return collection_rows("club")


def dancefloor_rows():
    return collection_rows("dancefloor")


def dims(stem, suffix, groove_dims):
    if suffix in ("bounce", "step"):
        return groove_dims
    return 2 if (stem, suffix) == ("four_floor", "orbit") else 3


def expected_rows():
    """(collection, name, period, dims) in registry order."""
    club = [
        ("club", f"beat_{stem}_{s}", period, dims(stem, s, d)) for stem, _, period, d, _ in CLUB_GROOVES for s in CLUB_SUFFIXES
    ]
    dance = [
        ("dancefloor", f"beat_{stem}_{s}", period, 3)
        for stem, _, period, _, _ in CLUB_GROOVES
        for s in DANCEFLOOR_SUFFIXES
    ]
    dance += [
        ("dancefloor", f"beat_{stem}_{s}", period, dims(stem, s, d)) for stem, _, period, d in DANCEFLOOR_GROOVES for s in SUFFIXES
    ]
    return club + dance


def test_rows_in_registry_order_with_periods_and_dimensions():
    got = [(r["name"], r["period_pips"], r["dimensions"]) for r in club_rows() + dancefloor_rows()]
    assert got == [row[1:] for row in expected_rows()]
    assert [c for c, _ in declared_patterns() if c in ("club", "dancefloor")] == [row[0] for row in expected_rows()]


def expected_descriptions():
    labels = {m[0]: m[1] for m in MOTIONS}
    sentences = {m[0]: m[2] for m in MOTIONS}
    out = {}
    for stem, title, _, _, sentence in CLUB_GROOVES:
        for s in CLUB_SUFFIXES:
            out[f"beat_{stem}_{s}"] = (title + DASH + labels[s] + ". ", sentence)
        for s in DANCEFLOOR_SUFFIXES:
            out[f"beat_{stem}_{s}"] = (title + DASH + labels[s] + ". ", sentences[s])
    for stem, title, _, _ in DANCEFLOOR_GROOVES:
        for s in SUFFIXES:
            label = DANCEFLOOR_GLIDE_LABEL if s == "glide" else labels[s]
            out[f"beat_{stem}_{s}"] = (title + DASH + label + ". ", CLUB_MOTION_SENTENCES.get(s, sentences[s]))
    return out


def test_every_description_is_composed_from_title_label_and_sentence():
    expected = expected_descriptions()
    open_wording = []
    for row in club_rows() + dancefloor_rows():
        head, sentence = expected[row["name"]]
        if sentence is None:
            assert row["description"].startswith(head)
            open_wording.append(row["description"][len(head) :])
        else:
            assert row["description"] == head + sentence, row["name"]
    assert len(open_wording) == 8


@pytest.mark.parametrize("suffix", CLUB_SUFFIXES)
def test_speed_garage_sentence_names_the_synthesiser(suffix):
    sentence = ROWS[f"beat_speed_garage_{suffix}"]["description"].split(". ", 1)[1]
    assert sentence.startswith(SPEED_GARAGE_OPENING)
    second = sentence[len(SPEED_GARAGE_OPENING) :]
    assert second.isascii() and second.isprintable() and second.endswith(".")
    assert "synthesiser" in second and "bass patch" in second


def test_amen_credit_line_makes_the_longest_description():
    description = ROWS["beat_amen_four_bar_glide"]["description"]
    head = "Amen / four-bar structural study" + DASH + "Bass-and-phrase glide. "
    credit = description[len(head) : -len(AMEN_CLOSING)]
    assert description.startswith(head) and description.endswith(AMEN_CLOSING)
    assert len(credit.encode()) == 49 and credit.isascii() and credit.isprintable()
    assert all(word in credit for word in ("Coleman", "Winstons", "Amen, Brother"))
    assert len(description.encode()) == 235
    assert max(len(r["description"].encode()) for r in registry_rows()) == 235


def test_empty_groove_sentence_keeps_the_trailing_blank():
    assert ROWS["beat_house_classic_bounce"]["description"] == "House / kick-clap-offbeat hat \u2014 Kick-led bounce. "
    assert "\u2014".encode() == b"\xe2\x80\x94"
    assert ROWS["beat_jersey_five_glide"]["description"].startswith("Jersey / five-kick foundation \u2014 Bass / phrase")
    assert "Bass-and-phrase glide" in ROWS["beat_house_classic_glide"]["description"]


def test_club_and_dancefloor_names_never_meet():
    club = {r["name"] for r in club_rows()}
    dance = {r["name"] for r in dancefloor_rows()}
    assert "beat_house_classic_bounce" in club and "beat_house_classic_bounce" not in dance
    assert not any(n.startswith("beat_jersey_five_") for n in club)
    assert not club & dance


# The exactly given rows, from the gesture's own words.
def kick_weight(d):
    if -6.4 < d <= 0:
        return math.cos(math.pi * d / (2 * 6.4)) ** 2
    if 0 < d < 29.44:
        return math.cos(math.pi * d / (2 * 29.44)) ** 2
    return 0.0


def around(p, e, n):
    d = (p - e) % n
    return d - n if d > n / 2 else d


def four_floor(vectors):
    return [
        tuple(sum(v[i] * kick_weight(around(p, 64 * b, 256)) for b, v in enumerate(vectors)) for i in range(3))
        for p in range(256)
    ]


def close_to(expected):
    """Stored values are the rule's values rounded to 12 decimals."""
    return [pytest.approx(sample, abs=1.5e-12, rel=0) for sample in expected]


def test_four_floor_bounce_is_the_kick_gesture():
    assert list(table("beat_four_floor_bounce")) == close_to(four_floor([(0, 0.55, 0)] * 4))
    assert table("beat_four_floor_bounce")[64] == (0.0, 0.55, 0.0)
    assert table("beat_four_floor_bounce")[80] == (0.0, pytest.approx(0.2376, abs=5e-5), 0.0)
    y = axis("beat_four_floor_bounce", 1)
    assert all(y[64 * b + p] == 0.0 for b in range(4) for p in range(30, 58))
    assert y[64 + 58] > 0 and y[29] > 0


def test_four_floor_step_alternates_sides_with_a_dip():
    vectors = [(0.42, -0.22, 0), (-0.42, -0.22, 0)] * 2
    assert list(table("beat_four_floor_step")) == close_to(four_floor(vectors))


@pytest.mark.parametrize("pip, point", [(0, (0.58, 0)), (64, (0, 0.58)), (128, (-0.58, 0)), (192, (0, -0.58))])
def test_four_floor_orbit_passes_the_four_points(pip, point):
    assert table("beat_four_floor_orbit")[pip] == (*point, 0.0)


# Range table: every quoted end is the motion's extreme over its grooves.
def motion_names(suffix):
    return [f"beat_{g[0]}_{suffix}" for g in ALL_GROOVES]


@pytest.mark.parametrize("suffix, ranges", [(m[0], m[3:]) for m in MOTIONS], ids=SUFFIXES)
def test_each_motion_reaches_its_quoted_ranges(suffix, ranges):
    for index, (low, high) in enumerate(ranges):
        values = [s[index] for name in motion_names(suffix) for s in table(name)]
        assert (round(min(values), 3), round(max(values), 3)) == (low, high)


@pytest.mark.parametrize("rows, peak", [(club_rows, 0.7464), (dancefloor_rows, 0.92)], ids=["club", "dancefloor"])
def test_largest_magnitude_per_collection(rows, peak):
    assert max(abs(v) for r in rows() for s in table(r["name"]) for v in s) == peak


def test_dive_and_ricochet_reach_the_dancefloor_peak():
    assert max(v for name in motion_names("dive") for v in axis(name, 2)) == 0.92
    assert min(v for name in motion_names("ricochet") for v in axis(name, 1)) == -0.92


# Motion behaviour, checked against the scores.
def events(stem, voices):
    return [e for e in read_score(stem).events if e.voice in voices]


KICK = {"kick"}
CYMBALS_AND_HATS = {"hat", "open", "shaker", "ride", "crash"}
BACKBEAT = {"snare", "clap", "rim"}

def loud_backbeats(stem):
    return [e for e in events(stem, BACKBEAT) if e.velocity > 0.8 and e.step is not None]


GROOVES_WITH_BACKBEAT = [g[0] for g in ALL_GROOVES if loud_backbeats(g[0])]


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES])
def test_bounce_lifts_at_every_kick(stem):
    y = axis(f"beat_{stem}_bounce", 1)
    for kick in events(stem, KICK):
        if kick.pip == int(kick.pip) and kick.velocity > 0.6:
            assert y[int(kick.pip)] > 0.1, kick


def backbeat_kicks(stem):
    """Pips of the main kicks with and without a main backbeat on them."""
    kicks = {e.pip for e in events(stem, KICK) if e.velocity >= 0.5 and e.step is not None}
    backbeats = {e.pip for e in events(stem, BACKBEAT) if e.velocity >= 0.5}
    return sorted(kicks & backbeats), sorted(kicks - backbeats)


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES if all(backbeat_kicks(g[0]))])
def test_bounce_shows_a_backbeat_that_lands_on_a_kick(stem):
    samples = table(f"beat_{stem}_bounce")
    with_backbeat, plain = backbeat_kicks(stem)
    for b in with_backbeat:
        assert min(math.dist(samples[int(b)], samples[int(k)]) for k in plain) > 0.05, b


@pytest.mark.parametrize("stem", ["house_shuffle", "bassline"])
def test_bounce_shows_the_swung_hats(stem):
    samples = table(f"beat_{stem}_bounce")
    swung = [round(e.pip) % len(samples) for e in events(stem, {"hat"}) if e.step is None]
    assert swung and all(max(abs(samples[p][0]), samples[p][1]) > 0.09 for p in swung)


def test_bounce_tells_the_house_grooves_from_the_bare_pulse():
    pulse = table("beat_four_floor_bounce") * 2
    rows = [pulse, table("beat_house_classic_bounce"), table("beat_house_shuffle_bounce")]
    for a, b in combinations(rows, 2):
        assert math.sqrt(sum(math.dist(s, t) ** 2 for s, t in zip(a, b)) / len(a)) > 0.05


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES])
def test_step_swings_both_ways_and_stays_low(stem):
    x, y = axis(f"beat_{stem}_step", 0), axis(f"beat_{stem}_step", 1)
    assert min(x) < -0.1 and max(x) > 0.1
    assert max(y) <= 0.088 and min(y) < -0.1


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES])
def test_recoil_never_dips_below_zero(stem):
    y = axis(f"beat_{stem}_recoil", 1)
    assert min(y) == 0.0 and max(y) > 0


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES])
def test_orbit_turns_once_a_bar_around_the_centre(stem):
    samples = table(f"beat_{stem}_orbit")
    angles = [math.atan2(s[1], s[0]) for s in samples]
    unwrapped = sum((b - a + math.pi) % (2 * math.pi) - math.pi for a, b in zip(angles, angles[1:] + angles[:1]))
    assert unwrapped == pytest.approx(2 * math.pi * len(samples) / 256)
    assert min(math.hypot(s[0], s[1]) for s in samples) > 0.15


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES])
def test_glide_sways_once_a_bar_whatever_the_loop(stem):
    """The glide's strongest side-to-side cycle is the bar, in a one-bar loop
    as in a four-bar one."""
    x = axis(f"beat_{stem}_glide", 0)
    bars = len(x) // 256

    def strength(cycles):
        return abs(sum(v * cmath.exp(-2j * math.pi * cycles * p / len(x)) for p, v in enumerate(x)))

    assert max(range(1, 2 * bars + 1), key=strength) == bars


RING = 56  # pips a spring excursion lasts


def rested_onsets(stem):
    """Whole-pip onsets that no earlier event still rings into."""
    score = read_score(stem)
    onsets = [e.pip for e in score.events]
    return [e for e in onsets if e == int(e) and all(not (0 < (e - o) % score.period < RING) for o in onsets)]


@pytest.mark.parametrize("stem", ["four_floor", "grime_sparse", "dancehall_space", "grime_half"])
def test_spring_rests_until_an_event_and_rings_down(stem):
    samples = table(f"beat_{stem}_spring")
    starts = rested_onsets(stem)
    assert starts
    for start in map(int, starts):
        assert samples[start] == samples[start - 1] == (0.0, 0.0, 0.0)
        ring = [v for k in range(RING) if (v := samples[(start + k) % len(samples)][1]) != 0.0]
        assert sum(1 for a, b in zip(ring, ring[1:]) if a * b < 0) >= 3


def test_surge_thrusts_forward_on_the_kick():
    z = axis("beat_four_floor_surge", 2)
    assert all(z[64 * b] == max(z) for b in range(4))


@pytest.mark.parametrize("stem", GROOVES_WITH_BACKBEAT)
def test_recoil_pushes_sideways_at_the_backbeat(stem):
    x = axis(f"beat_{stem}_recoil", 0)
    assert all(abs(x[int(e.pip)]) > 0.05 for e in loud_backbeats(stem))


@pytest.mark.parametrize("stem", ["speed_garage", "dubstep_half", "reggae_one_drop", "psy_offbeat"])
def test_dive_plunges_after_the_bass(stem):
    z = axis(f"beat_{stem}_dive", 2)
    for note in events(stem, {"bass"}):
        if note.velocity > 0.8:
            assert max(z[int(note.pip) : int(note.pip) + 24]) > 0.3 * max(z)


def sustained(stem, swell):
    return [e for e in events(stem, {"bass"}) if e.length and e.swell == swell]


@pytest.mark.parametrize("stem", ["dnb_half", "drill_tresillo"])
def test_a_held_bass_holds_the_dive_for_its_length(stem):
    z = axis(f"beat_{stem}_dive", 2)
    for note in sustained(stem, swell=False):
        held = [z[p % len(z)] for p in range(int(note.pip) + 16, int(note.pip + note.length))]
        assert held and min(held) > 0.25 * max(z), note


def test_a_reverse_bass_swells_the_dive_and_is_cut_off():
    z = axis("beat_hard_reverse_dive", 2)
    notes = sustained("hard_reverse", swell=True)
    assert len(notes) == 8
    for note in notes:
        start, end = int(note.pip), int(note.pip + note.length)
        rising = [z[p % len(z)] for p in range(start + 4, end - 1, 4)]
        assert all(a < b for a, b in pairwise(rising)), note
        assert z[(end + 16) % len(z)] < 0.5 * z[end - 2]


def turns(samples):
    """Signed turns of the xy path around the centre over one loop."""
    angles = [math.atan2(s[1], s[0]) for s in samples]
    swept = sum((b - a + math.pi) % (2 * math.pi) - math.pi for a, b in zip(angles, angles[1:] + angles[:1]))
    return swept / (2 * math.pi)


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES])
def test_corkscrew_and_spiral_make_two_turns(stem):
    assert turns(table(f"beat_{stem}_corkscrew")) == pytest.approx(2)
    assert turns(table(f"beat_{stem}_spiral")) == pytest.approx(2)
    radius = [math.hypot(s[0], s[1]) for s in table(f"beat_{stem}_spiral")]
    assert min(radius) < 0.5 * max(radius)  # it breathes in and out


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES])
def test_pendulum_hangs_below_and_swings_once_a_bar(stem):
    samples = table(f"beat_{stem}_pendulum")
    assert sum(s[1] < 0 for s in samples) > 0.75 * len(samples)
    x = [s[0] for s in samples]
    sides = [v > 0 for v in x if abs(v) > 0.05]
    assert sum(a != b for a, b in zip(sides, sides[1:] + sides[:1])) == 2 * len(samples) // 256


@pytest.mark.parametrize("stem", [g[0] for g in ALL_GROOVES])
def test_box_visits_its_four_corners_every_bar(stem):
    samples = table(f"beat_{stem}_box")
    reach_x, reach_y = (max(abs(s[i]) for s in samples) for i in (0, 1))
    corners = [(s[0] > 0, s[1] > 0) for s in samples if abs(s[0]) > reach_x / 2 and abs(s[1]) > reach_y / 2]
    visits = [c for c, d in zip(corners, corners[1:] + corners[:1]) if c != d]
    assert len(visits) == 4 * len(samples) // 256 and len(set(corners)) == 4


def main_hits(stem, voices):
    """Onsets of the main hits (half loudness or more) of some voices; hits
    within a pip of each other are one."""
    hits = []
    for e in sorted(events(stem, voices), key=lambda e: e.pip):
        if e.velocity >= 0.5 and (not hits or e.pip - hits[-1] >= 1):
            hits.append(e.pip)
    return hits


def accents(stem):
    return BACKBEAT if events(stem, BACKBEAT) else KICK


# Each side-throwing motion: the main hits that take the sides, and how a
# table shows the side of a hit at pip p (a quick hit can land before the last
# one has swung back, so step reads the way the point moves into the hit; the
# spring starts from rest, so it reads the way the point leaves it).
SIDE_THROWS = {
    "step": (lambda stem: KICK | BACKBEAT, lambda x, p: x[p % len(x)] - x[(p - 3) % len(x)]),
    "recoil": (accents, lambda x, p: x[p % len(x)]),
    "spring": (accents, lambda x, p: x[(p + 5) % len(x)] - x[p % len(x)]),
}


def main_hit_sides(stem, motion):
    voices, side = SIDE_THROWS[motion]
    x = axis(f"beat_{stem}_{motion}", 0)
    return [side(x, round(p)) for p in main_hits(stem, voices(stem))]


# The spring's kick rises and plunges: a groove of kicks alone throws it to no side.
SIDED_PAIRS = [(stem, motion) for stem in (g[0] for g in ALL_GROOVES) for motion in SIDE_THROWS
               if not (motion == "spring" and accents(stem) == KICK)]


@pytest.mark.parametrize("stem, motion", SIDED_PAIRS)
def test_main_hits_take_the_sides_in_turn_whatever_the_quiet_notes(stem, motion):
    """Right, left, right... counted over the main hits alone, odd counts
    too: the same groove without its quiet notes puts them on the same sides."""
    sides = main_hit_sides(stem, motion)
    assert [s > 0 for s in sides] == [k % 2 == 0 for k in range(len(sides))], [round(s, 2) for s in sides]


@pytest.mark.parametrize("motion", SIDE_THROWS)
def test_the_amen_ghosts_flip_no_main_hit(motion):
    with_ghosts, without = main_hit_sides("amen_four_bar", motion), main_hit_sides("amen_no_ghosts", motion)
    assert [s > 0 for s in with_ghosts] == [s > 0 for s in without]


def step_loudness(stem):
    """Loudness of each main step: its loudest hit."""
    steps = {}
    for e in sorted(events(stem, KICK | BACKBEAT), key=lambda e: e.pip):
        if e.velocity >= 0.5:
            onset = next((p for p in steps if e.pip - p < 1), e.pip)
            steps[onset] = max(steps.get(onset, 0), e.velocity)
    return steps


EVEN_STEPS = [g[0] for g in ALL_GROOVES if len(set(step_loudness(g[0]).values())) == 1]


def test_the_amen_ghosts_send_no_main_hit_elsewhere_in_the_ricochet():
    """Each main onset throws towards the next target whatever the ghosts
    between: the throw into every main onset points the same way in both."""
    score = read_score("amen_no_ghosts")
    onsets = [e.pip for e in score.events if e.voice not in CYMBALS_AND_HATS and e.velocity >= 0.5]
    throws = []
    for stem in ("amen_four_bar", "amen_no_ghosts"):
        samples = table(f"beat_{stem}_ricochet")
        throws.append([[a - b for a, b in zip(samples[round(p)], samples[round(p) - 8])] for p in sorted(set(onsets))])
    for a, b in zip(*throws):
        assert sum(u * v for u, v in zip(a, b)) > 0.9 * math.hypot(*a) * math.hypot(*b)


@pytest.mark.parametrize("stem", EVEN_STEPS)
def test_equally_loud_steps_are_equally_wide(stem):
    """A kick with a clap steps as far as a kick alone."""
    x = axis(f"beat_{stem}_step", 0)
    widths = [abs(x[round(p) % len(x)]) for p in step_loudness(stem)]
    assert min(widths) > 0.9 * max(widths), [round(w, 2) for w in widths]


def centred(name):
    samples = table(name)
    means = [math.fsum(s[i] for s in samples) / len(samples) for i in range(3)]
    return [v - m for s in samples for v, m in zip(s, means)]


def shares_explained_by_the_average(suffix):
    """For each 512-pip groove, the share of its motion (variance about its
    own mean) that the all-groove average path explains."""
    rows = [centred(f"beat_{g[0]}_{suffix}") for g in ALL_GROOVES if g[2] == 512]
    average = [math.fsum(column) / len(rows) for column in zip(*rows)]
    square = math.fsum(a * a for a in average)
    return [math.fsum(map(float.__mul__, row, average)) ** 2 / (math.fsum(v * v for v in row) * square) for row in rows]


def test_the_groove_shows_in_every_motion():
    medians = {suffix: statistics.median(shares_explained_by_the_average(suffix)) for suffix in SUFFIXES}
    worst = max(medians, key=medians.get)
    assert medians[worst] <= 0.85, f"{worst}: the average path explains {medians[worst]:.3f} of the median groove"


@pytest.mark.parametrize("suffix", SUFFIXES)
def test_the_two_claves_move_apart_and_the_polymeter_shows_its_three_bars(suffix):
    three_two, two_three = table(f"beat_son_clave_32_{suffix}"), table(f"beat_son_clave_23_{suffix}")
    assert max(abs(a - b) for s, t in zip(three_two, two_three) for a, b in zip(s, t)) > 0.05
    poly = table(f"beat_techno_polymeter_{suffix}")
    for shift in (256, 512):
        assert max(abs(a - b) for p in range(768) for a, b in zip(poly[p], poly[(p + shift) % 768])) > 0.02
