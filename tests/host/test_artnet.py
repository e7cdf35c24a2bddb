import json
import socket
import time

import kinetrope
import pytest
from optional import need

need("stupidArtnet")
python_artnet = need("python_artnet")

from kinetrope_host.cli import main
from kinetrope_host.errors import UserError
from kinetrope_host.frames import Frame
from kinetrope_host.outputs.artnet import (
    ArtNetSink,
    Fixture,
    parse_fixture,
    patch,
    to_16bit,
    universe_frame,
)

HEAD = "start=11,pan=1,pan_fine=2,tilt=3,tilt_fine=4,dimmer=6,pan_range=540,tilt_range=270,tilt_swing=180"


def angle(coarse, fine, full_range):
    return (coarse * 256 + fine) / 65535 * full_range


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@pytest.mark.parametrize("x", [-1.0, -0.37, 0.0, 0.5, 1.0, 3.0])
def test_pan_tilt_angles_within_the_swing(x):
    (head,) = parse_fixture(HEAD)
    values = head.dmx_values(x, -x)
    pan = angle(values[11], values[12], 540)
    tilt = angle(values[13], values[14], 270)
    clamped = max(-1.0, min(1.0, x))
    # Pan swings the whole 540 degrees, tilt 180 of its 270, both centred.
    assert pan == pytest.approx(270 + clamped * 270, abs=540 / 65535)
    assert tilt == pytest.approx(135 - clamped * 90, abs=270 / 65535)
    assert values[16] == 255 and set(values) == {11, 12, 13, 14, 16}


def test_16bit_ends_and_centre():
    assert [to_16bit(v, 540, 540) for v in (-1.0, 0.0, 1.0)] == [0, 32768, 65535]


def test_fixture_file_and_back_to_back_patch(tmp_path):
    path = tmp_path / "heads.json"
    path.write_text(json.dumps({"start": 1, "channels": {"pan": 1, "pan_fine": 2, "tilt": 3}, "pan_range": 360, "tilt_range": 180}))
    (head,) = parse_fixture(str(path))
    assert [f.start for f in patch([head], 3)] == [1, 4, 7]
    frame = universe_frame(patch([head], 3), [(0.0, 0.0, 0.0), (1.0, 1.0, 0.0), (-1.0, -1.0, 0.0)])
    assert list(frame[:9]) == [128, 0, 128, 255, 255, 255, 0, 0, 0]


@pytest.mark.parametrize(
    "text, words",
    [
        ("pan=1,pan_fine=1,tilt=3,pan_range=540,tilt_range=270", "overlap"),
        ("pan=1,tilt=2,pan_range=0,tilt_range=270", "pan_range must be a positive"),
        ("pan=1,tilt=2,pan_range=540,tilt_range=0", "tilt_range must be a positive"),
        ("pan=1,tilt=2,pan_range=540,tilt_range=270,tilt_swing=300", "tilt_swing"),
        ("start=510,pan=1,tilt=4,pan_range=540,tilt_range=270", "past 512"),
        ("pan=1,pan_range=540,tilt_range=270", "no tilt channel"),
        ("pan=1,tilt=2,zoom=3,pan_range=540,tilt_range=270", "unknown fixture item"),
        ("pan=one,tilt=2,pan_range=540,tilt_range=270", "not a number"),
        ("/nonexistent/heads.json", "cannot read fixture file"),
    ],
)
def test_bad_fixture_descriptions(text, words):
    with pytest.raises(UserError, match=words):
        parse_fixture(text)


def test_fixtures_overlapping_each_other():
    heads = parse_fixture("start=1,pan=1,tilt=2,pan_range=540,tilt_range=270") + parse_fixture(
        "start=2,pan=1,tilt=2,pan_range=540,tilt_range=270"
    )
    with pytest.raises(UserError, match="overlap on channel 2"):
        patch(heads, 2)
    with pytest.raises(UserError, match="2 fixture descriptions for 3 patterns"):
        patch(heads, 3)


@pytest.mark.parametrize("kwargs, words", [({"rate": 50.0}, "at most 44"), ({"universe": 40000}, "universe")])
def test_sink_refuses_rates_dmx_cannot_carry(kwargs, words):
    with pytest.raises(UserError, match=words):
        ArtNetSink("127.0.0.1:6454", ["bounce"], parse_fixture(HEAD), **kwargs)


def test_sink_refuses_unresolvable_host():
    with pytest.raises(UserError, match="cannot resolve Art-Net host"):
        ArtNetSink("no-such-host.invalid", ["bounce"], parse_fixture(HEAD))


@pytest.fixture
def receiver():
    """An independent Art-Net node listening on loopback."""
    port = free_udp_port()
    node = python_artnet.Artnet(BINDIP="127.0.0.1", PORT=port, UNILENGTH=0x300)
    yield node, port
    node.listen = False
    # Wake its blocking read so its thread ends now.
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as poke:
        poke.sendto(b"goodbye!", ("127.0.0.1", port))
    node.t.join(timeout=10)
    node.sock.close()  # the library leaves it open


def wait_for(node, universe, want, timeout=3.0):
    deadline = time.monotonic() + timeout
    seen = None
    while time.monotonic() < deadline:
        packet = node.readBuffer()[universe]
        if packet.data is not None:
            seen = packet.data
            if seen[: len(want)] == want:
                return packet
        time.sleep(0.005)
    pytest.fail(f"receiver never saw {want}, last {seen}")


def test_frames_reach_a_real_receiver(receiver):
    node, port = receiver
    universe = 0x213  # net 2, sub-net 1, universe 3: every address field used
    heads = parse_fixture("start=1,pan=1,pan_fine=2,tilt=3,tilt_fine=4,pan_range=540,tilt_range=270")
    sink = ArtNetSink(f"127.0.0.1:{port}", ["bounce", "sway"], heads, universe=universe, rate=40)
    try:
        for x, y in [(0.0, 0.0), (1.0, -1.0), (-0.5, 0.25)]:
            pans = [to_16bit(x, 540, 540), to_16bit(-x, 540, 540)]
            tilts = [to_16bit(y, 270, 270), to_16bit(-y, 270, 270)]
            want = []
            for pan, tilt in zip(pans, tilts):
                want += [pan >> 8, pan & 255, tilt >> 8, tilt & 255]
            sink.send(Frame(seconds=0.0, pip=0.0, values={"bounce": (x, y, 0.0), "sway": (-x, -y, 0.5)}))
            packet = wait_for(node, universe, want)
            assert packet.universe == universe and packet.length == 8
        # The sink keeps refreshing the last universe without new frames,
        # each packet with the next sequence number.
        before = node.readPacket()
        time.sleep(0.2)
        after = node.readPacket()
        assert after is not before and after.data == before.data
        assert 0 < before.sequence != after.sequence > 0
    finally:
        sink.close()


def test_play_drives_heads_through_the_command(receiver):
    node, port = receiver
    head = "start=5,pan=1,pan_fine=2,tilt=3,tilt_fine=4,pan_range=540,tilt_range=270"
    # One frame, at pip 0; closing right after it must still deliver it.
    args = ["play", "bounce", "circle", "--frames", "1", "--no-view", "--universe", "7",
            "--artnet", f"127.0.0.1:{port}", "--fixture", head]
    assert main(args) == 0
    want = [0] * 4
    for name in ("bounce", "circle"):
        x, y, _ = kinetrope.sample(name, 0).as_tuple()
        pan, tilt = to_16bit(x, 540, 540), to_16bit(y, 270, 270)
        want += [pan >> 8, pan & 255, tilt >> 8, tilt & 255]
    assert wait_for(node, 7, want).length == 12


@pytest.mark.parametrize(
    "extra, words",
    [
        (["--fixture", "pan=1,tilt=1,pan_range=540,tilt_range=270"], "overlap"),
        (["--fixture", "pan=1,tilt=2,pan_range=0,tilt_range=270"], "pan_range"),
        (["--fixture", "start=1,pan=1,tilt=2,pan_range=540,tilt_range=270", "--universe", "-1"], "universe"),
        ([], "needs a --fixture"),
        (["--fixture", "pan=1,tilt=2,pan_range=540,tilt_range=270", "--artnet-fps", "60"], "at most 44"),
    ],
)
def test_play_bad_fixture_one_line(capsys, extra, words):
    assert main(["play", "bounce", "sway", "--frames", "1", "--no-view", "--artnet", "127.0.0.1:9", *extra]) != 0
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and err.startswith("kinetrope: ") and words in err, err
