"""The examples that put patterns into programs of their own: a pygame
window, a three.js sketch in Chromium fed by `kinetrope play --ws`, and an
OSC receiver such as a visual tool would be."""

import importlib.util
import os
import re
import socket
import subprocess
import sys
from pathlib import Path

import pytest
from kinetrope_host.sampling import sample_at
from optional import need

EXAMPLES = Path(__file__).parents[2] / "examples"


def load_example(name):
    found = importlib.util.spec_from_file_location(name, EXAMPLES / f"{name}.py")
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


def free_port(kind):
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def play(*args):
    return [sys.executable, "-m", "kinetrope_host", "play", *args, "--no-view"]


def test_pygame_window_draws_each_shape_where_its_pattern_is(tmp_path):
    pygame = need("pygame")
    window = load_example("pygame_window")
    names = ["helix", "bounce", "figure_eight"]
    done = subprocess.run([sys.executable, str(EXAMPLES / "pygame_window.py"), *names, "--bpm", "150",
                           "--frames", "20", "--save", str(tmp_path / "last.png")],
                          env=dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy"),
                          capture_output=True, text=True, timeout=120, check=True)
    pip = float(re.search(r"at pip (\S+)", done.stdout)[1])
    assert pip > 0
    picture = pygame.image.load(str(tmp_path / "last.png"))
    for lane, name in enumerate(names):
        centre_x, centre_y, _ = window.shape_at(sample_at(name, pip), lane, len(names))
        assert tuple(picture.get_at((centre_x, centre_y)))[:3] == window.COLOURS[lane], name


def test_browser_sketch_moves_its_shapes_by_the_websocket_stream(browser, tmp_path):
    port = free_port(socket.SOCK_STREAM)
    index = load_example("ws_sketch").write_page(tmp_path, port)
    browser.get(index.as_uri())
    player = subprocess.Popen(play("helix", "bounce", "--bpm", "240", "--bars", "8", "--fps", "30",
                                   "--ws", str(port)), stderr=subprocess.PIPE, text=True)
    try:
        from selenium.webdriver.support.ui import WebDriverWait

        WebDriverWait(browser, 60).until(lambda d: d.execute_script("return kinetropeSketch.frames >= 10"))
        last, positions, errors = browser.execute_script(
            "const s = kinetropeSketch; return [s.last, s.positions(), s.errors];")
        assert player.wait(timeout=60) == 0
    finally:
        player.kill()
        player.communicate()
    assert errors == []
    assert last["beat"] == pytest.approx(last["pip"] / 64) and last["bpm"] == 240
    for lane, name in enumerate(["helix", "bounce"]):
        x, y, z = sample_at(name, last["pip"])
        assert last["patterns"][name] == pytest.approx([x, y, z], abs=1e-12)
        assert positions[name] == pytest.approx([(lane - 0.5) * 2.5 + 1.5 * x, 1.5 * y, 1.5 * z], abs=1e-6)


def test_ws_port_already_taken_is_one_line():
    with socket.socket() as taken:
        taken.bind(("127.0.0.1", 0))
        taken.listen()
        done = subprocess.run(play("helix", "--ws", str(taken.getsockname()[1])), capture_output=True,
                              text=True, timeout=60)
    assert done.returncode == 1
    assert re.fullmatch(r"kinetrope: cannot serve WebSocket on 127\.0\.0\.1:\d+: .+\n", done.stderr), done.stderr


def test_osc_receiver_gets_each_pattern_message():
    need("pythonosc")
    port = free_port(socket.SOCK_DGRAM)
    receiver = subprocess.Popen([sys.executable, str(EXAMPLES / "osc_receiver.py"), "--port", str(port),
                                 "--count", "10"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        assert receiver.stderr.readline() == f"listening on 127.0.0.1:{port}\n"
        subprocess.run(play("helix", "bounce", "--bpm", "120", "--frames", "5", "--port", str(port)),
                       check=True, capture_output=True, timeout=60)
        out, _ = receiver.communicate(timeout=60)
    finally:
        receiver.kill()
    lines = [re.fullmatch(r"beat +(\S+)  (\w+) +x (\S+)  y (\S+)  z (\S+)", line).groups()
             for line in out.splitlines()]
    assert receiver.returncode == 0 and [name for _, name, *_ in lines] == ["helix", "bounce"] * 5
    for beat, name, *values in lines:
        assert [float(v) for v in values] == pytest.approx(sample_at(name, float(beat) * 64), abs=0.02)
