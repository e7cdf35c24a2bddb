"""Motion written to files other tools read: CSV, JSON and glTF 2.0.

Every format holds the same rows, made once by the frame loop (`timeline`):
at each whole frame from the song's start to its musical end, and at the
end itself, the musical position the tempo map gives and each pattern's
offset there times the scale. Each format (`csv_file`, `json_file`,
`gltf_file`) is a `Writer`; `safe_write` makes the file appear whole or not
at all.
"""

from __future__ import annotations

import math
import os
from collections.abc import Iterator, Sequence
from contextlib import ExitStack
from pathlib import Path
from typing import IO

from kinetrope_host import catalogue
from kinetrope_host.catalogue import resolve
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError
from kinetrope_host.exports.csv_file import CsvWriter
from kinetrope_host.exports.gltf_file import GltfWriter
from kinetrope_host.exports.json_file import JsonWriter
from kinetrope_host.exports.safe_write import replaced_whole, target_of
from kinetrope_host.exports.timeline import (
    Row,
    Timeline,
    length_seconds,
    positive,
    sample_rows,
)
from kinetrope_host.exports.writer import Header, PatternInfo, Writer

__all__ = ["FORMATS", "MAX_SAMPLES", "MAX_SCALE", "Timeline", "export", "length_seconds", "plan", "sample_rows"]

WRITERS: dict[str, Writer] = {
    ".csv": CsvWriter(),
    ".json": JsonWriter(),
    ".gltf": GltfWriter(binary=False),
    ".glb": GltfWriter(binary=True),
}
FORMATS = tuple(WRITERS)
#: The most frames x patterns one export holds (1.2 GB of glTF keys).
MAX_SAMPLES = 100_000_000
#: Metres per unit offset: far past any stage, and every value stays finite
#: even as a 32-bit float.
MAX_SCALE = 1e30
#: Rows from which the command shows a progress bar.
PROGRESS_FROM = 2000


def plan(
    names: Sequence[str],
    tempo: TempoMap,
    fps: float,
    *,
    seconds: float | None = None,
    bars: float | None = None,
    scale: float = 1.0,
    start_frame: int = 0,
    tempo_source: str | None = None,
) -> tuple[list[str], Timeline, Header]:
    """Check a request and say what the file will hold, before any work."""
    if not names:
        raise UserError("no pattern given")
    resolved = [resolve(name) for name in names]
    if len(set(resolved)) != len(resolved):
        twice = next(name for name in resolved if resolved.count(name) > 1)
        raise UserError(f"pattern given twice: {twice}")
    if not positive(fps):
        raise UserError(f"--fps must be a positive number: {fps!r}")
    if not positive(scale) or scale > MAX_SCALE:
        raise UserError(f"--scale must be a positive number of metres up to {MAX_SCALE:g}: {scale!r}")
    if isinstance(start_frame, bool) or not isinstance(start_frame, int) or start_frame < 0:
        raise UserError(f"--start-frame must be a whole number from 0: {start_frame!r}")
    end = length_seconds(tempo, seconds=seconds, bars=bars)
    if not math.isfinite(end * fps * len(resolved)):
        raise UserError(
            f"the export would hold more than {MAX_SAMPLES:,} samples ({end:g} s at {fps:g} fps, "
            f"{len(resolved)} pattern(s)); one file holds at most {MAX_SAMPLES:,}"
        )
    timeline = Timeline(float(fps), end, start_frame)
    if timeline.rows * len(resolved) > MAX_SAMPLES:
        size = f"{timeline.rows:,} frames x {len(resolved)} pattern(s) = {timeline.rows * len(resolved):,} samples"
        raise UserError(f"the export would hold {size}; one file holds at most {MAX_SAMPLES:,}")
    infos = tuple(PatternInfo(name, catalogue.row(name).period_pips, catalogue.row(name).dimensions) for name in resolved)
    header = Header(
        patterns=infos,
        fps=float(fps),
        start_frame=start_frame,
        rows=timeline.rows,
        seconds=end,
        bpm=tempo.bpm_at(0.0),
        tempo=tempo_source or f"{tempo!r}",
        scale=float(scale),
        version=_version(),
    )
    return resolved, timeline, header


def export(
    names: Sequence[str],
    out: str | os.PathLike[str],
    tempo: TempoMap,
    fps: float,
    *,
    seconds: float | None = None,
    bars: float | None = None,
    scale: float = 1.0,
    start_frame: int = 0,
    tempo_source: str | None = None,
    progress: bool = False,
) -> int:
    """Write the motion of `names` to `out` (format by its extension) and
    return the number of rows (frames) written. Every value written is the
    offset times `scale` (metres per unit offset; 1 keeps [-1, 1])."""
    suffix = Path(out).suffix.lower()
    if suffix not in WRITERS:
        raise UserError(f"cannot tell the format of {os.fspath(out)}: the name must end in {', '.join(FORMATS)}")
    writer = WRITERS[suffix]
    resolved, timeline, header = plan(
        names, tempo, fps, seconds=seconds, bars=bars, scale=scale, start_frame=start_frame, tempo_source=tempo_source
    )
    writer.check(header)
    target = target_of(out)
    side = writer.sidecar(target)
    if side is not None:
        side = target_of(side)
    rows = sample_rows(resolved, tempo, timeline, header.scale)
    if progress and header.rows >= PROGRESS_FROM:
        rows = _with_progress(rows, header.rows)
    with ExitStack() as stack:
        # The sidecar is entered first so it is renamed last, after the table it describes.
        side_handle: IO[bytes] | None = stack.enter_context(replaced_whole(side)) if side is not None else None
        handle = stack.enter_context(replaced_whole(target))
        writer.write(handle, target, header, rows, side_handle)
    return header.rows


def _with_progress(rows: Iterator[Row], count: int) -> Iterator[Row]:
    try:
        from tqdm import tqdm  # type: ignore[import-untyped, unused-ignore]
    except ImportError:  # the bar is a courtesy; the export does not need it
        yield from rows
        return
    # disable=None: no bar when stderr is not a terminal.
    with tqdm(total=count, unit="frame", disable=None, leave=False) as bar:
        pending = 0
        for item in rows:
            yield item
            pending += 1
            if pending == 256:
                bar.update(pending)
                pending = 0
        bar.update(pending)


def _version() -> str:
    from importlib.metadata import PackageNotFoundError, version

    try:
        return version("kinetrope")
    except PackageNotFoundError:
        return "unknown"


