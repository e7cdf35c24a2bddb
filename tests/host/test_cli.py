"""The kinetrope command: list, show, play to a real OSC receiver, and the
one-line errors a user's mistakes give."""

import socket
import subprocess
import sys
import time

import kinetrope
import pytest
from kinetrope_host import cli
from kinetrope_host.sampling import sample_at
from pythonosc.osc_bundle import OscBundle
from pythonosc.osc_message import OscMessage
from pythonosc.parsing import osc_types


def run(*args):
    return subprocess.run([sys.executable, "-m", "kinetrope_host", *args], capture_output=True, text=True, timeout=60)


def type_tags(message):
    _, after_address = osc_types.get_string(message.dgram, 0)
    return osc_types.get_string(message.dgram, after_address)[0]


@pytest.fixture
def udp():
    receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    receiver.bind(("127.0.0.1", 0))
    receiver.settimeout(10.0)
    yield receiver
    receiver.close()


def test_list_narrows_by_collection_and_words(capsys):
    assert cli.main(["list", "--collection", "club", "--search", "amen", "orbit", "--no-header"]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert lines and all(line.split()[:3] == [line.split()[0], "club", "orbit"] for line in lines)
    assert all("amen" in line.lower() for line in lines)
    assert cli.main(["list", "--search", "no-such-word-anywhere"]) == 1
    assert capsys.readouterr() == ("", "kinetrope: no pattern matches\n")


def test_list_has_a_header_a_no_header_form_and_json(capsys):
    import json

    assert cli.main(["list", "--collection", "formula"]) == 0
    header, *rows = capsys.readouterr().out.splitlines()
    assert header.split() == ["name", "collection", "family", "period_pips", "dimensions", "description"]
    assert [row.split()[0] for row in rows] == [r["name"] for r in kinetrope.catalogue()[:15]]
    assert cli.main(["list", "--collection", "formula", "--no-header"]) == 0
    assert capsys.readouterr().out.splitlines() == rows
    assert cli.main(["list", "--search", "amen", "orbit", "--json"]) == 0
    listed = json.loads(capsys.readouterr().out)
    assert cli.main(["list", "--search", "amen", "orbit", "--no-header"]) == 0
    assert [r["name"] for r in listed] == [line.split()[0] for line in capsys.readouterr().out.splitlines()]
    assert listed and set(listed[0]) == {"name", "description", "period_pips", "dimensions", "collection", "family"}


def test_a_closed_pipe_ends_quietly_as_sigpipe_would():
    # `kinetrope list | head -1`: the reader leaves after one line.
    listing = subprocess.Popen([sys.executable, "-m", "kinetrope_host", "list"], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    assert listing.stdout.readline().startswith(b"name ")
    listing.stdout.close()
    assert listing.communicate(timeout=60)[1] == b""
    assert listing.returncode == 141


def test_version_names_the_package_and_the_module_it_installed():
    from importlib.metadata import version

    done = run("--version")
    assert done.returncode == 0 and done.stderr == ""
    assert done.stdout == f"kinetrope {version('kinetrope')} (module {version('kinetrope')}, {kinetrope.__file__})\n"


def test_show_draws_each_axis_over_one_period(capsys):
    assert cli.main(["show", "step_touch", "--width", "32"]) == 0
    out = capsys.readouterr().out
    assert "period 128 pips (2 beats), 2 axes" in out and "Two-beat side step with a small lift" in out
    x_plot = out.split("x:\n")[1].split("\n\n")[0].splitlines()[:9]
    # One mark per column, at the row of that column's value (+1 on top).
    for column in range(32):
        rows = [line[4 + column] for line in x_plot]
        assert rows.count("*") == 1
        value = sample_at("step_touch", column * 4)[0]
        assert rows.index("*") == round((1 - value) / 2 * 8)
    assert "z:  (stays at 0)" in out


def test_play_sends_one_timetagged_bundle_a_frame(udp):
    port = udp.getsockname()[1]
    before = time.time()
    assert cli.main(["play", "helix", "sway", "--bpm", "90", "--fps", "50", "--frames", "5", "--port", str(port),
                     "--start-beat", "1", "--no-view"]) == 0
    bundles = [OscBundle(udp.recv(65536)) for _ in range(5)]
    stamps = [bundle.timestamp for bundle in bundles]
    assert before - 0.1 < stamps[0] < time.time()
    assert [b - a for a, b in zip(stamps, stamps[1:])] == pytest.approx([0.02] * 4, abs=1e-3)
    for frame, bundle in enumerate(bundles):
        messages = [bundle.content(i) for i in range(bundle.num_contents)]
        assert all(isinstance(m, OscMessage) for m in messages)
        assert [m.address for m in messages] == ["/kinetrope/pip", "/kinetrope/beat", "/kinetrope/bpm",
                                                 "/kinetrope/helix", "/kinetrope/sway"]
        pip = 64 + frame * 90 / 60 / 50 * 64  # 1.92 pips a frame from beat 1
        assert [m.params for m in messages[:3]] == [[int(pip)], [pytest.approx(pip / 64)], [90.0]]
        assert messages[3].params == pytest.approx(list(sample_at("helix", pip)), abs=1e-6)
        assert [type_tags(m) for m in messages] == [",i", ",f", ",f", ",fff", ",fff"]


@pytest.mark.parametrize(
    "args, message",
    [
        (["show", "Helix"], "kinetrope: Unknown dance rudiment: Helix (did you mean helix?)"),
        (["play", "bounce", "heliks", "--no-view"], "kinetrope: Unknown dance rudiment: heliks (did you mean helix?)"),
        (["list", "--collection", "clubs"], "kinetrope: unknown collection: clubs (did you mean club?);"),
        (["play", "bounce", "--port", "70000"], "kinetrope play: argument --port: must be a UDP port, 1 to 65535: 70000"),
        (["play", "bounce", "--port", "7000", "--host", "no.such.host.invalid", "--no-view"],
         "kinetrope: cannot resolve OSC host 'no.such.host.invalid'"),
        (["play", "bounce", "--frames", "-5"], "kinetrope play: argument --frames: must be a positive whole number: -5"),
        (["play", "bounce", "--bpm", "-5"], "kinetrope play: argument --bpm: must be a positive number: -5"),
        (["play", "bounce", "--fps", "0"], "kinetrope play: argument --fps: must be a positive number: 0"),
        (["play", "bounce", "--ws", "0"], "kinetrope play: argument --ws: must be a whole number from 1 to 65535: 0"),
        (["show", "helix", "--width", "-5"], "kinetrope show: argument --width: must be a whole number from 8 to 400"),
        (["export", "helix", "--fps", "10", "--bpm", "120", "--bars", "1", "--scale", "nan", "--out", "x.glb"],
         "kinetrope: --scale must be a positive number of metres up to 1e+30: nan"),
    ],
)
def test_user_errors_are_one_line_and_fail(args, message):
    done = run(*args)
    assert done.returncode != 0
    assert done.stderr.count("\n") == 1 and done.stderr.startswith(message), done.stderr
    assert "Traceback" not in done.stderr


def test_play_stops_after_its_bars(udp):
    port = udp.getsockname()[1]
    # One bar of 4 beats at 960 BPM lasts 0.25 s: 25 frames at 100 a second.
    assert cli.main(["play", "bounce", "--bpm", "960", "--fps", "100", "--bars", "1", "--port", str(port),
                     "--no-view"]) == 0
    udp.settimeout(0.5)
    beats = []
    try:
        while True:
            beats.append(OscBundle(udp.recv(65536)).content(1).params[0])
    except TimeoutError:
        pass
    assert 1 <= len(beats) <= 25 and beats[0] == 0.0
    assert all(a < b for a, b in zip(beats, beats[1:])) and beats[-1] < 4.0


def test_live_view_shows_bar_beat_tempo_and_each_pattern_moving():
    import io

    from kinetrope_host.frames import Frame
    from kinetrope_host.outputs.terminal import LiveView, lines, track
    from rich.console import Console

    first = Frame(seconds=0.0, pip=64 * 7, values={"helix": sample_at("helix", 0)}, bpm=97.5)
    assert lines(first, 3, 1)[:2] == ["bar    3  beat 2/3  pip     448.00    97.5 bpm  1 frame sent",
                                      "x: the mark's column (-1 left, +1 right)   y: its height (▁ -1, █ +1)   "
                                      "z: the number"]
    out = io.StringIO()
    view = LiveView(beats_per_bar=3, console=Console(file=out, width=120))
    for k in range(5):
        view.send(Frame(seconds=k / 30, pip=64 * 7 + 16 * k, values={"helix": sample_at("helix", 16 * k)}, bpm=97.5))
    view.close()
    text = out.getvalue()
    # Pip 512 is beat 8 counted from 0: bar 3, beat 3 of 3.
    assert "bar    3  beat 3/3  pip     512.00    97.5 bpm  5 frames sent" in text
    assert track(-1.0, -1.0)[0] == "▁" and track(1.0, 1.0)[-1] == "█" and track(0.0, 0.0)[20] == "▅"


@pytest.mark.parametrize("pip, tag", [(2**31 - 1 + 0.5, ",i"), (2**31 + 0.5, ",h"), (-(2**31) - 0.5, ",h")])
def test_the_whole_pip_widens_to_64_bits_past_the_32_bit_range(pip, tag):
    from kinetrope_host.frames import Frame
    from kinetrope_host.outputs.osc import bundle

    sent = OscBundle(bundle(Frame(seconds=0.0, pip=pip, values={}, bpm=120.0, wall_time=1e9), "/k"))
    whole = sent.content(0)
    assert type_tags(whole) == tag and whole.params == [int(pip // 1)]
