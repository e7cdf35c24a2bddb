"""kinetrope_grooves: the built-in scores give the catalogue's own tables, and
parts made here in six meters pass the checks the beat collections pass."""

import math
import pickle
import random
import statistics
from functools import cache
from itertools import combinations, pairwise
from pathlib import Path

import kinetrope_grooves as kg
import pytest
from builtin_tables import registry_rows, table

SCORES = Path(__file__).parents[2] / "src" / "catalogue" / "generator" / "beats" / "scores"
# Given exactly in the catalogue, not through the range fit the engine applies.
EXACT_ROWS = {"beat_four_floor_bounce", "beat_four_floor_step", "beat_four_floor_orbit"}
BACKBEAT = {"snare", "clap", "rim"}
METERS = [(3, 4), (6, 8), (12, 8), (5, 4), (7, 8), (4, 4)]
PARTS_A_METER = 5


def test_builtin_scores_give_the_catalogue_tables():
    dimensions = {row["name"]: row["dimensions"] for row in registry_rows()}
    compared = 0
    for path in sorted(SCORES.glob("*.groove")):
        part = kg.parse_score(path.read_text())
        assert kg.parse_score(part.score_text()) == part, path.stem
        for suffix, dims, samples in kg.render(part):
            name = f"beat_{path.stem}_{suffix}"
            if name in EXACT_ROWS:
                continue
            assert samples == list(table(name)), name
            assert dims == dimensions[name], name
            compared += 1
    assert compared == 68 * 16 - len(EXACT_ROWS)


def pulses(beats, unit):
    """Onsets of the felt beats in a bar: dotted quarters in 6/8 and 12/8,
    2+2+3 eighths in 7/8, else every beat."""
    beat = 256 // unit
    if (beats, unit) == (7, 8):
        return [0, 2 * beat, 4 * beat]
    if unit == 8 and beats % 3 == 0:
        return list(range(0, beats * beat, 3 * beat))
    return list(range(0, beats * beat, beat))


def made_part(beats, unit, seed, bars=2):
    """A drum part of kicks and backbeats about the felt beats (some moved a
    sixteenth or two), hats (some swung), ghost snares, bass and percussion,
    all on sixteenths but the swung hats and ghosts."""
    rng = random.Random(seed)
    bar = beats * 256 // unit
    steps = list(range(0, bar, 16))
    events = []
    for b in range(bars):
        start = b * bar
        felt = pulses(beats, unit)
        backbeats = {min(bar - 16, max(16, pip + 16 * rng.choice([0, 0, -1, 1, 2]))) for pip in felt[1::2]}
        kicks = {0} | set(rng.sample([p for p in steps if p not in backbeats], rng.randint(1, len(felt))))
        for pip in sorted(kicks):
            events.append(("kick", start + pip, rng.choice([7, 8, 9]) / 9))
        for pip in sorted(backbeats):
            events.append((rng.choice(sorted(BACKBEAT)), start + pip, rng.choice([7, 8, 9]) / 9))
        free = [p for p in steps if p not in kicks | backbeats]
        for pip in free[rng.randrange(2) :: 2]:
            swing = rng.choice([0, 0, 16 / 3])
            events.append((rng.choice(["hat", "hat", "shaker", "open"]), start + pip + swing, rng.uniform(0.3, 0.7)))
        for pip in rng.sample(free, min(len(free), rng.randint(1, 3))):
            events.append(("snare", start + pip + 8, rng.uniform(0.15, 0.4)))
        if rng.random() < 0.7:
            events.append(("bass", start + rng.choice(free), 0.8, rng.choice([0, 24, 48]), False))
        if rng.random() < 0.5:
            events.append((rng.choice(["tom", "perc", "bell"]), start + rng.choice(free), 0.6))
    return kg.DrumPart(bars, beats, unit, events)


PARTS = [((beats, unit), seed) for beats, unit in METERS for seed in range(PARTS_A_METER)]


@cache
def part_of(beats, unit, seed):
    return made_part(beats, unit, 100 * beats + 10 * unit + seed)


@cache
def motions_of(beats, unit, seed):
    return {suffix: samples for suffix, _, samples in kg.render(part_of(beats, unit, seed))}


@pytest.mark.parametrize("meter, seed", PARTS)
def test_made_parts_move_within_range_in_closed_distinct_loops(meter, seed):
    part = part_of(*meter, seed)
    assert kg.parse_score(part.score_text()) == part
    motions = motions_of(*meter, seed)
    assert list(motions) == list(kg.MOTIONS)
    for suffix, samples in motions.items():
        assert len(samples) == part.period_pips
        assert all(math.isfinite(v) and -1.0 <= v <= 1.0 for s in samples for v in s), suffix
        inner = max(math.dist(a, b) for a, b in pairwise(samples))
        assert math.dist(samples[-1], samples[0]) <= inner + 1e-12, suffix
    for (a, s), (b, t) in combinations(motions.items(), 2):
        assert max(abs(u - v) for p, q in zip(s, t) for u, v in zip(p, q)) > 0.01, (a, b)


def turns(samples):
    angles = [math.atan2(s[1], s[0]) for s in samples]
    swept = sum((b - a + math.pi) % (2 * math.pi) - math.pi for a, b in zip(angles, angles[1:] + angles[:1]))
    return swept / (2 * math.pi)


@pytest.mark.parametrize("meter", METERS)
def test_turning_motions_keep_their_rate_per_bar(meter):
    for seed in range(PARTS_A_METER):
        bars = part_of(*meter, seed).bars
        motions = motions_of(*meter, seed)
        assert turns(motions["orbit"]) == pytest.approx(bars)
        x = [s[0] for s in motions["pendulum"]]
        sides = [v > 0 for v in x if abs(v) > 0.05]
        assert sum(a != b for a, b in zip(sides, sides[1:] + sides[:1])) == 2 * bars
    # Eight bars: the corkscrew and spiral turn twice every four.
    long = made_part(*meter, seed=8, bars=8)
    for _, _, samples in kg.render(long, ["corkscrew", "spiral"]):
        assert turns(samples) == pytest.approx(4)


def main_hits(events, voices):
    """Onsets of the main hits of some voices, those within a pip being one."""
    hits = []
    for voice, pip, velocity, _, _ in events:
        if voice in voices and velocity >= 0.5 and (not hits or pip - hits[-1] >= 1):
            hits.append(pip)
    return hits


def accents(events):
    return BACKBEAT if any(e[0] in BACKBEAT for e in events) else {"kick"}


# How each side-throwing motion shows the side of a hit at pip p (as the
# beat collections' own checks read it).
SIDE_THROWS = {
    "step": (lambda events: {"kick"} | BACKBEAT, lambda x, p: x[p % len(x)] - x[(p - 3) % len(x)]),
    "recoil": (accents, lambda x, p: x[p % len(x)]),
    "spring": (accents, lambda x, p: x[(p + 5) % len(x)] - x[p % len(x)]),
}


def main_hit_sides(part, motion):
    voices, side = SIDE_THROWS[motion]
    x = [s[0] for s in kg.render(part, [motion])[0][2]]
    return [side(x, round(p)) > 0 for p in main_hits(part.events, voices(part.events))]


@pytest.mark.parametrize("meter, seed", PARTS)
def test_main_hits_alternate_and_own_their_sides(meter, seed):
    part = part_of(*meter, seed)
    loud = kg.DrumPart(part.bars, *meter, [e for e in part.events if e[2] >= 0.5])
    for motion in SIDE_THROWS:
        sides = main_hit_sides(part, motion)
        assert sides == [k % 2 == 0 for k in range(len(sides))], motion
        assert main_hit_sides(loud, motion) == sides, motion


def shares_explained_by_the_average(rows):
    """For each table, the share of its motion about its own mean that the
    average path of all of them explains."""
    centred = []
    for samples in rows:
        means = [math.fsum(s[i] for s in samples) / len(samples) for i in range(3)]
        centred.append([v - m for s in samples for v, m in zip(s, means)])
    average = [math.fsum(column) / len(centred) for column in zip(*centred)]
    square = math.fsum(a * a for a in average)
    return [math.fsum(map(float.__mul__, row, average)) ** 2 / (math.fsum(v * v for v in row) * square) for row in centred]


@pytest.mark.parametrize("meter", METERS)
def test_the_groove_shows_in_every_motion(meter):
    for suffix in kg.MOTIONS:
        rows = [motions_of(*meter, seed)[suffix] for seed in range(PARTS_A_METER)]
        median = statistics.median(shares_explained_by_the_average(rows))
        assert median <= 0.85, f"{suffix}: the average path explains {median:.3f} of the median part"


def test_meter_steps_and_swing_set_where_the_grid_falls():
    waltz = kg.parse_score("meter 3/4\nbars 2\nkick 9... .... ....|9... .... 5...\n")
    assert (waltz.bar_pips, waltz.period_pips) == (192, 384)
    assert [e[1] for e in waltz.events] == [0, 192, 320]
    swung = kg.parse_score("meter 7/8\nsteps 7\nswing 0.6\nbars 1\nhat 9999999\nhat @ 0:0.25 448/3:5~20\n")
    assert [e[1] for e in swung.events] == pytest.approx([0, 0, 32 * 1.2, 64, 64 + 32 * 1.2, 128, 448 / 3, 128 + 32 * 1.2, 192])
    assert swung.events[1] == ("hat", 0.0, 0.25, 0.0, False) and swung.events[6][3] == 20
    assert kg.parse_score(swung.score_text()) == swung
    assert [math.copysign(1, e[1]) for e in kg.DrumPart(1, 4, 4, [("kick", -0.0, 1)]).events] == [1]


@pytest.mark.parametrize(
    "text, complaint",
    [
        ("meter 7/8\nbars 1\nkick 9...9...9...9...\n", "line 3: grid must have 14 steps a bar"),
        ("bars 1\nkick 9...9...9...9...\nmeter 3/4\n", "line 3: meter must come before the voices"),
        ("meter 7/6\nbars 1\n", "line 1: a meter has 1 to 32 beats of a 1, 2, 4, 8 or 16 note"),
        ("meter 7\n", "line 1: meter is written beats/unit, such as 7/8"),
        ("bars 1025\n", "line 1: a part has at most 1024 bars"),
        ("meter 32/4\nbars 1000\n", "line 2: a part lasts at most 262144 pips"),
        ("swing 0.8\n", "line 1: swing is a number from 0.5 (straight) to 0.75"),
        ("bars 1\ncowbell 9...\n", "line 2: unknown voice cowbell"),
        ("bars 1\nhat @ x:5 1e999:5\n", "line 2: events are written pip:velocity, sustained ones pip:velocity~length"),
        ("bars 1\nhat @ 1/0:5\n", "line 2: events are written pip:velocity, sustained ones pip:velocity~length"),
        ("bars 1\nhat @ 10:1.5\n", "line 2: events are written pip:velocity, sustained ones pip:velocity~length"),
        ("bars 1\nhat @ 256:5\n", "line 2: event outside the score"),
        ("bars 1\nbass @ 0:9<256\n", "line 2: a sustained note must last less than the score"),
        ("bars 1\nhat @ " + "1:1 " * 65537, "line 2: a part has at most 65536 events"),
        ("bars 64\nbass @ " + "0:9~16383 " * 257, "line 2: sustained notes hold at most 4194304 pips in all"),
        ("# nothing\n", "line 1: score is empty"),
        ("#" * (1 << 22) + "\n", "a score is at most 4194304 characters"),
    ],
)
def test_malformed_scores_are_refused_in_one_line(text, complaint):
    with pytest.raises(ValueError) as refused:
        kg.parse_score(text)
    assert str(refused.value) == complaint


@pytest.mark.parametrize(
    "args, complaint",
    [
        ((1, 4, 4, [("cowbell", 0, 1)]), "event 0: unknown voice cowbell"),
        ((1, 4, 4, [("kick", 0, 1), ("kick", math.nan, 1)]), "event 1: event outside the score"),
        ((1, 4, 4, [("kick", 0, 0)]), "event 0: velocity must be above 0 and at most 1"),
        ((1, 4, 4, [("bass", 0, 1, 0, True)]), "event 0: a swell needs a length"),
        ((1, 4, 4, [("kick", "0", 1)]), "event 0: the pip is a number"),
        ((1, 4, 4, "kick"), "events are a list or tuple of (voice, pip, velocity[, length[, swell]])"),
        ((0, 4, 4, []), "a part has at least one bar"),
        ((1, 5, 3, []), "a meter has 1 to 32 beats of a 1, 2, 4, 8 or 16 note"),
    ],
)
def test_parts_out_of_bounds_are_refused_in_one_line(args, complaint):
    with pytest.raises(ValueError) as refused:
        kg.DrumPart(*args)
    assert str(refused.value) == complaint


def test_motions_are_chosen_by_name_and_an_unknown_one_is_refused():
    part = kg.DrumPart(1, 4, 4, [("kick", 0, 1), ("clap", 64, 1)])
    assert [m[0] for m in kg.render(part, ["ricochet", "bounce"])] == ["ricochet", "bounce"]
    assert kg.render(part, ["bounce"])[0] == kg.render(part)[0]
    with pytest.raises(ValueError, match="^unknown motion twirl$"):
        kg.render(part, ["twirl"])
    silent = kg.render(kg.DrumPart(1, 4, 4, []))
    assert all(math.isfinite(v) and abs(v) <= 1 for _, _, samples in silent for s in samples for v in s)


def test_a_part_never_initialised_or_copied_is_refused():
    bare = kg.DrumPart.__new__(kg.DrumPart)
    for use in (lambda: bare.events, bare.score_text, lambda: kg.render(bare), lambda: repr(bare)):
        with pytest.raises(TypeError, match="object was not initialised"):
            use()
    with pytest.raises(TypeError):
        pickle.dumps(kg.DrumPart(1, 4, 4, []))


def test_a_crowded_part_is_shrunk_into_each_motions_range():
    """Every drum at full loudness every eighth of a beat drives the motions
    far past the built-in grooves; each axis then shrinks to the motion's
    range, which the built-in tables span."""
    crowded = kg.DrumPart(1, 5, 4, [(v, p, 1.0) for p in range(0, 320, 8) for v in ("kick", "clap", "bass", "tom")])
    reached_an_end = 0
    for suffix, _, samples in kg.render(crowded):
        builtin = [s for row in registry_rows() if row["name"].endswith(f"_{suffix}") for s in table(row["name"])]
        for axis in range(3):
            low, high = min(s[axis] for s in builtin), max(s[axis] for s in builtin)
            values = [s[axis] for s in samples]
            assert low - 1e-12 <= min(values) and max(values) <= high + 1e-12, (suffix, axis)
            reached_an_end += min(values) == pytest.approx(low) or max(values) == pytest.approx(high)
    assert reached_an_end > 10


def test_a_part_louder_than_any_groove_keeps_its_peaks_where_the_hits_are():
    """Past the built-in grooves' reach each axis map goes on as a straight
    line, so eight kicks at once lift the bounce highest on the kick, as one
    does, rather than folding the peak back down."""
    for stack in (1, 8):
        part = kg.DrumPart(1, 4, 4, [("kick", 64 * beat, 1.0) for beat in range(4) for _ in range(stack)])
        y = [s[1] for s in kg.render(part, ["bounce"])[0][2]]
        assert max(range(256), key=y.__getitem__) == 0, stack
