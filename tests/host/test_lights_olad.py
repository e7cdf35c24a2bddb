"""Moving heads against olad, the Open Lighting Architecture daemon: what
it received over Art-Net and sACN, decoded back into angles by hand from the
fixture definitions, and the packets' sequence numbers as captured."""

import itertools
import json
import signal
import statistics
import struct
import textwrap
import time
from pathlib import Path

import pytest
from optional import need

need("stupidArtnet")
need("sacn")

from kinetrope_host.sampling import sample_at
from olad import ADDRESS, Olad

OFL = Path(__file__).parents[2] / "data" / "ofl" / "fixtures"
SHARPY = OFL / "clay-paky" / "sharpy.json"
MAC600 = OFL / "martin" / "mac-600.json"
RATE = 40


@pytest.fixture(scope="module")
def olad(tmp_path_factory):
    if not SHARPY.is_file():
        pytest.skip("the Open Fixture Library definitions are not beside the repository")
    daemon = Olad(tmp_path_factory.mktemp("olad"))
    yield daemon
    daemon.stop()


def write_rig(tmp_path, universe):
    rig = tmp_path / "rig.toml"
    rig.write_text(textwrap.dedent(f"""
        [[head]]
        name = "left"
        profile = "{SHARPY}"
        mode = "Standard"
        universe = {universe}
        address = 1

        [[head]]
        name = "right"
        profile = "{MAC600}"
        mode = "DMX2 (12-channel)"
        universe = {universe}
        address = 17
        invert_pan = true
        centre = [-20.0, 0.0]
        limit = [300.0, 200.0]
    """))
    return rig


class Decoded:
    """A head read back by hand from its definition: where its pan and
    tilt bytes sit in the mode and what angles their ends mean."""

    def __init__(self, path, mode, address):
        document = json.loads(path.read_text())
        channels = next(m for m in document["modes"] if m["name"] == mode)["channels"]
        self.address = address
        self.slots = {name: address - 1 + channels.index(name) for name in channels if name}
        self.ranges = {axis: document["availableChannels"][axis]["capability"] for axis in ("Pan", "Tilt")}
        self.dimmer = next(name for name in channels if name in ("Dimmer", "Intensity"))

    def angle(self, data, axis):
        value = data[self.slots[axis]] * 256 + data[self.slots[f"{axis} fine"]]
        start, end = (float(self.ranges[axis][key][:-3]) for key in ("angleStart", "angleEnd"))
        return start + value / 65535 * (end - start) - (start + end) / 2

    def lit(self, data):
        return data[self.slots[self.dimmer]] > 0


LEFT = Decoded(SHARPY, "Standard", 1)
RIGHT = Decoded(MAC600, "DMX2 (12-channel)", 17) if MAC600.is_file() else None


def expected(pip, spread_behind, size=0.5, speed=2.0, centre=(10.0, -5.0)):
    """Each head's (pan, tilt) for the rig above following circle."""
    out = []
    # reverse order with two heads: the left head runs half the spread behind
    for head, behind in ((0, spread_behind), (1, 0.0)):
        x, y, _ = sample_at("circle", pip * speed - behind * 64)
        if head == 0:
            out.append((centre[0] + x * size * 270, centre[1] + y * size * 125))
        else:
            out.append((centre[0] - 20 - x * size * 150, centre[1] + y * size * 100))
    return out


def fit_pip(angles, guess, spread_behind):
    """The song pip whose expected angles are nearest to those received,
    looked for up to one period past `guess`: circle repeats every beat, 32
    song pips at double speed (a frame moves the song on by 3.2; a machine
    under load may stall the sender for more)."""

    def error(pip):
        return max(abs(a - b) for got, want in zip(angles, expected(pip, spread_behind))
                   for a, b in zip(got, want))

    best = min((guess + step * 0.25 for step in range(-4, 124)), key=error)
    best = min((best + step * 0.01 for step in range(-25, 26)), key=error)
    return best, error(best)


def sequences(packets, port, offset):
    return [payload[offset] for _t, _s, _d, _sp, dport, payload in packets if dport == port]


def assert_no_gap(seqs, modulo, first_allowed):
    assert len(seqs) > 10
    for before, after in itertools.pairwise(seqs):
        assert after == (before + 1) % modulo or (before == modulo - 1 and after == first_allowed), (before, after)


@pytest.mark.parametrize("protocol", ["artnet", "sacn-unicast", "sacn-multicast"])
def test_fan_reaches_olad_and_goes_dark_at_the_end(olad, tmp_path, protocol):
    universe = {"artnet": 5, "sacn-unicast": 7, "sacn-multicast": 8}[protocol]
    olad.patch("artnet" if protocol == "artnet" else "sacn", universe % 4, universe)
    rig = write_rig(tmp_path, universe)
    wire = (["--artnet", ADDRESS] if protocol == "artnet" else
            ["--sacn", str(universe), "--priority", "150", "--source-name", "kinetrope test"]
            + (["--sacn-to", ADDRESS] if protocol == "sacn-unicast" else []))
    recording = olad.record([universe], 5)
    run = olad.kinetrope("play", "circle", "--bpm", "120", "--frames", "120", "--fps", "60", "--no-view",
                         "--rig", rig, "--spread", "1", "--order", "reverse", "--size", "0.5", "--speed", "2",
                         "--centre", "10,-5", *wire)
    _out, err = run.communicate(timeout=30)
    assert run.returncode == 0, err
    frames, packets = recording.finish()
    frames = [(t, data) for t, u, data in frames if u == universe]
    lit = [(t, data) for t, data in frames if LEFT.lit(data) and RIGHT.lit(data)]
    # 2 s of play at 40 packets a second, received and lit (a loaded machine
    # may stall the sender for a few periods; the grid then restarts)
    assert 70 <= len(lit) <= 85, len(lit)
    gaps = [b[0] - a[0] for a, b in itertools.pairwise(lit)]
    assert abs(statistics.median(gaps) - 1 / RATE) < 0.004
    pip, fits = 0.0, []
    for t, data in lit:
        angles = [(head.angle(data, "Pan"), head.angle(data, "Tilt")) for head in (LEFT, RIGHT)]
        pip, error = fit_pip(angles, pip, 0.5)
        assert error < 0.2, (t, pip, angles, expected(pip, 0.5))
        fits.append((t, pip))
    # the song advances at 2 beats a second: 128 pips (the median over
    # quarter seconds, so that a stall of a loaded machine does not count)
    assert all(b[1] >= a[1] for a, b in itertools.pairwise(fits))  # a refresh repeats a frame
    slope = statistics.median((b[1] - a[1]) / (b[0] - a[0]) for a, b in zip(fits[1:], fits[11:]))
    assert 110 < slope < 146, (slope, fits[::8])
    # the end: dark where the heads last pointed, sent a few times
    tail = frames[-3:]
    assert all(not LEFT.lit(data) and not RIGHT.lit(data) for _t, data in tail)
    assert all(data[1] == 2 and data[16] == 10 for _t, data in tail)  # both shutters closed
    angles = [(head.angle(tail[0][1], "Pan"), head.angle(tail[0][1], "Tilt")) for head in (LEFT, RIGHT)]
    last, error = fit_pip(angles, pip, 0.5)
    assert error < 0.2 and pip <= last < pip + 8
    if protocol == "artnet":
        dmx = [p for p in packets if p[4] == 6454 and p[5][8:10] == b"\x00\x50"]
        assert all(struct.unpack("<H", p[5][14:16])[0] == universe for p in dmx)
        assert_no_gap([p[5][12] for p in dmx], 256, 1)
    else:
        data = [p for p in packets if p[4] == 5568 and len(p[5]) > 125 and p[5][125] == 0]
        assert {p[2] for p in data} == {ADDRESS if protocol == "sacn-unicast" else f"239.255.0.{universe}"}
        assert all(p[5][44:58] == b"kinetrope test" and p[5][108] == 150 for p in data)
        assert_no_gap([p[5][111] for p in data], 256, 0)
        assert sum(1 for p in data if p[5][112] & 0x40) == 3  # stream terminated


@pytest.mark.parametrize("stop, hold", [(signal.SIGTERM, False), (signal.SIGINT, True)])
def test_interrupted_play_leaves_the_rig_safe(olad, tmp_path, stop, hold):
    universe = 2 if hold else 3
    olad.patch("artnet", universe, universe)
    recording = olad.record([universe], 4)
    run = olad.kinetrope("play", "circle", "--bars", "100", "--no-view", "--artnet", ADDRESS,
                         "--universe", str(universe), "--fixture", f"{SHARPY}", "--mode", "Standard",
                         *(["--hold"] if hold else []))
    recording.wait_for_bytes(10_000, timeout=20)  # frames are arriving, however loaded the machine
    run.send_signal(stop)
    _out, err = run.communicate(timeout=20)
    assert run.returncode == 128 + stop if stop == signal.SIGTERM else run.returncode == 130, err
    frames = [data for _t, u, data in recording.finish()[0] if u == universe]
    assert len(frames) > 20 and LEFT.lit(frames[0])
    if hold:
        assert LEFT.lit(frames[-1]) and frames[-1] == frames[-2] == frames[-3]
    else:
        assert [LEFT.lit(data) for data in frames[-3:]] == [False] * 3


def test_clock_stop_darkens_and_resume_lights_again(olad):
    olad.patch("artnet", 1, 1)
    recording = olad.record([1], 4)
    script = textwrap.dedent(f"""
        import time
        from kinetrope_host.frames import Frame
        from kinetrope_host.outputs.artnet import ArtNetTransport
        from kinetrope_host.outputs.dmx import DmxSink
        from kinetrope_host.rig.patch import rig_from_fixtures
        heads = rig_from_fixtures(["start=1,pan=1,pan_fine=2,tilt=3,tilt_fine=4,dimmer=5,shutter=6,"
                                   "shutter_open=255,shutter_closed=3,pan_range=540,tilt_range=270"], None, 1, 1)
        sink = DmxSink(ArtNetTransport("{ADDRESS}", [1]), heads, ["circle"])
        def frames():
            for i in range(20):
                sink.send(Frame(seconds=0.0, pip=i * 4.0, values={{}}))
                time.sleep(0.025)
        frames()
        sink.clock_stopped()
        frames()  # the player may go on sending while the clock stands
        sink.clock_resumed()
        frames()
        sink.close()
    """)
    run = olad.python(script)
    _out, err = run.communicate(timeout=20)
    assert run.returncode == 0, err
    frames = [data for _t, u, data in recording.finish()[0] if u == 1]
    states = [(data[4], data[5]) for data in frames]
    runs = [states[0]]
    for state in states[1:]:
        if state != runs[-1]:
            runs.append(state)
    # lit, dark while stopped (dimmer 0, shutter closed), lit again, dark at the end
    assert runs == [(255, 255), (0, 3), (255, 255), (0, 3)], runs


def test_artnet_poll_is_answered_naming_the_sender(olad):
    olad.patch("artnet", 0, 6)
    recording = olad.record([6], 4)
    run = olad.kinetrope("play", "circle", "--frames", "150", "--no-view", "--artnet", ADDRESS,
                         "--universe", "6", "--source-name", "kinetrope poll",
                         "--fixture", "start=1,pan=1,tilt=2,pan_range=540,tilt_range=270")
    time.sleep(1.5)
    # patching an output port makes olad poll for nodes
    olad.patch("artnet", 3, 15, output=True)
    _out, err = run.communicate(timeout=20)
    assert run.returncode == 0, err
    _frames, packets = recording.finish()
    polls = [p for p in packets if p[4] == 6454 and p[5][8:10] == b"\x00\x20"]
    replies = [p for p in packets if p[3] == 6454 and p[4] == 6454 and p[5][8:10] == b"\x00\x21"
               and p[5][26:40] == b"kinetrope poll"]
    assert polls and replies, (len(polls), len(replies))
    reply = replies[0][5]
    assert reply[174] == 0x40 and reply[186] == 6 and reply[200] == 1  # an input on universe 6, a controller
