"""Live control of a running `kinetrope play`: a controller over OSC (a real
python-osc client), the keys of the terminal view (through a pseudo-terminal)
and the latency offset, all seen in the OSC the player sends."""

import os
import pty
import socket
import subprocess
import sys
import time

import pytest
from optional import need

need("pythonosc")
from pythonosc.osc_bundle import OscBundle  # noqa: E402
from pythonosc.udp_client import SimpleUDPClient  # noqa: E402


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Frames:
    """The player's bundles as (beat, bpm, due time), read from a UDP socket."""

    def __init__(self):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.socket.bind(("127.0.0.1", 0))
        self.socket.settimeout(0.01)
        self.port = self.socket.getsockname()[1]
        self.seen = []

    def read(self):
        try:
            while True:
                frame = OscBundle(self.socket.recv(65536))
                self.seen.append((frame.content(1).params[0], frame.content(2).params[0], frame.timestamp))
        except TimeoutError:
            pass
        return self.seen

    def wait_for(self, check, seconds=20.0):
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if check(self.read()):
                return True
        return False


def shift(seen, bpm):
    """Beats moved beyond what the time between the first and last frame
    makes at `bpm`."""
    (first, _, start), (last, _, end) = seen[0], seen[-1]
    return (last - first) - (end - start) * bpm / 60.0


def tapped(taps):
    """The tempo of taps at these times (as sent: the player's own timing adds a little)."""
    return 60.0 * (len(taps) - 1) / (taps[-1] - taps[0])


def play(frames, *options, **popen):
    return subprocess.Popen([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--port", str(frames.port),
                             "--frames", "1500", *options], **popen)


def test_a_controller_sets_taps_nudges_and_resets_the_bar_over_osc():
    frames, osc_in = Frames(), free_udp_port()
    player = play(frames, "--bpm", "120", "--osc-in", str(osc_in), "--no-view", stderr=subprocess.PIPE, text=True)
    controller = SimpleUDPClient("127.0.0.1", osc_in)
    try:
        assert frames.wait_for(lambda seen: len(seen) > 10)
        controller.send_message("/kinetrope/bpm", 90.0)
        assert frames.wait_for(lambda seen: seen[-1][1] == 90.0)
        controller.send_message("/kinetrope/bpm", 1000.0)  # refused, with a word
        taps = []
        for _ in range(4):  # taps 0.6 s apart: about 100 BPM
            taps.append(time.monotonic())
            controller.send_message("/kinetrope/tap", [])
            time.sleep(0.6)
        assert frames.wait_for(lambda seen: seen[-1][1] != 90.0)
        assert frames.read()[-1][1] == pytest.approx(tapped(taps), abs=5)
        controller.send_message("/kinetrope/bpm", 90.0)
        assert frames.wait_for(lambda seen: seen[-1][1] == 90.0)
        count = len(frames.read())
        controller.send_message("/kinetrope/nudge", 400.0)  # 0.6 beat later at 90 BPM
        assert frames.wait_for(lambda seen: shift(seen[count - 1:], 90) < -0.5)
        assert shift(frames.read()[count - 1:], 90) == pytest.approx(-0.6, abs=0.01)
        assert frames.wait_for(lambda seen: 1.4 < seen[-1][0] % 4 < 1.6)  # well inside a bar
        count = len(frames.read())
        controller.send_message("/kinetrope/bar", [])
        assert frames.wait_for(lambda seen: shift(seen[count - 1:], 90) < -1.0)
        seen = frames.read()
        jump = next(k for k in range(count - 1, len(seen) - 1) if shift(seen[k:k + 2], 90) < -1.0)
        in_bar = seen[jump + 1][0] % 4
        assert min(in_bar, 4 - in_bar) < 0.2  # beat 1 of a bar, just now (frames are sampled at their due time)
    finally:
        player.kill()
        _, errors = player.communicate()
        frames.socket.close()
        controller._sock.close()  # python-osc's client has no close of its own
    assert "kinetrope: tempo must be 20 to 400 BPM: 1000.0" in errors


def test_keys_of_the_terminal_view_tap_the_tempo():
    frames = Frames()
    main, terminal = pty.openpty()
    player = play(frames, "--bpm", "120", stdin=terminal, stdout=terminal, stderr=terminal)
    os.close(terminal)
    try:
        assert frames.wait_for(lambda seen: len(seen) > 10)
        taps = []
        for _ in range(5):  # 0.4 s apart: about 150 BPM
            taps.append(time.monotonic())
            os.write(main, b" ")
            time.sleep(0.4)
        assert frames.wait_for(lambda seen: seen[-1][1] != 120.0)
        assert frames.read()[-1][1] == pytest.approx(tapped(taps), abs=8)
        count, bpm = len(frames.read()), frames.read()[-1][1]
        os.write(main, b"\x1b[D" * 40)  # 200 ms earlier: half a beat ahead at 150 BPM
        assert frames.wait_for(lambda seen: shift(seen[count - 1:], bpm) > 0.19 * bpm / 60)
        assert shift(frames.read()[count - 1:], bpm) == pytest.approx(0.2 * bpm / 60, abs=0.02)
    finally:
        player.kill()
        player.wait()
        os.close(main)
        frames.socket.close()


def test_latency_sends_each_frame_that_much_ahead():
    frames = Frames()
    player = play(frames, "--bpm", "120", "--latency", "250", "--no-view")
    try:
        assert frames.wait_for(lambda seen: len(seen) > 0)
        # The first frame, due at the start, shows beat 0.5; on a loaded
        # machine the player may drop a late first frame or two, but what it
        # sends stays on the frame grid (60 fps at 120 BPM: 1/30 beat).
        frames_late = (frames.read()[0][0] - 0.5) * 30
        assert 0 <= round(frames_late) < 8
        assert frames_late == pytest.approx(round(frames_late), abs=1e-4)
    finally:
        player.kill()
        player.wait()
        frames.socket.close()
