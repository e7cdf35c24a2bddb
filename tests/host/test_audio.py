"""Beats and bars from audio files the tests make (drum scores rendered here,
a song rendered by fluidsynth), files that try to hurt the reader, the cache
and the `play` options."""

import contextlib
import os
import shutil
import socket
import subprocess
import sys
import tracemalloc

import pytest
from optional import need

soundfile = need("soundfile")
need("librosa")
import numpy
from click_tracks import (RATE, changing_beats, render, render_groove, render_hydrogen, render_song, steady_beats,
                          write_song_midi)
from kinetrope_host.clocks import audio, beat_tracking
from kinetrope_host.errors import UserError

SECONDS = 20.0
# name: true beats, rendering, meter, index of the first downbeat
TRACKS = {
    "rock_120_pickup": (steady_beats(120, SECONDS), "rock", "4/4", 1),
    "waltz_132": (steady_beats(132, SECONDS), "waltz", "3/4", 0),
    "click_100_to_130": (changing_beats(100, 130, SECONDS, change_at=10.0), "click", None, None),
    "song_6_8_56": (steady_beats(56, SECONDS), "song", "6/8", 0),
    # tempo estimates land on the eighths, on half the beat or on two eighths of the 6/8 here
    "rock_70": (steady_beats(70, SECONDS), "rock", "4/4", 0),
    "break_172": (steady_beats(172, SECONDS), "break", "4/4", 0),
    "six_eight_drums_60": (steady_beats(60, SECONDS), "six_eight", "6/8", 0),
    # a drum machine's demo song from its first sample on; a middle section's pattern reads as 2:3 of the tempo
    "hydrogen_tr808_125": (None, "TR808kit-demo", "4/4", 0),
    # opens on the offbeats for three bars: the tracker holds them until it locks on
    "hydrogen_demo3_115": (None, "GM_kit_demo3", "4/4", 0),
}


@pytest.fixture(scope="module", autouse=True)
def cache_home(tmp_path_factory):
    """Every analysis of this module caches in a folder of its own."""
    old = os.environ.get("XDG_CACHE_HOME")
    os.environ["XDG_CACHE_HOME"] = str(tmp_path_factory.mktemp("cache"))
    yield os.environ["XDG_CACHE_HOME"]
    if old is None:
        del os.environ["XDG_CACHE_HOME"]
    else:
        os.environ["XDG_CACHE_HOME"] = old


def write_track(path, beats, kind, pickup=0):
    """Writes the track; returns its true beats."""
    if kind.startswith(("TR808", "GM_kit")):
        if shutil.which("h2cli") is None and os.environ.get("CI") != "true":
            pytest.skip("hydrogen is not installed (apt-get install hydrogen)")
        return render_hydrogen(kind, path, SECONDS)
    if kind == "song":
        if shutil.which("fluidsynth") is None and os.environ.get("CI") != "true":
            pytest.skip("fluidsynth is not installed (apt-get install fluidsynth fluid-soundfont-gm)")
        render_song(beats, SECONDS, path, per_bar=2, compound=True, pickup=pickup)
    elif kind == "click":
        soundfile.write(path, render(beats, SECONDS, "click"), RATE)
    else:
        soundfile.write(path, render_groove(beats, SECONDS, kind, pickup=pickup), RATE)
    return beats


@pytest.fixture(scope="module")
def tracked(tmp_path_factory):
    """Each track's true beats, its file and its beat map (one module-wide
    fixture: librosa compiles its kernels on first use, which takes a while)."""
    folder = tmp_path_factory.mktemp("tracks")
    result = {}
    for name, (beats, kind, _, pickup) in TRACKS.items():
        path = folder / f"{name}.wav"
        beats = write_track(path, beats, kind, pickup or 0)
        result[name] = (beats, path, audio.beat_map(path, cache=False))
    return result


@pytest.mark.parametrize("name", TRACKS)
def test_every_beat_is_found_and_bar_1_is_the_true_downbeat(tracked, name):
    true, _, found = tracked[name]
    assert len(found.beats) == len(true)
    errors = numpy.array(found.beats) - numpy.array(true)
    # fluidsynth's instruments take a while to speak: the song's onsets trail its beats; demo3's
    # notes are humanized (hydrogen moves each at random, by up to tens of ms): the F-measure's window
    limit = 0.050 if name.startswith("song") else 0.070 if name == "hydrogen_demo3_115" else 0.020
    assert numpy.max(numpy.abs(errors)) < limit, errors
    meter, downbeat = TRACKS[name][2:]
    if meter is not None:
        assert (found.meter, found.downbeat) == (meter, downbeat)
        # the pickup counts in with negative pips, the downbeat is pip 0, bars follow on
        assert found.tempo.pip_at(true[downbeat]) == pytest.approx(0, abs=2)
        assert found.tempo.pip_at(2 * true[downbeat] - true[downbeat + 1]) == pytest.approx(-64, abs=6)


def test_the_beat_map_follows_a_tempo_change(tracked):
    _, _, found = tracked["click_100_to_130"]
    assert found.tempo.bpm_at(SECONDS - 2) == pytest.approx(130, rel=0.01)
    assert found.tempo.bpm_at(2.0) == pytest.approx(100, rel=0.01)
    assert found.duration == pytest.approx(SECONDS, abs=1e-3)


def test_no_beat_is_lost_across_a_tempo_change(tmp_path):
    """The tracker slides from one tempo to the other two beats short here;
    three beats of 96 last as long as four of 128."""
    true = changing_beats(96, 128, 50.0, change_at=25.0)
    path = tmp_path / "break.wav"
    soundfile.write(path, render_groove(true, 50.0, "break"), RATE)
    found = audio.beat_map(path, cache=False)
    assert len(found.beats) == len(true)
    assert numpy.max(numpy.abs(numpy.array(found.beats) - true)) < 0.020
    assert found.downbeat == 0


def test_missed_beats_are_filled_and_doubled_ones_merged():
    beats = [0.5 * k for k in range(16)]
    holed = beats[:5] + beats[8:]  # three beats missed: later bars must not shift
    doubled = beats[:10] + [beats[9] + 0.03] + beats[10:]
    assert beat_tracking.regular(holed) == pytest.approx(beats)
    assert beat_tracking.regular(doubled) == pytest.approx(beats)


def test_a_silent_break_keeps_the_bars(tmp_path):
    """Two beats of silence inside the track: the beat count and the bar
    lines after the break stay right."""
    true = steady_beats(120, SECONDS)
    samples = render_groove(true, SECONDS, "rock")
    samples[int(true[16] * RATE) - 200:int(true[19] * RATE) - 200] = 0.0
    path = tmp_path / "break.wav"
    soundfile.write(path, samples, RATE)
    found = audio.beat_map(path, cache=False)
    assert len(found.beats) == len(true)
    assert [round(found.tempo.pip_at(at) / 64) for at in true[20:]] == list(range(20, len(true)))


def wav_with_header(path, rate=44100, channels=1, frames=100, subtype="PCM_16", samples=None):
    data = numpy.zeros((frames, channels)) if samples is None else samples
    soundfile.write(path, data, rate, subtype=subtype)
    return path


def sparse_long_wav(path):
    """A 2 GB WAV whose blocks are never written (the file system keeps it sparse)."""
    wav_with_header(path, frames=10)
    size = 2 << 30
    with open(path, "r+b") as file:
        file.truncate(size)
        file.seek(4)
        file.write((size - 8).to_bytes(4, "little"))
        file.seek(40)
        file.write((size - 44).to_bytes(4, "little"))
    return path


@pytest.mark.parametrize("make, reason", [
    (lambda p: wav_with_header(p, rate=1), "its sample rate is 1 Hz; 8 to 384 kHz are accepted"),
    (lambda p: wav_with_header(p, rate=768000), "its sample rate is 768000 Hz"),
    (lambda p: wav_with_header(p, channels=100), "it has 100 channels; 1 to 64 are accepted"),
    (sparse_long_wav, "it lasts 406 minutes; at most 60 are analysed"),
    (lambda p: wav_with_header(p, subtype="FLOAT", samples=numpy.array([[0.0], [numpy.nan]] * 50)),
     r"it holds samples that are not finite \(NaN or infinity\)"),
    (lambda p: wav_with_header(p, subtype="FLOAT", samples=numpy.array([[0.0], [numpy.inf]] * 50)),
     r"it holds samples that are not finite \(NaN or infinity\)"),
    (lambda p: wav_with_header(p, subtype="FLOAT", samples=numpy.full((100, 2), 3e38)),
     "it holds samples beyond 1000 times full scale"),
    (lambda p: wav_with_header(p, frames=0), "it holds no samples"),
    (lambda p: p.write_bytes(b"not audio at all") and p, "Format not recognised|Error opening"),
    (lambda p: p, "no such file"),
    (lambda p: p.mkdir() or p, "it is a directory"),
], ids=["1_hz", "768_khz", "100_channels", "2_gb_sparse", "nan", "inf", "3e38", "empty", "not_audio", "missing",
        "directory"])
def test_a_hostile_file_is_refused_in_one_line(tmp_path, make, reason):
    path = make(tmp_path / "song.wav")
    with pytest.raises(UserError, match=f"^cannot read audio file {path}: ({reason})"):
        audio.beat_map(path)


@pytest.mark.parametrize("kind", ["fifo", "device"])
def test_a_fifo_or_a_device_is_refused_without_reading_it(tmp_path, kind):
    if kind == "fifo":
        path = tmp_path / "stream.wav"
        os.mkfifo(path)
        reason = "it is a FIFO (named pipe), not a file"
    else:
        path, reason = "/dev/zero", "it is a device, not a file"
    # a reader that opened the FIFO would wait for a writer: the timeout catches that
    done = subprocess.run([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--audio", str(path),
                           "--no-view"], capture_output=True, text=True, timeout=60, check=False)
    assert done.returncode == 1
    assert done.stderr.startswith(f"kinetrope: cannot read audio file {path}: {reason}")
    assert done.stderr.count("\n") == 1


def test_memory_grows_with_the_file_by_a_small_multiple(tmp_path):
    """What analysis holds beyond a fixed block's worth is at most twice the
    decoded file (mono float32 at 22050 Hz): the peak of a 4-minute file
    over a 2-minute one."""
    peaks = {}
    for seconds in (120, 240):
        path = tmp_path / f"{seconds}.wav"
        soundfile.write(path, render(steady_beats(120, seconds), seconds, "click"), RATE, subtype="PCM_16")
        if not peaks:
            audio.beat_map(path, cache=False)  # warm up: kernels compiled, not measured
        tracemalloc.start()
        audio.beat_map(path, cache=False)
        peaks[seconds] = tracemalloc.get_traced_memory()[1]
        tracemalloc.stop()
    decoded_growth = (240 - 120) * audio.RATE * 4
    assert peaks[240] - peaks[120] <= 2 * decoded_growth, (peaks, decoded_growth)


def test_the_analysis_is_cached_by_content_and_offset_moves_the_map(tracked, tmp_path, monkeypatch):
    _, path, found = tracked["waltz_132"]
    first = audio.beat_map(path)
    renamed = tmp_path / "other name.wav"
    shutil.copy(path, renamed)

    def no_analysis(*_):
        raise AssertionError("analysed again")

    monkeypatch.setattr(audio, "analyse", no_analysis)
    again = audio.beat_map(renamed, offset=0.25)
    assert (again.meter, again.downbeat) == (first.meter, first.downbeat) == (found.meter, found.downbeat)
    assert again.beats == pytest.approx([beat + 0.25 for beat in first.beats])
    with open(renamed, "r+b") as file:  # other content: analysed anew
        file.seek(-2, os.SEEK_END)
        file.write(b"\x01\x00")
    with pytest.raises(AssertionError, match="analysed again"):
        audio.beat_map(renamed)


def test_silence_has_no_tempo(tmp_path):
    path = tmp_path / "silence.wav"
    soundfile.write(path, numpy.zeros(RATE * 3), RATE)
    with pytest.raises(UserError, match="a tempo needs two or more"):
        audio.beat_map(path)


def test_play_counts_bars_of_the_file_meter_from_its_downbeat(tracked):
    """`play --audio` on the waltz: the meter reported, the first frame (at
    the file's start) is the song position the map gives there, moved by
    --audio-offset, and `--bars 1` ends after one bar of three beats."""
    from pythonosc.osc_bundle import OscBundle

    _, path, found = tracked["waltz_132"]
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as receiver:
        receiver.bind(("127.0.0.1", 0))
        done = subprocess.run([sys.executable, "-m", "kinetrope_host", "play", "helix", "--audio", str(path),
                               "--audio-offset", "100", "--bars", "1", "--fps", "20", "--no-view", "--port",
                               str(receiver.getsockname()[1])], capture_output=True, text=True, timeout=120,
                              check=False)
        assert done.returncode == 0, done.stderr
        receiver.settimeout(1.0)
        beats = []
        with contextlib.suppress(TimeoutError):
            while True:
                beats.append(OscBundle(receiver.recv(65536)).content(1).params[0])
    assert f"{path.name}: 3/4, about 132" in done.stderr
    shifted = audio.beat_map(path, offset=0.1)
    assert beats[0] == pytest.approx(shifted.tempo.pip_at(0.0) / 64, abs=0.01)
    assert shifted.tempo.pip_at(0.0) < found.tempo.pip_at(0.0)
    assert 3 - 132 / 60 / 20 * 1.5 < beats[-1] < 3


def test_the_song_midi_places_its_beats_exactly(tmp_path):
    """The corpus's ground truth: the MIDI file's own tempo map puts beat k at the k-th given time."""
    mido = need("mido")
    beats = [0.5, 1.0, 1.6, 2.1, 2.5]
    write_song_midi(beats, tmp_path / "song.mid")
    song = mido.MidiFile(tmp_path / "song.mid")
    tempo, now, seconds = 500000, 0, 0.0
    for message in song.tracks[0]:
        seconds += mido.tick2second(message.time, song.ticks_per_beat, tempo)
        now += message.time
        if message.type == "set_tempo":
            assert seconds == pytest.approx(beats[now // song.ticks_per_beat - 1] if now else 0.0, abs=1e-5)
            tempo = message.tempo
