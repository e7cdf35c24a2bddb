"""examples/osc_stream.py against a real OSC server on the loopback address."""

import math
import struct
import subprocess
import sys
from pathlib import Path

import kinetrope
import pytest
from kinetrope_host.sampling import sample_at

osc_server = pytest.importorskip("pythonosc.osc_server")
from pythonosc.dispatcher import Dispatcher  # noqa: E402

EXAMPLE = Path(__file__).parents[2] / "examples" / "osc_stream.py"


@pytest.fixture
def receiver():
    """A bound server and the list its messages land in, as (address, args)."""
    received = []
    dispatcher = Dispatcher()
    dispatcher.set_default_handler(lambda address, *args: received.append((address, args)))
    server = osc_server.BlockingOSCUDPServer(("127.0.0.1", 0), dispatcher)
    yield server, received
    server.server_close()


def collect(server, count):
    """Handles the datagrams queued on the socket: `count` of them, then checks
    that nothing else is waiting. The timeout only bounds a broken run."""
    server.timeout = 10.0
    for _ in range(count):
        server.handle_request()
    server.timeout = 0.0
    server.handle_request()


def run_example(port, *args):
    return subprocess.run([sys.executable, str(EXAMPLE), "127.0.0.1", str(port), *args],
                          capture_output=True, text=True, timeout=60)


def as_float32(values):
    return struct.unpack("<3f", struct.pack("<3f", *values))


def test_frames_carry_the_samples_at_their_pips(receiver):
    server, received = receiver
    patterns = ["helix", kinetrope.catalogue()[-1]["name"]]
    frames = 24
    done = run_example(server.server_address[1], *patterns,
                       "--bpm", "240", "--fps", "100", "--frames", str(frames), "--start-beat", "2.5")
    assert done.returncode == 0, done.stderr
    collect(server, frames)  # one bundle a frame

    per_frame = 3 + len(patterns)
    assert len(received) == frames * per_frame
    pips = []
    for frame in range(frames):
        (pip_address, (pip,)), (beat_address, (beat,)), (bpm_address, (bpm,)), *offsets = \
            received[frame * per_frame:(frame + 1) * per_frame]
        assert (pip_address, beat_address, bpm_address) == ("/kinetrope/pip", "/kinetrope/beat", "/kinetrope/bpm")
        assert type(pip) is int and pip == math.floor(beat * 64) and bpm == 240.0
        pips.append(beat * 64)
        for name, (address, values) in zip(patterns, offsets):
            assert address == f"/kinetrope/{name}"
            # Between whole pips the values are interpolated at the frame's own position.
            assert values == pytest.approx(sample_at(name, beat * 64), abs=1e-4)
        if frame == 0:
            for name, (_, values) in zip(patterns, offsets):
                assert values == as_float32(kinetrope.sample(name, 160).as_tuple())
    # Beat 2.5 is pip 160; at 240 bpm and 100 frames a second each frame is
    # 2.56 pips on, so frames skipped under load still leave pips rising.
    assert pips[0] == 160
    assert all(a < b for a, b in zip(pips, pips[1:]))


def test_count_in_before_beat_zero_gives_negative_pips(receiver):
    server, received = receiver
    done = run_example(server.server_address[1], "bounce", "--prefix", "/show/", "--frames", "1",
                       "--start-beat", "-0.5")
    assert done.returncode == 0, done.stderr
    collect(server, 1)
    assert received == [("/show/pip", (-32,)), ("/show/beat", (-0.5,)), ("/show/bpm", (120.0,)),
                        ("/show/bounce", as_float32(kinetrope.bounce(-32).as_tuple()))]


@pytest.mark.parametrize(
    "args, message",
    [
        (["no_such_pattern"], "Unknown dance rudiment: no_such_pattern"),
        (["bounce", "--bpm", "0"], "must be a positive number: 0"),
        (["bounce", "--fps", "nan"], "must be a positive number: nan"),
        (["bounce", "--frames", "-5"], "must be a positive whole number: -5"),
        (["bounce", "--prefix", "no slash"], "OSC prefix must start with /"),
    ],
)
def test_bad_arguments_stop_before_sending(receiver, args, message):
    server, received = receiver
    done = run_example(server.server_address[1], *args, "--frames", "1")
    assert done.returncode == 2
    assert message in done.stderr
    collect(server, 0)
    assert received == []


@pytest.mark.parametrize("host, port, message", [
    ("127.0.0.1", "70000", "must be a UDP port, 1 to 65535: 70000"),
    ("no.such.host.invalid", "7000", "cannot resolve OSC host 'no.such.host.invalid'"),
])
def test_bad_receiver_is_refused_without_a_traceback(host, port, message):
    done = subprocess.run([sys.executable, str(EXAMPLE), host, port, "bounce", "--frames", "1"],
                          capture_output=True, text=True, timeout=60)
    assert done.returncode == 2
    assert message in done.stderr and "Traceback" not in done.stderr
