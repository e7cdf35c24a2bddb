"""Grooves of your own: drum parts from MIDI files (written here by mido)
and scores, their motions as host patterns, the `groove` command, and a
live part played by a sender process over a mido socket port."""

import csv
import os
import subprocess
import sys
import time
from fractions import Fraction
from pathlib import Path

import kinetrope
import pytest
from optional import need

mido = need("mido")
kinetrope_grooves = pytest.importorskip("kinetrope_grooves", reason="this build has no groove engine")
from kinetrope_host import catalogue, cli  # noqa: E402
from kinetrope_host.errors import UserError  # noqa: E402
from kinetrope_host.grooves import MOTION_LABELS, groove_library, load_groove, part_name  # noqa: E402
from kinetrope_host.grooves.live import LiveGroove  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
SCORES = sorted((ROOT / "src/catalogue/generator/beats/scores").glob("*.groove"))
TICKS = 960  # a beat: divisible by 3, so triplet pips fall on whole ticks
# The note each voice is written with: one General MIDI drum note per voice.
NOTES = {"kick": 36, "snare": 38, "clap": 39, "rim": 37, "hat": 42, "open": 46, "shaker": 70, "tom": 45,
         "perc": 63, "bell": 56, "ride": 51, "crash": 49}


@pytest.fixture(autouse=True)
def forget_host_patterns():
    yield
    catalogue.use_patterns(None)


def ticks(pip):
    return int(Fraction(pip).limit_denominator(1000) * TICKS / 64)


def write_midi(path, part, bpm=120.0, extra=()):
    """`part` as a type 1 file: meter and tempo, drums on channel 10, bass
    (GM Synth Bass 1) on channel 2 with its lengths, a swell as expression
    rising under the note; `extra` (tick, message) joins the drum track.
    At one tick, expression rises, earlier notes end, then notes begin (and
    a note of no length ends right after it begins)."""
    drums = [(tick, 3, message) for tick, message in extra]
    bass = [(0, 0, mido.Message("program_change", channel=1, program=38))]
    for index, (voice, pip, velocity, length, swell) in enumerate(part.events):
        on, loud = ticks(pip), max(1, round(velocity * 127))
        if voice != "bass":
            drums += [(on, 3, mido.Message("note_on", channel=9, note=NOTES[voice], velocity=loud)),
                      (on + 60, 1, mido.Message("note_off", channel=9, note=NOTES[voice]))]
            continue
        off, note = on + ticks(length), 36 + index % 2
        if swell:
            bass += [(on, 2, mido.Message("control_change", channel=1, control=11, value=0)),
                     (off, 0, mido.Message("control_change", channel=1, control=11, value=127))]
        bass += [(on, 3, mido.Message("note_on", channel=1, note=note, velocity=loud)),
                 (off, 1 if off > on else 4, mido.Message("note_off", channel=1, note=note))]
    meta = [(0, 0, mido.MetaMessage("time_signature", numerator=part.beats_per_bar, denominator=part.beat_unit)),
            (0, 0, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm)))]
    song = mido.MidiFile(type=1, ticks_per_beat=TICKS)
    end = ticks(part.period_pips)
    for events in (meta, drums, bass):
        song.tracks.append(track(events, end))
    song.save(path)
    return path


def track(events, end):
    out, now = mido.MidiTrack(), 0
    for tick, _, message in sorted(events, key=lambda item: item[:2]):
        out.append(message.copy(time=tick - now))
        now = tick
    out.append(mido.MetaMessage("end_of_track", time=max(0, end - now)))
    return out


def in_ninths(part):
    return kinetrope_grooves.DrumPart(part.bars, part.beats_per_bar, part.beat_unit,
                                      [(v, p, round(loud * 9) / 9, n, s) for v, p, loud, n, s in part.events])


def flat(table):
    return [value for sample in table for value in sample]


def keyed(events):
    return sorted(events, key=lambda event: (event[1], event[0], event[2]))


@pytest.mark.parametrize("score", SCORES, ids=lambda path: path.stem)
def test_every_built_in_score_round_trips_through_a_midi_file(score, tmp_path):
    part = kinetrope_grooves.parse_score(score.read_text())
    read = load_groove(write_midi(tmp_path / f"{score.stem}.mid", part)).part
    assert (read.bars, read.beats_per_bar, read.beat_unit) == (part.bars, part.beats_per_bar, part.beat_unit)
    # Onsets, voices, lengths and swells exact; loudness to MIDI's 7 bits.
    for (voice, pip, loud, length, swell), back in zip(keyed(part.events), keyed(read.events), strict=True):
        assert back[0:2] == (voice, pip) and back[3:] == (length, swell)
        assert back[2] == pytest.approx(loud, abs=0.5 / 127)
    # With loudness back in the score's ninths, the very same tables.
    for (motion, dims, table), (_, dims_back, table_back) in zip(
            kinetrope_grooves.render(part), kinetrope_grooves.render(in_ninths(read)), strict=True):
        assert dims_back == dims
        assert flat(table_back) == pytest.approx(flat(table), abs=1e-12), motion


def drum_file(path, notes, meters=((0, 4, 4),), tempos=((0, 120.0),), ticks_per_beat=96, end=0):
    """A type 0 file of drum notes (tick, note, velocity, channel), meters and tempos."""
    events = [(tick, 0, mido.MetaMessage("time_signature", numerator=n, denominator=d)) for tick, n, d in meters]
    events += [(tick, 0, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm) if bpm else 0)) for tick, bpm in tempos]
    for tick, note, velocity, channel in notes:
        events += [(tick, 3, mido.Message("note_on", channel=channel, note=note, velocity=velocity)),
                   (tick + 10, 1, mido.Message("note_off", channel=channel, note=note))]
    song = mido.MidiFile(type=0, ticks_per_beat=ticks_per_beat)
    song.tracks.append(track(events, end))
    song.save(path)
    return path


def test_a_drum_machine_file_in_two_meters_gives_its_bars_timing_voices_and_tempo(tmp_path):
    # Two bars of 4/4 at 100, then two of 7/8 at 140 with swung hats (the &
    # late by a third of an eighth) and a piano on channel 1 that plays no part.
    sevens = 2 * 4 * 96
    notes = [(0, 36, 127, 9), (96, 38, 100, 9), (4 * 96, 36, 127, 9)]
    notes += [(sevens + bar * 336 + step * 48 + (16 if step % 2 else 0), 44, 64, 9)
              for bar in range(2) for step in range(7)]
    notes += [(sevens, 36, 127, 9), (sevens + 336 + 144, 57, 90, 9), (sevens + 100, 63, 50, 9),
              (sevens + 7, 60, 100, 0)]
    path = drum_file(tmp_path / "Drum Machine #2.mid", notes, meters=((0, 4, 4), (sevens, 7, 8)),
                     tempos=((0, 100.0), (sevens, 140.0)))
    groove = load_groove(path, (3, 4))
    part = groove.part
    assert (groove.name, groove.bpm) == ("drum_machine_2", pytest.approx(140.0, abs=0.001))
    assert (part.bars, part.beats_per_bar, part.beat_unit, part.period_pips) == (2, 7, 8, 448)
    hats = [pip for voice, pip, *_ in part.events if voice == "hat"]
    assert hats[:3] == [0.0, 32 + 32 / 3, 64.0] and len(hats) == 14
    others = sorted((pip, voice, loud) for voice, pip, loud, *_ in part.events if voice != "hat")
    assert others == [(0.0, "kick", 1.0), (pytest.approx(100 * 64 / 96), "perc", 50 / 127),
                      (224 + 96.0, "crash", 90 / 127)]
    assert load_groove(path, (1, 1)).part.events == [("kick", 0.0, 1.0, 0.0, False), ("snare", 64.0, 100 / 127, 0.0, False)]
    with pytest.raises(UserError, match=r"^the meter changes within bars 2-3; choose bars of one meter"):
        load_groove(path, (2, 3))


def truncated(path):
    path.write_bytes(path.read_bytes()[:-9])
    return path


@pytest.mark.parametrize("make, options, message", [
    (lambda p: drum_file(p / "keys.mid", [(0, 60, 100, 0)]), [],
     "{dir}/keys.mid has no drum track: no notes on MIDI channel 10"),
    (lambda p: drum_file(p / "gap.mid", [(0, 36, 100, 9), (8 * 96, 36, 100, 9)]), ["--bars", "2"],
     "bars 2-2 hold no drum notes"),
    (lambda p: drum_file(p / "short.mid", [(0, 36, 100, 9)]), ["--bars", "2-3"],
     "bars 2-3: {dir}/short.mid has 1 bar"),
    (lambda p: drum_file(p / "long.mid", [(0, 36, 100, 9), (1100 * 4 * 96, 36, 100, 9)]), [],
     "{dir}/long.mid has 1,101 bars; a part holds at most 1,024: choose some with --bars A-B"),
    (lambda p: drum_file(p / "long.mid", [(0, 36, 100, 9), (299 * 4 * 96, 36, 100, 9)]), [],
     "{dir}/long.mid: 300 bars of 4/4 are 76,800 pips; a pattern holds at most 65,535"),
    (lambda p: p / "typo.groove", [], "{dir}/typo.groove: line 2"),
    (lambda p: os.mkfifo(p / "pipe.groove") or p / "pipe.groove", [], "{dir}/pipe.groove: not a regular file"),
    (lambda p: drum_file(p / "nobeats.mid", [(0, 36, 100, 9)], meters=((0, 0, 4),), tempos=((0, 0.0),)), [],
     "{dir}/nobeats.mid: a time signature of 0/4 has no beats"),
    (lambda p: truncated(drum_file(p / "cut.mid", [(0, 36, 100, 9)])), [],
     "{dir}/cut.mid is not a readable standard MIDI file: it ends inside a track"),
    (lambda p: drum_file(p / "ok.mid", [(0, 36, 100, 9)]), ["--motion", "wiggle"], "unknown motion: wiggle"),
])
def test_mistakes_are_one_line(tmp_path, capsys, make, options, message):
    (tmp_path / "typo.groove").write_text("bars 1\nkik |9... 9... 9... 9...|\n")
    path = make(tmp_path)
    assert cli.main(["groove", str(path), *options]) == 1
    error = capsys.readouterr().err
    assert error.startswith("kinetrope: " + message.format(dir=tmp_path)) and error.count("\n") == 1, error


def test_part_names_keep_to_the_identifier_rule():
    assert part_name("My Beat (v2)") == "my_beat_v2"
    assert part_name("808 Drums") == "groove_808_drums"
    assert part_name("__") == part_name("") == "groove"
    for stem in ("Ünïcode", "x" * 300, "9" * 300, "a-b.c"):
        kinetrope.SampledPattern(part_name(stem) + "_corkscrew", "", [[0.0, 0.0, 0.0]])


def test_groove_shows_its_score_and_exports_its_motions_like_built_ins(tmp_path, capsys):
    score = tmp_path / "Waltz 3-4.groove"
    score.write_text("meter 3/4\nbars 2\nkick |9... .... ....|9... .... ..6.|\n"
                     "snare |.... 8... 8...|.... 8... 8...|\nhat @ 32:5 224:5 352:4\nbass @ 0:6~300\n")
    out = tmp_path / "waltz.csv"
    assert cli.main(["groove", str(score), "--motion", "step", "--motion", "bounce", "--out", str(out),
                     "--fps", "30", "--bpm", "90"]) == 0
    shown = capsys.readouterr().out
    part = kinetrope_grooves.parse_score(score.read_text())
    assert shown.startswith("waltz_3_4: 2 bars of 3/4, 11 events, 384 pips (6 beats) at 90 bpm\n")
    # The score shown reads back to the same part.
    text = shown.split("\n\n")[1]
    assert kinetrope_grooves.parse_score(text) == part
    listed = [line.split()[0] for line in shown.split("\n\n")[2].splitlines()]
    assert listed[:2] == ["waltz_3_4_step", "waltz_3_4_bounce"]
    library = groove_library(part, "waltz_3_4", ["step", "bounce"])
    rows = {row["name"]: row for row in library.catalogue()[len(kinetrope.catalogue()):]}
    assert list(rows) == ["waltz_3_4_step", "waltz_3_4_bounce"]
    assert rows["waltz_3_4_bounce"]["description"] == "waltz_3_4 \u2014 Kick-led bounce"
    assert rows["waltz_3_4_bounce"]["period_pips"] == 384
    # A bar of it: the held bass cut at the bar's end, a pip short of the loop.
    assert ("bass", 0.0, 6 / 9, 191.0, False) in load_groove(score, (1, 1)).part.events
    with out.open() as handle:
        frames = list(csv.DictReader(handle))
    assert len(frames) == 4 * 30 + 1  # six beats at 90 bpm, and the end
    for frame in frames[::7]:
        pip = float(frame["pip"])
        if pip == int(pip):
            expected = library.sample("waltz_3_4_step", int(pip)).as_tuple()
            assert [float(frame[f"waltz_3_4_step.{axis}"]) for axis in "xyz"] == list(expected)


class BarClock:
    """One bar of 4/4 a second."""

    def pip(self, now):
        return now * 256

    def bpm(self, now):
        return 240.0


def hit(note, velocity=127, kind="note_on"):
    return mido.Message(kind, channel=9, note=note, velocity=velocity)


def table(name, period=256):
    return [catalogue.sample(name, pip).as_tuple() for pip in range(period)]


def test_a_live_part_moves_by_the_last_complete_bar_from_the_next_bar_line():
    mine = kinetrope.SampledPattern("mine_bounce", "", [[0.5, 0.0, 0.0]] * 64)
    live = LiveGroove(BarClock(), motions=["bounce", "step"], alongside=[mine])
    assert live.names == ["live_bounce", "live_step"]
    assert live.renew(10.0) and table("live_step") == [(0.0, 0.0, 0.0)] * 256  # nothing played yet: at rest
    live.feed(hit(36), 1.0)
    live.feed(hit(38, 100), 1.26)
    live.feed(hit(42, 0), 1.5)  # a note-off as a silent note-on
    live.feed(hit(46, kind="note_off"), 1.6)
    assert live.renew(300.0) and not live.renew(511.9)  # a renewal at each bar line, and only there
    live.feed(hit(36, 90), 2.0)  # the next bar's downbeat, heard before its first frame
    assert live.renew(512.0)
    played = kinetrope_grooves.DrumPart(1, 4, 4, [("kick", 0.0, 1.0), ("snare", 0.26 * 256, 100 / 127)])
    for motion, _, rendered in kinetrope_grooves.render(played, ["bounce", "step"]):
        assert table(f"live_{motion}") == [tuple(sample) for sample in rendered]
        assert catalogue.row(f"live_{motion}").description == f"live \u2014 {MOTION_LABELS[motion]}"
    live.renew(768.0)
    only_kick = kinetrope_grooves.DrumPart(1, 4, 4, [("kick", 0.0, 90 / 127)])
    assert table("live_bounce") == [tuple(s) for s in kinetrope_grooves.render(only_kick, ["bounce"])[0][2]]
    live.renew(1024.0)
    assert table("live_bounce") == [(0.0, 0.0, 0.0)] * 256
    assert catalogue.sample("mine_bounce", 3).as_tuple() == (0.5, 0.0, 0.0)  # the file's groove stays known


def test_play_follows_a_pad_played_by_another_process_a_bar_behind():
    need("pythonosc")
    from test_midiclock import free_port, osc_listener

    port = free_port()
    pad = subprocess.Popen([sys.executable, "examples/drum_machine.py", "--serve", str(port), "--bpm", "240",
                            "--bars", "6"], cwd=ROOT, stdout=subprocess.PIPE, text=True)
    assert pad.stdout.readline().startswith("serving drums")
    server, received = osc_listener()
    try:
        done = subprocess.run([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--groove-in",
                               f"127.0.0.1:{port}", "--bpm", "240", "--no-view", "--frames", "240",
                               "--port", str(server.server_address[1])], capture_output=True, text=True, timeout=60)
    finally:
        pad.kill()
        pad.communicate()
        time.sleep(0.2)
        server.shutdown()
        server.server_close()
    assert done.returncode == 0, done.stderr
    bars, bar = {}, None
    for _, address, args in received:  # a bundle's pip comes before its patterns
        if address == "/kinetrope/pip":
            bar = args[0] // 256
        elif address == "/kinetrope/live_bounce":
            bars.setdefault(bar, []).append(args)
    assert set(bars) == {0, 1, 2, 3}
    assert all(values == (0.0, 0.0, 0.0) for values in bars[0])  # nothing heard a whole bar yet
    for later in (1, 2, 3):  # then the kick on every beat lifts the bounce
        assert max(y for _, y, _ in bars[later]) > 0.2, later


def test_groove_plays_its_motions_to_an_osc_receiver(tmp_path):
    need("pythonosc")
    from test_midiclock import osc_listener

    score = tmp_path / "seven.groove"
    score.write_text("meter 7/8\nbars 1\nkick |9...9...9.....|\nsnare |....8.......7.|\n")
    server, received = osc_listener()
    try:
        done = subprocess.run([sys.executable, "-m", "kinetrope_host", "groove", str(score), "--motion", "step",
                               "--play", "--bpm", "420", "--loops", "2", "--port", str(server.server_address[1])],
                              capture_output=True, text=True, timeout=60)
    finally:
        time.sleep(0.2)
        server.shutdown()
        server.server_close()
    assert done.returncode == 0, done.stderr
    library = groove_library(kinetrope_grooves.parse_score(score.read_text()), "seven", ["step"])
    frames, pip = [], None
    for _, address, args in received:
        if address == "/kinetrope/pip":
            pip = args[0]
        elif address == "/kinetrope/seven_step":
            frames.append((pip, args))
    assert len(frames) == 60  # two loops of 7 eighths at 420 bpm: one second
    assert {address for _, address, _ in received} == {"/kinetrope/pip", "/kinetrope/beat", "/kinetrope/bpm",
                                                       "/kinetrope/seven_step"}
    for pip, args in frames:  # between the pattern's samples at the whole pips around the frame
        here, there = (library.sample("seven_step", at % 224).as_tuple() for at in (pip, pip + 1))
        assert all(min(a, b) - 1e-6 <= value <= max(a, b) + 1e-6 for value, a, b in zip(args, here, there))
    assert len({args for _, args in frames}) > 10  # and it moves
