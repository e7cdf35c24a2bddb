"""An exported glTF file as three.js reads and animates it in Chromium."""

import importlib.util
import os
import struct
from pathlib import Path

import kinetrope
import pytest
from optional import need

need("pygltflib")
need("selenium")

from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.exports import export

VIEW_SCRIPT = Path(__file__).parents[2] / "examples" / "gltf_view.py"
_spec = importlib.util.spec_from_file_location("gltf_view", VIEW_SCRIPT)
gltf_view = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gltf_view)


def needs(thing, found):
    if not found:
        if os.environ.get("CI"):
            pytest.fail(f"CI must provide {thing}")
        pytest.skip(f"no {thing} on this machine")


@pytest.mark.parametrize("suffix", [".glb", ".gltf"])
def test_three_js_animates_the_nodes_through_the_sampled_offsets(tmp_path, browser, suffix):
    from selenium.webdriver.support.ui import WebDriverWait

    needs("three.js (Debian's libjs-three)", gltf_view.find_three())
    names, scale = ["helix", "figure_eight", "lfo_breathe"], 0.75
    model = tmp_path / f"motion{suffix}"
    # 120 bpm, 32 fps: frame i falls on whole pip 4 * i.
    frames = export(names, model, TempoMap.constant(120), 32, bars=1, scale=scale)
    index = gltf_view.write_page(model, tmp_path / "view")
    browser.get(index.as_uri())
    WebDriverWait(browser, 30).until(lambda d: d.execute_script("return !!window.kinetropeView || viewErrors.length"))
    assert browser.execute_script("return viewErrors") == []
    assert browser.execute_script("return kinetropeView.names") == names
    assert browser.execute_script("return kinetropeView.duration") == 2.0  # one bar, to its end
    times = [struct.unpack("<f", struct.pack("<f", i / 32))[0] for i in range(frames)]
    seen = browser.execute_script("return arguments[0].map(t => kinetropeView.positionsAt(t))", times)
    for i, positions in enumerate(seen):
        for name, position in zip(names, positions):
            want = [c * scale for c in kinetrope.sample(name, 4 * i).as_tuple()]
            assert position == pytest.approx(want, abs=1e-6), (name, i)
