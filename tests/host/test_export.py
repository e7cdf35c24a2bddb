import csv
import itertools
import json
import struct
import sys

import kinetrope
import pytest
from optional import need

pygltflib = need("pygltflib")
mido = need("mido")

from kinetrope_host.cli import main
from kinetrope_host.clocks.midifile import tempo_changes
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError
from kinetrope_host.exports import Timeline, export, sample_rows
from kinetrope_host.sampling import sample_at

# 120 bpm is 128 pips a second: at 32 fps every frame lands on a whole pip
# (4 apart), where exported values must equal kinetrope.sample exactly.
NAMES = ["circle", "helix", "lfo_breathe"]
BPM, FPS, PIPS_PER_FRAME = 120.0, 32.0, 4


def expected(name, frame):
    return kinetrope.sample(name, frame * PIPS_PER_FRAME).as_tuple()


def f32(value):
    return struct.unpack("<f", struct.pack("<f", value))[0]


def accessor_values(document, blob, index):
    accessor = document.accessors[index]
    view = document.bufferViews[accessor.bufferView]
    width = {"SCALAR": 1, "VEC3": 3}[accessor.type]
    start = view.byteOffset + (accessor.byteOffset or 0)
    flat = struct.unpack_from(f"<{accessor.count * width}f", blob, start)
    return [flat[i : i + width] for i in range(0, len(flat), width)]


@pytest.mark.parametrize("suffix", [".gltf", ".glb"])
def test_gltf_keyframes_read_back_as_sampled(tmp_path, suffix):
    out = tmp_path / f"motion{suffix}"
    scale = 2.5
    assert main(["export", *NAMES, "--bpm", "120", "--fps", "32", "--bars", "2", "--scale", str(scale), "--out", str(out)]) == 0
    document = pygltflib.GLTF2().load(str(out))
    blob = document.binary_blob() if suffix == ".glb" else document.get_data_from_buffer_uri(document.buffers[0].uri)
    frames = 2 * 4 * 64 // PIPS_PER_FRAME + 1  # the last key is the musical end
    assert [node.name for node in document.nodes] == NAMES
    assert document.scenes[document.scene].nodes == [0, 1, 2]
    (animation,) = document.animations
    for channel in animation.channels:
        sampler = animation.samplers[channel.sampler]
        name = document.nodes[channel.target.node].name
        assert channel.target.path == "translation" and sampler.interpolation == "LINEAR"
        times = [t for (t,) in accessor_values(document, blob, sampler.input)]
        assert times == [f32(i / FPS) for i in range(frames)]
        keys = accessor_values(document, blob, sampler.output)
        assert keys == [tuple(f32(c * scale) for c in expected(name, i)) for i in range(frames)]
        assert document.accessors[sampler.input].max == [times[-1]] == [4.0]
        # Every pattern here loops in two bars: the clip closes on its start.
        assert keys[-1] == keys[0]
    for extras in (document.scenes[0].extras, animation.extras):
        assert {k: extras[k] for k in ("fps", "bpm", "frames", "end_frame", "scale_metres")} == {
            "fps": FPS, "bpm": BPM, "frames": frames, "end_frame": frames - 1, "scale_metres": scale}


def test_csv_and_json_read_back_as_sampled_with_what_they_hold(tmp_path):
    pandas = need("pandas")
    tempo, scale = TempoMap.constant(BPM), 0.5
    args = {"seconds": 1.5, "scale": scale, "start_frame": 1, "tempo_source": "120 bpm"}
    assert export(NAMES, tmp_path / "m.csv", tempo, FPS, **args) == 49
    export(NAMES, tmp_path / "m.json", tempo, FPS, **args)
    with open(tmp_path / "m.csv", newline="") as handle:
        rows = list(csv.reader(handle))
    columns = ["frame", "seconds", "beat", "pip"] + [f"{n}.{a}" for n in NAMES for a in "xyz"]
    assert rows[0] == columns
    table = pandas.read_csv(tmp_path / "m.csv", index_col="frame")
    assert list(table.columns) == columns[1:] and table.index.dtype.kind == "i" and len(table) == 49
    document = json.loads((tmp_path / "m.json").read_text())
    sidecar = json.loads((tmp_path / "m.csv-metadata.json").read_text())
    assert sidecar["url"] == "m.csv" and [c["name"] for c in sidecar["tableSchema"]["columns"]] == columns
    header = document["header"]
    assert sidecar["notes"] == [header]
    assert header["patterns"][0] == {"name": "circle", "period_pips": 64, "axes": "xy"}
    assert (header["fps"], header["bpm"], header["tempo"], header["scale_metres"], header["frames"]) == (
        FPS, BPM, "120 bpm", scale, 49)
    assert header["kinetrope"] and document["patterns"] == NAMES and len(document["frames"]) == len(rows) - 1 == 49
    for i, (row, item) in enumerate(zip(rows[1:], document["frames"])):
        pip = i * PIPS_PER_FRAME
        assert [float(v) for v in row[:4]] == [i + 1, i / FPS, pip / 64, pip]
        assert [item["frame"], item["seconds"], item["beat"], item["pip"]] == [i + 1, i / FPS, pip / 64, pip]
        want = [c * scale for n in NAMES for c in expected(n, i)]
        assert [float(v) for v in row[4:]] == want
        assert [c for n in NAMES for c in item["offsets"][n]] == want


@pytest.mark.parametrize("bpm, fps, bars", [(124.0, 60.0, 2), (93.0, 29.97, 1)])
def test_rows_end_on_the_musical_end_and_match_sampling(bpm, fps, bars):
    # Off the whole-pip grid: the remembered whole pips must interpolate as
    # sample_at does, and the end (between two frames) is the last row.
    tempo = TempoMap.constant(bpm)
    end = tempo.seconds_at(bars * 256)
    timeline = Timeline(fps, end)
    rows = list(sample_rows(NAMES, tempo, timeline, 1.0))
    assert [frame for frame, *_ in rows[:-1]] == list(range(len(rows) - 1))
    assert rows[-1][:3] == (end * fps, end, bars * 256) and int(end * fps) == len(rows) - 2
    for frame, seconds, pip, values in rows:
        assert values == [c for n in NAMES for c in sample_at(n, pip)], frame
    assert rows[-1][3] == rows[0][3]  # each of NAMES loops within a bar


def write_midi(path, tracks, ticks_per_beat=480):
    song = mido.MidiFile(type=1, ticks_per_beat=ticks_per_beat)
    for events in tracks:
        track = mido.MidiTrack()
        last = 0
        for tick, message in events:
            track.append(message.copy(time=tick - last))
            last = tick
        song.tracks.append(track)
    song.save(path)


def assert_changes(found, want):
    # Tempo is stored in whole microseconds a beat, so bpm comes back rounded.
    assert [beat for beat, _ in found] == [beat for beat, _ in want]
    assert [bpm for _, bpm in found] == pytest.approx([bpm for _, bpm in want], rel=1e-6)


def test_midi_tempo_changes_are_the_time_base(tmp_path):
    midi = tmp_path / "song.mid"
    tempo = lambda bpm: mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm))
    note = lambda kind: mido.Message(kind, note=60, velocity=64)
    # 120 bpm, 90 from beat 8 (set in a note track, as some tools do), 150 from beat 12.
    write_midi(
        midi,
        [
            [(0, tempo(120)), (12 * 480, tempo(150))],
            [(0, note("note_on")), (8 * 480, tempo(90)), (9 * 480, note("note_off"))],
        ],
    )
    assert_changes(tempo_changes(midi), [(0.0, 120.0), (8.0, 90.0), (12.0, 150.0)])
    out = tmp_path / "m.csv"
    assert main(["export", "bounce", "--midi-file", str(midi), "--fps", "30", "--bars", "4", "--out", str(out)]) == 0
    with open(out, newline="") as handle:
        pips = {round(float(r["seconds"]) * 30): float(r["pip"]) for r in csv.DictReader(handle)}
    # 8 beats at 120 take 4 s, 4 at 90 take 2.667 s, 4 at 150 take 1.6 s.
    assert len(pips) == 249  # (4 + 8/3 + 1.6) s at 30 fps is frame 248, exactly, the last
    assert pips[120] == pytest.approx(512)  # 4 s: beat 8
    assert pips[150] == pytest.approx(64 * (8 + 1.5))  # one second at 90 bpm later
    assert pips[230] == pytest.approx(64 * (12 + (230 / 30 - 4 - 8 / 3) * 2.5))


def test_midi_tempo_before_first_event_is_the_default(tmp_path):
    midi = tmp_path / "late.mid"
    write_midi(midi, [[(4 * 480, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(60)))]])
    assert_changes(tempo_changes(midi), [(0.0, 120.0), (4.0, 60.0)])


def no_tempo_midi(path):
    write_midi(path, [[(0, mido.Message("note_on", note=60)), (480, mido.Message("note_off", note=60))]])
    return path


@pytest.mark.parametrize(
    "case, words",
    [
        ("unknown pattern", "no_such_pattern"),
        ("missing directory", "cannot write"),
        ("no tempo", "no tempo"),
        ("not midi", "not a readable standard MIDI file"),
        ("unknown format", "cannot tell the format"),
        ("bad fps", "--fps"),
    ],
)
def test_bad_input_one_line_no_file(tmp_path, capsys, case, words):
    out = tmp_path / "motion.glb"
    out.write_bytes(b"earlier export")
    args = ["bounce", "--bpm", "120", "--fps", "30", "--seconds", "2", "--out", str(out)]
    if case == "unknown pattern":
        args[0] = "no_such_pattern"
    elif case == "missing directory":
        args[-1] = str(tmp_path / "nowhere" / "motion.glb")
    elif case in ("no tempo", "not midi"):
        midi = tmp_path / "song.mid"
        no_tempo_midi(midi) if case == "no tempo" else midi.write_bytes(b"MThd garbage")
        args[1:3] = ["--midi-file", str(midi)]
    elif case == "unknown format":
        args[-1] = str(tmp_path / "motion.fbx")
    elif case == "bad fps":
        args[4] = "0"
    before = sorted(p.name for p in tmp_path.iterdir())
    assert main(["export", *args]) != 0
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and err.startswith("kinetrope: ") and words in err, err
    assert sorted(p.name for p in tmp_path.iterdir()) == before
    assert out.read_bytes() == b"earlier export"


@pytest.mark.parametrize("suffix", [".csv", ".glb"])
def test_failure_while_writing_leaves_no_partial_file(tmp_path, monkeypatch, suffix):
    calls, still = 0, kinetrope.sample("bounce", 0)

    def failing(name, pip):
        nonlocal calls
        calls += 1
        if calls > 20:  # each whole pip of the loop is fetched once
            raise UserError("sampling broke")
        return still

    monkeypatch.setattr(kinetrope, "sample", failing)
    with pytest.raises(UserError, match="sampling broke"):
        export(["bounce"], tmp_path / f"m{suffix}", TempoMap.constant(120), 30, seconds=10)
    assert list(tmp_path.iterdir()) == []


def test_audio_beats_are_the_time_base(tmp_path):
    soundfile = need("soundfile")
    need("librosa")
    from click_tracks import RATE, render, steady_beats

    beats = steady_beats(128, 10.0)
    track = tmp_path / "click.wav"
    soundfile.write(track, render(beats, 10.0, "click"), RATE)
    out = tmp_path / "m.csv"
    # No length given: the song's own, 10 s.
    assert main(["export", "bounce", "--audio", str(track), "--fps", "50", "--out", str(out)]) == 0
    with open(out, newline="") as handle:
        rows = [(float(r["seconds"]), float(r["pip"])) for r in csv.DictReader(handle)]
    assert rows[-1][0] == 10.0 and len(rows) == 501
    # The first beat is pip 0 and every beat 64 pips on, within the
    # tracker's 20 ms (2.7 pips at 128 bpm).
    for index, at in enumerate(beat for beat in beats if beat < 7.9):
        (t0, p0), (t1, p1) = next((a, b) for a, b in itertools.pairwise(rows) if a[0] <= at < b[0])
        assert p0 + (p1 - p0) * (at - t0) / (t1 - t0) == pytest.approx(64 * index, abs=2.8), index


def test_missing_gltf_library_is_one_clear_error(tmp_path, monkeypatch):
    monkeypatch.setitem(sys.modules, "pygltflib", None)  # import now fails
    with pytest.raises(UserError, match=r"pip install 'kinetrope\[gltf\]'"):
        export(["bounce"], tmp_path / "m.glb", TempoMap.constant(120), 30, seconds=1)
    assert list(tmp_path.iterdir()) == []
