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
from kinetrope_host.outputs.artnet import ArtNetTransport
from kinetrope_host.outputs.dmx import DmxSink
from kinetrope_host.rig.patch import rig_from_fixtures
from kinetrope_host.sampling import sample_at

HEAD = "start=1,pan=1,pan_fine=2,tilt=3,tilt_fine=4,pan_range=540,tilt_range=270"


def to_16bit(value):
    return min(65535, max(0, round((0.5 + 0.5 * value) * 65535)))


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


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


def head_bytes(x, y):
    pan, tilt = to_16bit(x), to_16bit(y)
    return [pan >> 8, pan & 255, tilt >> 8, tilt & 255]


def test_frames_reach_a_real_receiver(receiver):
    node, port = receiver
    universe = 0x213  # net 2, sub-net 1, universe 3: every address field used
    heads = rig_from_fixtures([HEAD], None, 2, universe)
    sink = DmxSink(ArtNetTransport(f"127.0.0.1:{port}", [universe]), heads, ["circle", "bounce"], rate=40)
    try:
        for pip in (0.0, 17.0, 40.5):
            sink.send(Frame(seconds=0.0, pip=pip, values={}))
            want = []
            for name in ("circle", "bounce"):
                x, y, _ = sample_at(name, pip)
                want += head_bytes(x, y)
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
    head = "start=5,pan=1,pan_fine=2,tilt=3,tilt_fine=4,dimmer=5,pan_range=540,tilt_range=270"
    # One frame at pip 0: the safe state that ends play keeps where it pointed
    # with the dimmer at 0.
    args = ["play", "bounce", "circle", "--frames", "1", "--no-view", "--universe", "7",
            "--artnet", f"127.0.0.1:{port}", "--fixture", head]
    assert main(args) == 0
    want = [0] * 4
    for name in ("bounce", "circle"):
        x, y, _ = kinetrope.sample(name, 0).as_tuple()
        want += head_bytes(x, y) + [0]
    assert wait_for(node, 7, want).length == 14


@pytest.mark.parametrize(
    "extra, words",
    [
        (["--fixture", "pan=1,tilt=1,pan_range=540,tilt_range=270"], "overlap"),
        (["--fixture", "pan=1,tilt=2,pan_range=0,tilt_range=270"], "pan_range"),
        (["--fixture", "start=1,pan=1,tilt=2,pan_range=540,tilt_range=270", "--universe", "-1"], "universe"),
        ([], "need a --fixture"),
        (["--fixture", "pan=1,tilt=2,pan_range=540,tilt_range=270", "--artnet-fps", "60"], "at most 44"),
        (["--fixture", "pan=1,tilt=2,pan_range=540,tilt_range=270", "--heads", "3"], "2 patterns for 3 heads"),
        (["--fixture", "pan=1,tilt=2,pan_range=540,tilt_range=270", "--size", "2"], "size must be 0 to 1"),
        (["--fixture", "pan=1,tilt=2,zoom=3,pan_range=540,tilt_range=270"], "unknown item 'zoom'"),
        (["--fixture", "pan=one,tilt=2,pan_range=540,tilt_range=270"], "not a number"),
        (["--fixture", "start=510,pan=1,tilt=4,pan_range=540,tilt_range=270"], "past 512"),
    ],
)
def test_play_bad_lights_one_line(capsys, extra, words):
    assert main(["play", "bounce", "sway", "--frames", "1", "--no-view", "--artnet", "127.0.0.1:9", *extra]) != 0
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and err.startswith("kinetrope: ") and words in err, err


@pytest.mark.parametrize("args, words", [
    (["--fixture", HEAD], "give --artnet HOST or --sacn UNIVERSE too"),
    (["--sacn", "0", "--fixture", HEAD], "sACN universes run 1 to 63999"),
    (["--sacn", "1", "--priority", "300", "--fixture", HEAD], "priority must be 0 to 200"),
    (["--artnet", "no-such-host.invalid", "--fixture", HEAD], "cannot resolve Art-Net host"),
])
def test_play_bad_outputs_one_line(capsys, args, words):
    try:
        code = main(["play", "bounce", "--frames", "1", "--no-view", *args])
    except SystemExit as refused:  # argparse's own one line
        code = refused.code
    assert code != 0
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and words in err, err


def test_sink_refuses_universes_art_net_cannot_address():
    with pytest.raises(UserError, match="universe must be 0 to 32767"):
        ArtNetTransport("127.0.0.1:9", [40000])
