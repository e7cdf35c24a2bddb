"""Shows an exported glTF file in three.js, as one self-contained page.

    python3 examples/gltf_view.py MOTION.glb --out DIR [--at SECONDS] [--screenshot [PNG]]

DIR/index.html holds the file, three.js and its glTF loader (Debian's
libjs-three: `apt-get install libjs-three`, or --three DIR for another copy
of three.js with examples/js/loaders/GLTFLoader.js). three.js loads the
file, plays its animation and draws each node's path over the whole
animation, with the node where it is at --at seconds. The page answers
`kinetropeView.positionsAt(seconds)` with every node's position, as three.js
computes it from the file.

With --screenshot, headless Chromium renders the page to a PNG.
"""

import argparse
import base64
import json
import shutil
import subprocess
import tempfile
from pathlib import Path

THREE_DIRS = [Path("/usr/share/javascript/three")]

PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><title>__TITLE__</title>
<style>
html, body { margin: 0; height: 100%; background: #15171c; overflow: hidden; font: 15px system-ui, sans-serif; }
#legend { position: absolute; left: 16px; top: 12px; color: #e8e8e8; }
#legend b { display: inline-block; width: 12px; height: 12px; border-radius: 6px; margin: 0 6px 0 14px; }
</style></head><body>
<div id="legend"></div>
<script>__THREE__</script>
<script>__LOADER__</script>
<script>
"use strict";
window.viewErrors = [];
window.addEventListener("error", event => viewErrors.push(String(event.message)));
const MODEL = "__MODEL__";
const SHOW_AT = __AT__;

function bytesOf(text) {
  const raw = atob(text), out = new Uint8Array(raw.length);
  for (let i = 0; i < raw.length; i++) out[i] = raw.charCodeAt(i);
  return out.buffer;
}

const renderer = new THREE.WebGLRenderer({ antialias: true, preserveDrawingBuffer: true });
renderer.setPixelRatio(1);
renderer.setSize(innerWidth, innerHeight);
document.body.appendChild(renderer.domElement);
const scene = new THREE.Scene();
scene.background = new THREE.Color(0x15171c);
scene.add(new THREE.HemisphereLight(0xffffff, 0x404050, 1.0));
const sun = new THREE.DirectionalLight(0xffffff, 0.8);
sun.position.set(3, 5, 4);
scene.add(sun);
const camera = new THREE.PerspectiveCamera(40, innerWidth / innerHeight, 0.01, 1000);

new THREE.GLTFLoader().parse(bytesOf(MODEL), "", gltf => {
  const root = gltf.scene;
  scene.add(root);
  const clip = gltf.animations[0];
  const mixer = new THREE.AnimationMixer(root);
  // Played once and held at its end, so the last keyframe can be shown
  // rather than wrapping round to the first.
  const action = mixer.clipAction(clip);
  action.setLoop(THREE.LoopOnce, 1);
  action.clampWhenFinished = true;
  action.play();
  const nodes = [];
  root.traverse(object => { if (object.isMesh) nodes.push(object); });

  const positionsAt = seconds => {
    action.reset();  // a finished one-shot action would stay where it ended
    mixer.setTime(seconds);
    return nodes.map(node => node.position.toArray());
  };
  // Each node's path over the whole animation.
  const steps = 600, box = new THREE.Box3();
  const paths = nodes.map(() => []);
  for (let i = 0; i <= steps; i++) {
    positionsAt(clip.duration * i / steps).forEach((p, n) => {
      const point = new THREE.Vector3().fromArray(p);
      paths[n].push(point);
      box.expandByPoint(point);
    });
  }
  const legend = document.getElementById("legend");
  nodes.forEach((node, n) => {
    const colour = node.material.color;
    const line = new THREE.Line(new THREE.BufferGeometry().setFromPoints(paths[n]),
                                new THREE.LineBasicMaterial({ color: colour, transparent: true, opacity: 0.75 }));
    scene.add(line);
    legend.insertAdjacentHTML("beforeend", `<b style="background:#${colour.getHexString()}"></b>${node.name}`);
  });
  const size = box.getSize(new THREE.Vector3()), centre = box.getCenter(new THREE.Vector3());
  const reach = Math.max(size.x, size.y, size.z, 1e-3);
  const grid = new THREE.GridHelper(reach * 2, 20, 0x555a66, 0x30343c);
  grid.position.set(centre.x, box.min.y - reach * 0.15, centre.z);
  scene.add(grid);
  camera.position.set(centre.x + reach * 0.9, centre.y + reach * 0.7, centre.z + reach * 1.9);
  camera.lookAt(centre);
  positionsAt(SHOW_AT);
  const draw = () => {
    renderer.setSize(innerWidth, innerHeight);
    camera.aspect = innerWidth / innerHeight;
    camera.updateProjectionMatrix();
    renderer.render(scene, camera);
  };
  // Headless Chromium can settle its viewport size after the first frame.
  addEventListener("resize", draw);
  draw();
  window.kinetropeView = {
    names: nodes.map(node => node.name),
    duration: clip.duration,
    positionsAt,
    render(seconds) { positionsAt(seconds); draw(); },
  };
}, error => viewErrors.push(String(error)));
</script></body></html>
"""


def find_three(explicit: Path | None = None) -> Path | None:
    for folder in [explicit] if explicit else THREE_DIRS:
        if folder and (folder / "three.min.js").is_file() and (folder / "examples/js/loaders/GLTFLoader.js").is_file():
            return folder
    return None


def write_page(model: Path, out: Path, at: float = 0.0, three: Path | None = None) -> Path:
    folder = find_three(three)
    if folder is None:
        raise SystemExit("gltf_view: three.js not found (apt-get install libjs-three, or give --three DIR)")
    page = (
        PAGE.replace("__TITLE__", model.name)
        .replace("__AT__", json.dumps(float(at)))
        .replace("__MODEL__", base64.b64encode(model.read_bytes()).decode("ascii"))
        .replace("__LOADER__", (folder / "examples/js/loaders/GLTFLoader.js").read_text())
        .replace("__THREE__", (folder / "three.min.js").read_text())
    )
    out.mkdir(parents=True, exist_ok=True)
    index = out / "index.html"
    index.write_text(page)
    return index


def find_chromium() -> str | None:
    for name in ("chromium", "chromium-browser", "google-chrome", "chrome"):
        if found := shutil.which(name):
            return found
    return None


# Headless Chromium draws WebGL in software through SwiftShader.
CHROMIUM_FLAGS = ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--hide-scrollbars",
                  "--use-angle=swiftshader", "--enable-unsafe-swiftshader", "--force-device-scale-factor=1"]


def screenshot(index: Path, png: Path, width: int = 1200, height: int = 720) -> None:
    browser = find_chromium()
    if browser is None:
        raise SystemExit("gltf_view: --screenshot needs Chromium (apt-get install chromium)")
    png.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as profile:
        subprocess.run([browser, *CHROMIUM_FLAGS, f"--user-data-dir={profile}", f"--window-size={width},{height}",
                        "--virtual-time-budget=3000", f"--screenshot={png.resolve()}", index.resolve().as_uri()],
                       check=True, capture_output=True)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("model", type=Path, help="a .glb or .gltf file (a .gltf with its buffers embedded)")
    parser.add_argument("--out", type=Path, required=True, help="directory to write index.html into")
    parser.add_argument("--at", type=float, default=0.0, help="the moment to show, in seconds (default 0)")
    parser.add_argument("--three", type=Path, help="a three.js folder (default: Debian's libjs-three)")
    parser.add_argument("--screenshot", type=Path, nargs="?", const=Path("build/view.png"), metavar="PNG",
                        help="also render the page to this PNG (default build/view.png)")
    args = parser.parse_args()
    index = write_page(args.model, args.out, args.at, args.three)
    print(f"{index}: {index.stat().st_size:,} bytes")
    if args.screenshot:
        screenshot(index, args.screenshot)
        print(f"{args.screenshot}: screenshot")


if __name__ == "__main__":
    main()
