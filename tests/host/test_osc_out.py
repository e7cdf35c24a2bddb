"""OSC out against python-osc's parser: the whole pip exact, and frames too
long for one UDP payload split into bundles of one timetag."""

import math
import socket
import subprocess
import sys

from optional import need

need("pythonosc")
from kinetrope_host import catalogue  # noqa: E402
from pythonosc.osc_bundle import OscBundle  # noqa: E402


def received_bundles(arguments, count_frames):
    """Runs `kinetrope play` to a UDP socket; the bundles, in order."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as receiver:
        receiver.bind(("127.0.0.1", 0))
        receiver.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1 << 24)
        receiver.settimeout(30)
        play = subprocess.run([sys.executable, "-m", "kinetrope_host", "play", *arguments, "--no-view",
                               "--port", str(receiver.getsockname()[1]), "--frames", str(count_frames)],
                              capture_output=True, text=True, timeout=300)
        assert play.returncode == 0, play.stderr
        receiver.settimeout(0.5)
        datagrams = []
        try:
            while True:
                datagrams.append(receiver.recv(65536))
        except TimeoutError:
            pass
    return [OscBundle(datagram) for datagram in datagrams]


def test_the_whole_pip_is_the_one_the_beat_falls_in_despite_float_rounding():
    from kinetrope_host.frames import Frame
    from kinetrope_host.outputs.osc import bundle

    for n in (-64, 0, 1, 2044, 10**6):
        for pip, whole in ((math.nextafter(n, -math.inf), n), (n - 1e-4, n - 1), (n + 0.5, n)):
            sent = OscBundle(bundle(Frame(seconds=0.0, pip=pip, values={}, bpm=120.0, wall_time=1e9), "/k"))
            assert sent.content(0).params == [whole], pip


def test_every_pattern_at_once_goes_out_in_payloads_that_pass_a_link():
    names = catalogue.search([])
    assert len(names) == 1731
    sent = received_bundles([row.name for row in names] + ["--fps", "10"], 3)
    assert all(len(bundle.dgram) <= 1472 for bundle in sent)
    frames: dict[int, list[str]] = {}
    for bundle in sent:
        frames.setdefault(bundle.timestamp, []).extend(bundle.content(k).address for k in range(bundle.num_contents))
    assert len(frames) == 3
    expected = ["/kinetrope/pip", "/kinetrope/beat", "/kinetrope/bpm"] + [f"/kinetrope/{row.name}" for row in names]
    assert all(addresses == expected for addresses in frames.values())
