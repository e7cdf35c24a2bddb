"""Beats from audio files the tests make: clicks and drums, steady at 128 BPM
and changing tempo, each tracked beat within 20 ms of a true one."""

import subprocess
import sys

import pytest
from optional import need

soundfile = need("soundfile")
need("librosa")
import numpy  # noqa: E402
from click_tracks import RATE, changing_beats, render, steady_beats  # noqa: E402
from kinetrope_host.clocks import audio  # noqa: E402
from kinetrope_host.errors import UserError  # noqa: E402

SECONDS = 20.0
TRACKS = {
    "click_128": (steady_beats(128, SECONDS), "click"),
    "drums_128": (steady_beats(128, SECONDS), "drums"),
    "click_100_to_130": (changing_beats(100, 130, SECONDS, change_at=10.0), "click"),
    "drums_100_to_130": (changing_beats(100, 130, SECONDS, change_at=10.0), "drums"),
}


@pytest.fixture(scope="module")
def tracked(tmp_path_factory):
    """Each track's true beats, its file and its beat map (one module-wide
    fixture: librosa compiles its kernels on first use, which takes a while)."""
    folder = tmp_path_factory.mktemp("tracks")
    result = {}
    for name, (beats, kind) in TRACKS.items():
        path = folder / f"{name}.wav"
        soundfile.write(path, render(beats, SECONDS, kind), RATE)
        result[name] = (beats, path, audio.beat_map(path))
    return result


@pytest.mark.parametrize("name", TRACKS)
def test_every_beat_is_found_within_20_ms(tracked, name):
    true, _, found = tracked[name]
    assert len(found.beats) == len(true)
    errors = numpy.array(found.beats) - numpy.array(true)
    assert numpy.max(numpy.abs(errors)) < 0.020, errors


@pytest.mark.parametrize("name", TRACKS)
def test_the_beat_map_follows_the_tempo_from_the_first_beat(tracked, name):
    true, _, found = tracked[name]
    tempo = found.tempo
    # The first tracked beat is the downbeat, pip 0; each true beat is a whole beat on.
    pips = [tempo.pip_at(at) for at in true]
    assert pips == pytest.approx([64 * k for k in range(len(true))], abs=64 * 0.02 / (60 / 130))
    late = 130 if "to_130" in name else 128
    assert tempo.bpm_at(SECONDS - 2) == pytest.approx(late, rel=0.01)
    assert tempo.bpm_at(2.0) == pytest.approx(100 if "to_130" in name else 128, rel=0.01)
    assert found.duration == pytest.approx(SECONDS, abs=1e-3)


@pytest.mark.parametrize("content, message", [
    (None, "cannot read audio file {path}: no such file"),
    (b"not audio at all", "cannot read audio file {path}: "),
])
def test_an_unreadable_file_is_one_line(tmp_path, content, message):
    path = tmp_path / "song.wav"
    if content is not None:
        path.write_bytes(content)
    with pytest.raises(UserError, match="^" + message.format(path=path)):
        audio.beat_map(path)
    done = subprocess.run([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--audio", str(path), "--no-view"],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 1
    assert done.stderr.startswith("kinetrope: " + message.format(path=path)) and done.stderr.count("\n") == 1


def test_silence_has_no_tempo(tmp_path):
    path = tmp_path / "silence.wav"
    soundfile.write(path, numpy.zeros(RATE * 3), RATE)
    with pytest.raises(UserError, match="a tempo needs two or more"):
        audio.beat_map(path)


def test_play_follows_the_file_from_its_first_beat(tracked):
    import socket

    from kinetrope_host import cli
    from pythonosc.osc_bundle import OscBundle

    _, path, found = tracked["click_100_to_130"]
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as receiver:
        receiver.bind(("127.0.0.1", 0))
        receiver.settimeout(10.0)
        assert cli.main(["play", "helix", "--audio", str(path), "--frames", "3", "--no-view",
                         "--port", str(receiver.getsockname()[1])]) == 0
        bundles = [OscBundle(receiver.recv(65536)) for _ in range(3)]
    first = [bundle.content(i).params for bundle in bundles[:1] for i in range(3)]
    # At the file's start the map runs back from the first beat at the first tempo.
    assert first[1][0] == pytest.approx(found.tempo.pip_at(0.0) / 64, abs=1e-6)
    assert first[2][0] == pytest.approx(100, rel=0.01)
