"""A browser sketch moved by `kinetrope play --ws PORT`.

Writes one self-contained page (three.js inlined from Debian's libjs-three,
`apt-get install libjs-three`; no network) whose objects move by the frames
that `kinetrope play` streams as JSON over WebSocket:

    python3 examples/ws_sketch.py --out build/sketch
    kinetrope play helix bounce figure_eight --bpm 120 --ws 8765

then open build/sketch/index.html (or index.html?ws=PORT for another port).
Each pattern gets a shape on its own lane: x moves it across, y up and z
towards the viewer. The page reconnects when play starts again, and shows
the beat and tempo of the last frame. `window.kinetropeSketch` tells a test
how many frames arrived, the last one, and where each shape is.
"""

from __future__ import annotations

import argparse
from pathlib import Path

THREE = Path("/usr/share/javascript/three/build/three.min.js")
DEFAULT_PORT = 8765

PAGE = """<!doctype html>
<html><head><meta charset="utf-8"><title>kinetrope sketch</title>
<style>
html, body { margin: 0; height: 100%; background: #15171c; overflow: hidden; font: 15px system-ui, sans-serif; }
#status { position: absolute; left: 16px; top: 12px; color: #e8e8e8; }
</style></head><body>
<div id="status">waiting for kinetrope play --ws</div>
<script>__THREE__</script>
<script>
"use strict";
const port = new URLSearchParams(location.search).get("ws") || "__PORT__";
const COLOURS = [0xffc440, 0x60c8ff, 0xff6e96, 0x96e678, 0xc8a0ff];
const status = document.getElementById("status");
const renderer = new THREE.WebGLRenderer({ antialias: true });
renderer.setSize(innerWidth, innerHeight);
document.body.appendChild(renderer.domElement);
const scene = new THREE.Scene();
scene.add(new THREE.HemisphereLight(0xffffff, 0x404050, 1.0));
const camera = new THREE.PerspectiveCamera(45, innerWidth / innerHeight, 0.1, 100);
camera.position.set(0, 0, 9);
const shapes = new Map();
const sketch = window.kinetropeSketch = { frames: 0, last: null, errors: [], positions: () =>
  Object.fromEntries([...shapes].map(([name, mesh]) => [name, mesh.position.toArray()])) };
window.addEventListener("error", (event) => sketch.errors.push(String(event.message)));

function shapeFor(name) {
  if (!shapes.has(name)) {
    const geometry = shapes.size % 2 ? new THREE.BoxGeometry(0.6, 0.6, 0.6)
                                     : new THREE.SphereGeometry(0.35, 24, 16);
    const colour = COLOURS[shapes.size % COLOURS.length];
    const mesh = new THREE.Mesh(geometry, new THREE.MeshStandardMaterial({ color: colour }));
    shapes.set(name, mesh);
    scene.add(mesh);
  }
  return shapes.get(name);
}

// Each pattern on its own lane, 2.5 units apart; offsets in [-1, 1] scaled by 1.5.
function place(frame) {
  const names = Object.keys(frame.patterns);
  names.forEach((name, lane) => {
    const [x, y, z] = frame.patterns[name];
    shapeFor(name).position.set((lane - (names.length - 1) / 2) * 2.5 + 1.5 * x, 1.5 * y, 1.5 * z);
  });
  status.textContent = `beat ${(frame.beat + 1).toFixed(2)}  ${frame.bpm.toFixed(1)} bpm`;
}

function connect() {
  const socket = new WebSocket(`ws://${location.hostname || "127.0.0.1"}:${port}`);
  socket.onmessage = (event) => {
    sketch.last = JSON.parse(event.data);
    sketch.frames += 1;
    place(sketch.last);
  };
  socket.onclose = () => setTimeout(connect, 500);  // play may start later, or again
}

renderer.setAnimationLoop(() => renderer.render(scene, camera));
connect();
</script></body></html>
"""


def write_page(out: Path, port: int = DEFAULT_PORT, three: Path = THREE) -> Path:
    """Writes out/index.html and returns its path."""
    if not three.exists():
        raise SystemExit(f"ws_sketch: no three.js at {three} (apt-get install libjs-three)")
    out.mkdir(parents=True, exist_ok=True)
    index = out / "index.html"
    index.write_text(PAGE.replace("__PORT__", str(port)).replace("__THREE__", three.read_text()))
    return index


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", type=Path, default=Path("build/sketch"),
                        help="folder for index.html (default build/sketch)")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT,
                        help=f"the --ws port to connect to (default {DEFAULT_PORT})")
    parser.add_argument("--three", type=Path, default=THREE, help="three.min.js to inline (default Debian's)")
    args = parser.parse_args()
    print(f"{write_page(args.out, args.port, args.three)}: open it, then kinetrope play NAME... --ws {args.port}")


if __name__ == "__main__":
    main()
