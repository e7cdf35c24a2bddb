"""Writes a gallery of every built-in pattern, moving, as one self-contained page.

    python3 examples/gallery.py --out DIR [--screenshot [PNG]]

DIR/index.html shows one card per catalogue row, in catalogue order: the path
in the x-y plane (depth as colour), the three axes over one period with beat
lines, and a point moving along the path at a tempo set on the page. Every
value drawn is a sample taken here through `kinetrope.sample` at every pip
(within 1/512); the page never interpolates. It needs no network to be viewed.

With --groove FILE (a MIDI file's drum track or a score; again for more),
the drum part's sixteen motions join the cards after the built-ins, in the
collection "host" and in the beat grid under the part's name.

With --screenshot, headless Chromium renders the page to a PNG.
"""

import argparse
import json
import math
import random
import re
import shutil
import subprocess
import tempfile
from collections.abc import Callable
from pathlib import Path
from typing import Any

import kinetrope
from kinetrope_host import catalogue

ASSET_DIR = Path(__file__).parent / "gallery"

# Every pip of every row is stored, so that the page never interpolates. Each
# value is rounded to a multiple of 1/QUANT (at most 1/(2*QUANT) off, well
# inside what a drawing can show) and each axis is written as one base-64 digit
# per pip: the step from the previous pip's level, or, for a larger step and for
# pip 0, an escape digit and the level itself in two digits. Smooth paths cost a
# byte a value, which keeps 1731 rows of 1024 pips and 3 axes under 10 MB.
QUANT = 256
ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
MAX_STEP = 31
ESCAPE = ALPHABET[63]
TOLERANCE = 0.5 / QUANT

# Words a search for a family should find that its rows' own texts lack.
FAMILY_WORDS = {
    "weave": "lissajous", "path": "lissajous rose", "polar": "rose scallop petals", "spiro": "spirograph roulette",
    "space": "3d depth knot", "mech": "mechanism linkage machine", "euclid": "euclidean rhythm",
    "poly": "polyrhythm", "meter": "odd meter grouping", "swing": "groove shuffle", "stick": "drum rudiment",
    "noise": "random drift", "lfo": "oscillator wave", "env": "envelope", "seq": "sequence steps",
    "orbit": "ellipse circle", "gesture": "dance", "beat": "drum groove dance", "rhythm": "accents",
}

# A catalogue row with its collection and family, and what gives the (x, y, z) of a pip.
Row = dict[str, Any]
Sampler = Callable[[str, int], tuple[float, ...]]


def catalogue_rows() -> list[Row]:
    """The catalogue with each row's collection and family, as the companion
    package knows them, and after it any patterns made known with
    `catalogue.use_patterns` (a groove's motions)."""
    return [dict(name=row.name, description=row.description, period_pips=row.period_pips,
                 dimensions=row.dimensions, collection=row.collection, family=row.family)
            for row in (*catalogue.rows(), *catalogue.host_rows())]


def load_grooves(files: list[str]) -> None:
    """Makes the motions of each drum part known beside the built-ins."""
    from kinetrope_host.grooves import groove_patterns, load_groove

    patterns = []
    for file in files:
        groove = load_groove(file)
        patterns += groove_patterns(groove.part, groove.name)
    catalogue.use_patterns(kinetrope.PatternLibrary(patterns))


def encode_axis(values: list[float]) -> str:
    out, previous = [], None
    for value in values:
        level = max(-QUANT, min(QUANT, round(value * QUANT)))
        if previous is not None and abs(level - previous) <= MAX_STEP:
            out.append(ALPHABET[level - previous + MAX_STEP])
        else:
            code = level + QUANT
            out.append(ESCAPE + ALPHABET[code // 64] + ALPHABET[code % 64])
        previous = level
    return "".join(out)


def decode_axis(text: str, count: int, start: int = 0) -> tuple[list[float], int]:
    """`count` values from `text` at `start`, and the position after them."""
    values, level, pos = [], 0, start
    for _ in range(count):
        ch = text[pos]
        if ch == ESCAPE:
            level = ALPHABET.index(text[pos + 1]) * 64 + ALPHABET.index(text[pos + 2]) - QUANT
            pos += 3
        else:
            level += ALPHABET.index(ch) - MAX_STEP
            pos += 1
        values.append(level / QUANT)
    return values, pos


def encode_row(row: Row, sampler: Sampler) -> list[Any]:
    """A page row: name, description, period, dimensions, collection and
    the active axes of every pip, all of x, then y, then z."""
    period, dims = row["period_pips"], row["dimensions"]
    samples = [sampler(row["name"], pip) for pip in range(period)]
    data = "".join(encode_axis([s[a] for s in samples]) for a in range(dims))
    return [row["name"], row["description"], period, dims, row["collection"], data]


def decode_row(page_row: list[Any]) -> dict[str, Any]:
    """A page row back as a dict with its samples as (pip, (x, y, z))."""
    name, description, period, dims, collection, data = page_row
    axes, pos = [], 0
    for _ in range(dims):
        values, pos = decode_axis(data, period, pos)
        axes.append(values)
    axes += [[0.0] * period] * (3 - dims)
    samples = [(pip, (axes[0][pip], axes[1][pip], axes[2][pip])) for pip in range(period)]
    return dict(name=name, description=description, period_pips=period, dimensions=dims,
                collection=collection, samples=samples, consumed=pos == len(data))


def sample_tuple(name: str, pip: int) -> tuple[float, float, float]:
    return catalogue.sample(name, pip).as_tuple()


def build_page(rows: list[Row], sampler: Sampler = sample_tuple) -> str:
    """The whole page for the given catalogue rows (each with a collection);
    `sampler(name, pip)` gives the (x, y, z) stored for a pip."""
    data = {"pipsPerBeat": kinetrope.PIPS_PER_BEAT, "quant": QUANT, "familyWords": FAMILY_WORDS,
            "rows": [encode_row(row, sampler) for row in rows]}
    # Escaping "<" keeps any text in the data from closing the script element.
    payload = json.dumps(data, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003c")
    parts = {"STYLE": (ASSET_DIR / "page.css").read_text(), "SCRIPT": (ASSET_DIR / "page.js").read_text(),
             "DATA": payload}
    # One pass, so that nothing inserted is itself taken for a placeholder.
    return re.sub(r"/\*(STYLE|SCRIPT|DATA)\*/", lambda m: parts[m[1]], (ASSET_DIR / "page.html").read_text())


def page_data(html: str) -> dict[str, Any]:
    """The data embedded in a built page."""
    match = re.search(r'<script type="application/json" id="gallery-data">(.*?)</script>', html, re.DOTALL)
    if match is None:
        raise ValueError("no gallery data in this page")
    data: dict[str, Any] = json.loads(match[1])
    return data


def synthetic_rows(count: int = 1731, seed: int = 12) -> tuple[list[Row], Sampler]:
    """A full-size stand-in for size and speed checks: rows of the largest
    kind (1024 pips, 3 axes, long descriptions) with 12-decimal values of
    smooth-looking but irregular paths; returns the rows and their sampler."""
    collections = ["initial", "expansion", "atlas", "continuum", "club", "dancefloor"]
    rng = random.Random(seed)
    rows: list[Row] = []
    shapes: dict[str, list[tuple[int, float, float]]] = {}
    for i in range(count):
        name = f"standin_{collections[i % 6]}_pattern_{i:04d}"
        rows.append(dict(name=name, period_pips=1024, dimensions=3, collection=collections[i % 6],
                         description=f"Stand-in row {i}: " + "a long description of how it moves, " * 4))
        shapes[name] = [(rng.randint(1, 5), rng.uniform(0, 6.3), rng.uniform(0.3, 0.9)) for _ in range(3)]

    def sampler(name: str, pip: int) -> tuple[float, ...]:
        return tuple(round(a * math.sin(2 * math.pi * k * pip / 1024 + p), 12) for k, p, a in shapes[name])

    return rows, sampler


def write_gallery(out_dir: Path, rows: list[Row] | None = None, sampler: Sampler = sample_tuple) -> Path:
    out_dir.mkdir(parents=True, exist_ok=True)
    index = out_dir / "index.html"
    index.write_text(build_page(catalogue_rows() if rows is None else rows, sampler), encoding="utf-8")
    return index


def find_chromium() -> str | None:
    for name in ("chromium", "chromium-browser", "google-chrome", "chrome"):
        if found := shutil.which(name):
            return found
    return None


def screenshot(index: Path, png: Path, width: int = 1440, height: int = 1000) -> None:
    """Renders the page in headless Chromium after a few seconds of its
    own (virtual) time, so the points have moved and the first cards are
    drawn."""
    browser = find_chromium()
    if browser is None:
        raise SystemExit("gallery: --screenshot needs Chromium (apt-get install chromium)")
    png.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as profile:
        subprocess.run([
            browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--hide-scrollbars",
            "--force-device-scale-factor=1", f"--user-data-dir={profile}",
            f"--window-size={width},{height}", "--virtual-time-budget=2300",
            f"--screenshot={png.resolve()}", index.resolve().as_uri(),
        ], check=True, capture_output=True)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", type=Path, required=True, help="directory to write index.html into")
    parser.add_argument("--screenshot", type=Path, nargs="?", const=Path("build/gallery.png"), metavar="PNG",
                        help="also render the page to this PNG (default build/gallery.png)")
    parser.add_argument("--groove", action="append", default=[], metavar="FILE",
                        help="add a drum part's motions (a MIDI file or a score; again for more)")
    args = parser.parse_args()
    if args.groove:
        load_grooves(args.groove)
    index = write_gallery(args.out)
    print(f"{index}: {index.stat().st_size:,} bytes, {len(catalogue_rows())} patterns")
    if args.screenshot:
        screenshot(index, args.screenshot)
        print(f"{args.screenshot}: screenshot")


if __name__ == "__main__":
    main()
