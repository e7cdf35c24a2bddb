"""Fixture profiles, rig files and the fan, apart from any wire: every Open
Fixture Library definition at hand, malformed files of every kind, and the
geometry of a head's aim."""

import json
import os
import textwrap
import time
from pathlib import Path

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from kinetrope_host.cli import main
from kinetrope_host.errors import UserError
from kinetrope_host.rig.fan import Fan
from kinetrope_host.rig.files import MAX_BYTES
from kinetrope_host.rig.patch import Head, load_rig, rig_from_fixtures
from kinetrope_host.rig.profile import from_ofl, load_profile, mode_names, short_form

OFL = Path(__file__).parents[2] / "data" / "ofl"
DEFINITIONS = sorted(p for p in (OFL / "fixtures").glob("*/*.json"))
SHARPY = OFL / "fixtures" / "clay-paky" / "sharpy.json"
needs_ofl = pytest.mark.skipif(not DEFINITIONS, reason="the Open Fixture Library definitions are missing from data/ofl")


def one_line(error):
    text = str(error)
    assert "\n" not in text and text
    return text


@needs_ofl
def test_every_definition_builds_a_head_or_says_why():
    built, refused = 0, []
    for path in DEFINITIONS:
        document = json.loads(path.read_text())
        for mode in mode_names(document) or [None]:
            try:
                head = from_ofl(document, mode, f"fixture {path.name}")
            except UserError as error:
                refused.append(one_line(error))
                continue
            built += 1
            assert 0 < head.footprint <= 512 and len(head.lit) == len(head.dark) == head.footprint
            assert head.pan.degrees > 0 and head.tilt.degrees > 0
            assert all(0 <= b <= 255 for b in head.lit + head.dark)
            # pointing there and reading back agrees to the value's resolution
            data = list(head.lit)
            for axis in (head.pan, head.tilt):
                for channel, byte in axis.values(axis.degrees / 5).items():
                    data[channel] = byte
                step = axis.degrees / (256 ** len(axis.channels) - 1) / (axis.high - axis.low)
                assert axis.offset_of(data) == pytest.approx(axis.degrees / 5, abs=step)
    assert built > 250 and len(refused) < 120, (built, len(refused))
    assert all(line.startswith("fixture ") for line in refused)


@needs_ofl
def test_profile_values_come_from_the_definition():
    head, start = load_profile(str(SHARPY), "Standard")
    # Colour wheel, shutter, dimmer, gobo ... pan, pan fine, tilt, tilt fine ...
    assert start is None and head.footprint == 16
    assert head.pan.channels == (9, 10) and head.tilt.channels == (11, 12)
    assert (head.pan.degrees, head.tilt.degrees) == (540, 250)
    assert head.lit[2] == 255 and head.dark[2] == 0  # dimmer
    assert head.dark[1] < 4 <= head.lit[1]  # shutter closed, then open
    assert head.lit[9] == 128  # pan's default, from the profile
    with pytest.raises(UserError, match="pick a mode with --mode: Standard, Vector"):
        load_profile(str(SHARPY))
    with pytest.raises(UserError, match="no mode 'Turbo'"):
        load_profile(str(SHARPY), "Turbo")


def test_short_form_is_kept():
    head, start = short_form("start=11,pan=1,pan_fine=2,tilt=3,tilt_fine=4,dimmer=6,pan_range=540,"
                             "tilt_range=270,tilt_swing=180")
    assert start == 11 and head.footprint == 6 and head.lit[5] == 255 and head.dark[5] == 0
    short = "start=11,pan=1,pan_fine=2,tilt=3,tilt_fine=4,pan_range=540,tilt_range=270,tilt_swing=180"
    (one,) = rig_from_fixtures([short], None, 1, 0)
    pan, tilt = one.aim(1.0, -1.0)
    assert (pan, tilt) == (270, -90)
    data = one.lit_values(pan, tilt)
    assert data[:2] == [255, 255]
    assert one.kind.tilt.offset_of(data) == pytest.approx(-90, abs=0.01)
    heads = rig_from_fixtures(["pan=1,pan_fine=2,tilt=3,pan_range=360,tilt_range=180"], None, 3, 0)
    assert [h.address for h in heads] == [1, 4, 7]


def test_aim_swaps_inverts_centres_and_limits():
    kind, _ = short_form("pan=1,pan_fine=2,tilt=3,tilt_fine=4,pan_range=540,tilt_range=270")
    plain = Head("a", kind, 1, 1)
    assert plain.aim(0.5, 0.5) == (135, 67.5)
    assert plain.aim(3.0, -3.0) == (270, -135)  # the pattern's range is [-1, 1]
    turned = Head("b", kind, 1, 1, invert_pan=True, swap=True, centre=(10, -20), limit=(100, 60))
    # x goes to tilt, y to pan (inverted); half the 100-degree limit at most
    assert turned.aim(0.5, 1.0) == (10 - 50, -20 + 0.5 * 30)
    assert turned.aim(0.0, 0.0, size=0.5, centre=(5, 5)) == (15, -15)


@pytest.mark.parametrize("order, steps", [
    ("in-order", [0, 0.2, 0.4, 0.6, 0.8]),
    ("reverse", [0.8, 0.6, 0.4, 0.2, 0]),
    ("mirrored", [0, 1 / 3, 2 / 3, 1 / 3, 0]),
    ("centre-out", [2 / 3, 1 / 3, 0, 1 / 3, 2 / 3]),
])
def test_fan_orders(order, steps):
    fan = Fan(spread=2.0, order=order, speed=0.5)
    assert fan.steps(5) == pytest.approx(steps)
    # half speed, each head its share of two beats behind
    assert fan.pips(128.0, 5) == pytest.approx([64 - 128 * s for s in steps])


def rig_text(tmp_path, heads):
    rig = tmp_path / "rig.toml"
    rig.write_text("\n".join(f"[[head]]\n{textwrap.dedent(h)}" for h in heads))
    return str(rig)


SHORT = 'profile = "pan=1,pan_fine=2,tilt=3,tilt_fine=4,dimmer=5,pan_range=540,tilt_range=270"'


@pytest.mark.parametrize("heads, words", [
    ([f'name = "a"\n{SHORT}\naddress = 1', f'name = "b"\n{SHORT}\naddress = 5'],
     "head b: overlaps head a on universe 1 channel 5"),
    ([f'name = "far"\n{SHORT}\naddress = 510'], "head far: needs channels 510 to 514, past 512"),
    ([f'name = "x"\nprofile = "{SHARPY}"\nmode = "Turbo"'], "head x: fixture .*: no mode 'Turbo'"),
    ([f'name = "y"\n{SHORT}\nuniverse = -1'], "head y: universe must be"),
    ([f'name = "z"\n{SHORT}\ncentre = [1]'], r"head z: centre must be \[pan, tilt\]"),
    ([f'name = "w"\n{SHORT}\nlimit = [0, 10]'], "head w: limit must be"),
    ([f'name = "v"\n{SHORT}\nswap = "yes"'], "head v: swap must be true or false"),
    ([f'name = "u"\n{SHORT}\nzoom = 3'], "head u: unknown key 'zoom'"),
    (['name = "t"\nprofile = "missing.json"'], "head t: fixture .*missing.json: cannot read"),
])
def test_bad_rigs_name_the_head(tmp_path, heads, words):
    if not SHARPY.is_file() and "Turbo" in words:
        pytest.skip("the Open Fixture Library definitions are not beside the repository")
    with pytest.raises(UserError, match=words) as caught:
        load_rig(rig_text(tmp_path, heads))
    one_line(caught.value)


def test_rig_in_json_with_two_universes(tmp_path):
    rig = tmp_path / "rig.json"
    short = "pan=1,tilt=2,pan_range=540,tilt_range=270"
    rig.write_text(json.dumps({"head": [{"profile": short, "universe": 1, "address": 1},
                                        {"profile": short, "universe": 2, "address": 1}]}))
    assert [(h.name, h.universe) for h in load_rig(str(rig))] == [("1", 1), ("2", 2)]


def play_fixture(path, capsys):
    code = main(["play", "bounce", "--frames", "1", "--no-view", "--artnet", "127.0.0.1:9", "--fixture", str(path)])
    err = capsys.readouterr().err
    assert code == 1 and err.count("\n") == 1 and err.startswith(f"kinetrope: fixture {path}: "), err
    return err


@pytest.mark.parametrize("content, words", [
    ('{"channels": 5, "pan_range": 540, "tilt_range": 270}', "channels must be an object"),
    ('{"channels": "xy", "pan_range": 540, "tilt_range": 270}', "channels must be an object"),
    ("[" * 200_000, "nested too deeply"),
    ('{"pan": 1, "tilt": 2, "pan_range": NaN, "tilt_range": 270}', "not JSON"),
    (b"\xff\xfe", "not UTF-8"),
    (('{"name": "x", "availableChannels": {"Pan": {"capability": {"type": "Pan", "angleStart": "0deg", '
      '"angleEnd": "1e999deg"}}}, "modes": [{"name": "m", "channels": ["Pan"]}]}'), "not in degrees"),
    (('{"name": "x", "availableChannels": {"P": {"capabilities": 3}}, '
      '"modes": [{"name": "m", "channels": ["P"]}]}'), "capabilities must be a list"),
])
def test_malformed_fixture_files_one_line(tmp_path, capsys, content, words):
    path = tmp_path / "bad.json"
    path.write_bytes(content if isinstance(content, bytes) else content.encode())
    assert words in play_fixture(path, capsys)


def test_special_and_huge_files_refused(tmp_path, capsys):
    fifo = tmp_path / "fifo.json"
    os.mkfifo(fifo)
    assert "not a regular file" in play_fixture(fifo, capsys)
    assert "not a regular file" in play_fixture(Path("/dev/zero"), capsys)
    assert "not a regular file" in play_fixture(tmp_path, capsys)
    huge = tmp_path / "huge.json"
    with open(huge, "wb") as handle:
        handle.truncate(MAX_BYTES + 1)
    assert "larger than" in play_fixture(huge, capsys)


# Any JSON value at all, to put where a definition expects something else.
json_values = st.recursive(
    st.none() | st.booleans() | st.integers(-10**6, 10**6) | st.floats(allow_nan=False) | st.text(max_size=8),
    lambda inner: st.lists(inner, max_size=3) | st.dictionaries(st.text(max_size=6), inner, max_size=3),
    max_leaves=8)


def _paths(node, prefix=()):
    yield prefix
    if isinstance(node, dict):
        for key, value in node.items():
            yield from _paths(value, prefix + (key,))
    elif isinstance(node, list):
        for index, value in enumerate(node):
            yield from _paths(value, prefix + (index,))


@needs_ofl
@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(data=st.data())
def test_mangled_definitions_never_raise(data):
    document = json.loads(SHARPY.read_text())
    for _ in range(data.draw(st.integers(1, 3))):
        paths = [p for p in _paths(document) if p]
        where = data.draw(st.sampled_from(paths))
        parent = document
        for key in where[:-1]:
            parent = parent[key]
        parent[where[-1]] = data.draw(json_values)
    try:
        head = from_ofl(document, data.draw(st.sampled_from(["Standard", "Vector"])), "fixture mangled")
    except UserError as error:
        one_line(error)
    else:
        assert len(head.lit) == head.footprint


def test_a_json_list_of_short_forms_patches_one_head_each(tmp_path):
    path = tmp_path / "heads.json"
    path.write_text(json.dumps([{"start": 1, "pan": 1, "tilt": 2, "pan_range": 540, "tilt_range": 270},
                                {"start": 9, "channels": {"pan": 1, "tilt": 2}, "pan_range": 360, "tilt_range": 180}]))
    heads = rig_from_fixtures([str(path)], None, None, 0, patterns=1)
    assert [(h.address, h.kind.pan.degrees) for h in heads] == [(1, 540), (9, 360)]


class Recorder:
    label = "test"

    def __init__(self):
        self.sent = []

    def transmit(self, universe, data):
        self.sent.append(data)

    def close(self):
        pass


def test_frames_standing_still_mean_the_clock_stopped():
    from kinetrope_host.frames import Frame
    from kinetrope_host.outputs.dmx import STALL_SECONDS, DmxSink

    heads = rig_from_fixtures(["pan=1,tilt=2,dimmer=3,pan_range=540,tilt_range=270"], None, 1, 1)
    wire = Recorder()
    sink = DmxSink(wire, heads, ["circle"], rate=40)
    lit = []
    for seconds, pip in [(0.0, 0.0), (0.1, 3.0), (0.2, 3.0), (0.2 + STALL_SECONDS, 3.0), (1.5, 3.0), (1.6, 7.0)]:
        sink.send(Frame(seconds=seconds, pip=pip, values={}))
        time.sleep(0.06)
        lit.append(wire.sent[-1][2])
    sink.close()
    # dark once the pip has stood still long enough, lit again when it moves
    assert lit == [255, 255, 255, 0, 0, 255]
    assert [data[2] for data in wire.sent[-3:]] == [0, 0, 0]


head_keys = st.sampled_from(["name", "profile", "mode", "universe", "address", "invert_pan", "swap", "centre",
                             "limit", "other"])


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(heads=st.lists(st.dictionaries(head_keys, json_values, max_size=6), max_size=3), top=json_values)
def test_generated_rigs_never_raise(tmp_path, heads, top):
    rig = tmp_path / "rig.json"
    for head in heads:
        head.setdefault("profile", "pan=1,tilt=2,pan_range=540,tilt_range=270")
    if heads:
        heads[0].setdefault("name", "line\nbreak")
    rig.write_text(json.dumps({"head": heads} if heads else top))
    try:
        patched = load_rig(str(rig))
    except UserError as error:
        assert one_line(error).startswith(f"rig {rig}: ")
    else:
        assert len(patched) == len(heads)
