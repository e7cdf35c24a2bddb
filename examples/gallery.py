"""Writes a gallery of every built-in pattern, moving, as one self-contained page.

    python3 examples/gallery.py --out DIR [--screenshot PNG]

DIR/index.html shows one card per catalogue row, in catalogue order: the path
in the x-y plane (depth as colour), the three axes over one period with beat
lines, and a point moving along the path at a tempo set on the page. Every
value drawn is a sample taken here through `kinetrope.sample`; the page only
interpolates between stored pips. It needs no network to be viewed.

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
from pathlib import Path
from typing import Any, Callable

import kinetrope
from kinetrope_host import catalogue

ASSET_DIR = Path(__file__).parent / "gallery"

# Long periods are stored at an even pip step so that no row keeps more than
# this many samples; it is what keeps the page under 10 MB at 1731 rows.
MAX_SAMPLES = 256

# Built-in table values are whole multiples of 10^-12 in [-1, 1]: as integers
# offset by 10^12 they fit in 41 bits, seven base-64 digits. Rows whose values
# are not on that grid (the formula patterns) are stored as plain JSON numbers.
SCALE = 10**12
DIGITS = 7
ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"

# A catalogue row with its collection and family, and what gives the (x, y, z) of a pip.
Row = dict[str, Any]
Sampler = Callable[[str, int], tuple[float, ...]]


def catalogue_rows() -> list[Row]:
    """The catalogue with each row's collection and family, as the companion
    package knows them."""
    return [dict(name=row.name, description=row.description, period_pips=row.period_pips,
                 dimensions=row.dimensions, collection=row.collection, family=row.family)
            for row in catalogue.rows()]


def pip_step(period: int) -> int:
    return -(-period // MAX_SAMPLES)


def stored_pips(period: int) -> range:
    return range(0, period, pip_step(period))


def encode_fixed(value: float) -> str | None:
    """Seven base-64 digits of the value on the 10^-12 grid, or None when the
    value is not exactly a grid point (the page divides by 10^12, so the
    digits must give back this very double)."""
    scaled = round(value * SCALE)
    if scaled / SCALE != value or abs(scaled) > SCALE or (value == 0.0 and math.copysign(1.0, value) < 0):
        return None
    n, digits = scaled + SCALE, []
    for _ in range(DIGITS):
        n, d = divmod(n, 64)
        digits.append(ALPHABET[d])
    return "".join(reversed(digits))


def decode_fixed(text: str) -> list[float]:
    """The inverse of `encode_fixed` over a run of values."""
    values = []
    for start in range(0, len(text), DIGITS):
        n = 0
        for ch in text[start : start + DIGITS]:
            n = n * 64 + ALPHABET.index(ch)
        values.append((n - SCALE) / SCALE)
    return values


def encode_row(row: Row, sampler: Sampler) -> list[Any]:
    """A page row: name, description, period, dimensions, collection, pip
    step and the active axes of every stored pip, x then y then z."""
    period, dims = row["period_pips"], row["dimensions"]
    values = [v for pip in stored_pips(period) for v in sampler(row["name"], pip)[:dims]]
    packed = [encode_fixed(v) for v in values]
    fixed = [p for p in packed if p is not None]
    data: str | list[float] = "".join(fixed) if len(fixed) == len(packed) else values
    return [row["name"], row["description"], period, dims, row["collection"], pip_step(period), data]


def decode_row(page_row: list[Any]) -> dict[str, Any]:
    """A page row back as a dict with its stored samples as (pip, (x, y, z))."""
    name, description, period, dims, collection, step, data = page_row
    values = decode_fixed(data) if isinstance(data, str) else data
    samples = []
    for i, pip in enumerate(range(0, period, step)):
        axes = values[i * dims : (i + 1) * dims]
        samples.append((pip, tuple(axes) + (0.0,) * (3 - dims)))
    return dict(name=name, description=description, period_pips=period, dimensions=dims,
                collection=collection, samples=samples, packed=isinstance(data, str))


def sample_tuple(name: str, pip: int) -> tuple[float, float, float]:
    return kinetrope.sample(name, pip).as_tuple()


def build_page(rows: list[Row], sampler: Sampler = sample_tuple) -> str:
    """The whole page for the given catalogue rows (each with a collection);
    `sampler(name, pip)` gives the (x, y, z) stored for a pip."""
    data = {"pipsPerBeat": kinetrope.PIPS_PER_BEAT, "rows": [encode_row(row, sampler) for row in rows]}
    # Escaping "<" keeps any text in the data from closing the script element.
    payload = json.dumps(data, ensure_ascii=False, separators=(",", ":")).replace("<", "\\u003c")
    parts = {"STYLE": (ASSET_DIR / "page.css").read_text(), "SCRIPT": (ASSET_DIR / "page.js").read_text(),
             "DATA": payload}
    # One pass, so that nothing inserted is itself taken for a placeholder.
    return re.sub(r"/\*(STYLE|SCRIPT|DATA)\*/", lambda m: parts[m[1]], (ASSET_DIR / "page.html").read_text())


def page_data(html: str) -> dict[str, Any]:
    """The data embedded in a built page."""
    match = re.search(r'<script type="application/json" id="gallery-data">(.*?)</script>', html, re.S)
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
    parser.add_argument("--screenshot", type=Path, metavar="PNG", help="also render the page to this PNG")
    args = parser.parse_args()
    index = write_gallery(args.out)
    print(f"{index}: {index.stat().st_size:,} bytes, {len(kinetrope.catalogue())} patterns")
    if args.screenshot:
        screenshot(index, args.screenshot)
        print(f"{args.screenshot}: screenshot")


if __name__ == "__main__":
    main()
