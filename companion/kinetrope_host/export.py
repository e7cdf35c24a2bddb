"""Motion written to files other tools read: CSV, JSON and glTF 2.0.

Every format holds the same frames: at seconds i / fps, the musical position
the tempo map gives for that time, and each pattern's offset there. The file
appears whole or not at all: it is written beside its final name and moved
into place once complete.
"""

from __future__ import annotations

import base64
import colorsys
import csv
import json
import math
import os
import sys
import tempfile
from array import array
from collections.abc import Callable, Iterator, Sequence
from contextlib import contextmanager
from pathlib import Path
from typing import IO, Any

import kinetrope

from kinetrope_host.catalogue import resolve
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError
from kinetrope_host.sampling import sample_at

FORMATS = (".csv", ".json", ".gltf", ".glb")
BEATS_PER_BAR = 4
#: Frames from which the command shows a progress bar.
PROGRESS_FROM = 2000

Offsets = list[tuple[float, float, float]]


def frame_count(tempo: TempoMap, fps: float, *, seconds: float | None = None, bars: float | None = None) -> int:
    """Frames in [0, length): the length given in seconds or in 4/4 bars."""
    if not _positive(fps):
        raise UserError(f"--fps must be a positive number: {fps!r}")
    if (seconds is None) == (bars is None):
        raise UserError("give the length as either seconds or bars")
    if seconds is not None:
        if not _positive(seconds):
            raise UserError(f"--seconds must be a positive number: {seconds!r}")
        length = float(seconds)
    else:
        assert bars is not None
        if not _positive(bars):
            raise UserError(f"--bars must be a positive number: {bars!r}")
        length = tempo.seconds_at(bars * BEATS_PER_BAR * kinetrope.PIPS_PER_BEAT)
    # The small allowance keeps a length that is a whole number of frames
    # from losing its last frame to rounding.
    return max(1, math.floor(length * fps + 1e-9))


def _positive(value: object) -> bool:
    return (
        isinstance(value, (int, float)) and not isinstance(value, bool) and math.isfinite(value) and value > 0
    )


def sample_frames(names: Sequence[str], tempo: TempoMap, fps: float, count: int) -> Iterator[tuple[float, float, Offsets]]:
    """(seconds, pip, offsets in `names` order) for each frame."""
    for index in range(count):
        seconds = index / fps
        pip = tempo.pip_at(seconds)
        yield seconds, pip, [sample_at(name, pip) for name in names]


def export(
    names: Sequence[str],
    out: str | os.PathLike[str],
    tempo: TempoMap,
    fps: float,
    *,
    seconds: float | None = None,
    bars: float | None = None,
    scale: float = 1.0,
    progress: bool = False,
) -> int:
    """Write the motion of `names` to `out` (format by its extension) and
    return the number of frames written. `scale` is metres per unit offset
    and applies to glTF, whose translations are lengths; CSV and JSON keep
    the offsets as sampled, in [-1, 1]."""
    path = Path(out)
    suffix = path.suffix.lower()
    if suffix not in FORMATS:
        raise UserError(f"cannot tell the format of {path}: the name must end in {', '.join(FORMATS)}")
    if not names:
        raise UserError("no pattern given")
    resolved = [resolve(name) for name in names]
    if len(set(resolved)) != len(resolved):
        twice = next(name for name in resolved if resolved.count(name) > 1)
        raise UserError(f"pattern given twice: {twice}")
    if not _positive(scale):
        raise UserError(f"--scale must be a positive number of metres: {scale!r}")
    count = frame_count(tempo, fps, seconds=seconds, bars=bars)
    frames = sample_frames(resolved, tempo, fps, count)
    if progress and count >= PROGRESS_FROM:
        frames = _with_progress(frames, count)
    writer = _WRITERS[suffix]
    with _replace_whole(path) as handle:
        writer(handle, resolved, fps, count, frames, float(scale))
    return count


def _with_progress(frames: Iterator[Any], count: int) -> Iterator[Any]:
    try:
        from tqdm import tqdm  # type: ignore[import-untyped, unused-ignore]
    except ImportError:  # the bar is a courtesy; the export does not need it
        yield from frames
        return
    # disable=None: no bar when stderr is not a terminal.
    with tqdm(total=count, unit="frame", disable=None, leave=False) as bar:
        pending = 0
        for item in frames:
            yield item
            pending += 1
            if pending == 256:
                bar.update(pending)
                pending = 0
        bar.update(pending)


@contextmanager
def _replace_whole(path: Path) -> Iterator[IO[bytes]]:
    """A temporary file beside `path`, renamed onto it only on success."""
    if path.is_dir():
        raise UserError(f"cannot write {path}: it is a directory")
    try:
        fd, temp_name = tempfile.mkstemp(dir=path.parent, prefix=f".{path.name}.", suffix=".part")
    except OSError as exc:
        raise UserError(f"cannot write {path}: {exc.strerror or exc}") from None
    try:
        with os.fdopen(fd, "wb") as handle:
            yield handle
        # mkstemp makes the file private; give it the mode a plain open would.
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temp_name, 0o666 & ~umask)
        os.replace(temp_name, path)
    except BaseException as exc:
        os.unlink(temp_name)
        if isinstance(exc, OSError):
            raise UserError(f"cannot write {path}: {exc.strerror or exc}") from None
        raise


Frames = Iterator[tuple[float, float, Offsets]]


def _write_csv(handle: IO[bytes], names: Sequence[str], fps: float, count: int, frames: Frames, scale: float) -> None:
    import io

    text = io.TextIOWrapper(handle, encoding="utf-8", newline="")
    writer = csv.writer(text)
    writer.writerow(["seconds", "beat", "pip", *(f"{name}.{axis}" for name in names for axis in "xyz")])
    for seconds, pip, offsets in frames:
        # repr-exact floats: the file reads back to the very same values.
        writer.writerow([seconds, pip / kinetrope.PIPS_PER_BEAT, pip, *(c for offset in offsets for c in offset)])
    text.flush()
    text.detach()


def _write_json(handle: IO[bytes], names: Sequence[str], fps: float, count: int, frames: Frames, scale: float) -> None:
    rows = [
        {
            "seconds": seconds,
            "beat": pip / kinetrope.PIPS_PER_BEAT,
            "pip": pip,
            "offsets": {name: list(offset) for name, offset in zip(names, offsets)},
        }
        for seconds, pip, offsets in frames
    ]
    document = {"fps": fps, "patterns": list(names), "frames": rows}
    handle.write(json.dumps(document, allow_nan=False).encode("utf-8"))


# A small octahedron marks each pattern's point so the motion is visible
# when the file is opened; its size follows the scale of the motion.
_MARKER_VERTICES = ((1, 0, 0), (-1, 0, 0), (0, 1, 0), (0, -1, 0), (0, 0, 1), (0, 0, -1))
_MARKER_TRIANGLES = (0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5)
_MARKER_SIZE = 0.06


def _gltf_document(
    names: Sequence[str], fps: float, count: int, frames: Frames, scale: float
) -> tuple[Any, bytes]:
    try:
        import pygltflib as g  # type: ignore[import-untyped, unused-ignore]
    except ImportError:
        raise UserError("glTF export needs pygltflib: pip install 'kinetrope[gltf]'") from None

    times = array("f")
    tracks = [array("f") for _ in names]
    for seconds, _pip, offsets in frames:
        times.append(seconds)
        for track, (x, y, z) in zip(tracks, offsets):
            track.extend((x * scale, y * scale, z * scale))
    if times.itemsize != 4:  # pragma: no cover - every platform CPython runs on
        raise RuntimeError("array('f') is not 32-bit here")
    radius = _MARKER_SIZE * scale
    marker = array("f", (c * radius for vertex in _MARKER_VERTICES for c in vertex))
    indices = array("H", _MARKER_TRIANGLES)
    if sys.byteorder != "little":  # pragma: no cover - glTF is little-endian
        for part in [times, *tracks, marker]:
            part.byteswap()
        indices.byteswap()

    blob = bytearray()

    def place(data: bytes) -> int:
        offset = len(blob)
        blob.extend(data)
        blob.extend(b"\0" * (-len(blob) % 4))
        return offset

    accessors: list[Any] = []
    views: list[Any] = []

    def add(data: array[Any], kind: str, component: int, target: int | None, bounds: bool) -> int:
        views.append(g.BufferView(buffer=0, byteOffset=place(data.tobytes()), byteLength=len(data) * data.itemsize, target=target))
        width = {"SCALAR": 1, "VEC3": 3}[kind]
        values = list(data)
        lows = [min(values[i::width]) for i in range(width)] if bounds else None
        highs = [max(values[i::width]) for i in range(width)] if bounds else None
        accessors.append(
            g.Accessor(bufferView=len(views) - 1, componentType=component, count=len(data) // width, type=kind, min=lows, max=highs)
        )
        return len(accessors) - 1

    time_accessor = add(times, "SCALAR", g.FLOAT, None, True)
    track_accessors = [add(track, "VEC3", g.FLOAT, None, False) for track in tracks]
    position_accessor = add(marker, "VEC3", g.FLOAT, g.ARRAY_BUFFER, True)
    index_accessor = add(indices, "SCALAR", g.UNSIGNED_SHORT, g.ELEMENT_ARRAY_BUFFER, False)

    materials, meshes, nodes, samplers, channels = [], [], [], [], []
    for index, (name, track) in enumerate(zip(names, tracks)):
        red, green, blue = colorsys.hsv_to_rgb(index / max(1, len(names)), 0.65, 0.95)
        materials.append(g.Material(name=name, pbrMetallicRoughness=g.PbrMetallicRoughness(baseColorFactor=[red, green, blue, 1.0], metallicFactor=0.0, roughnessFactor=0.6)))
        meshes.append(g.Mesh(name=name, primitives=[g.Primitive(attributes=g.Attributes(POSITION=position_accessor), indices=index_accessor, material=index)]))
        nodes.append(g.Node(name=name, mesh=index, translation=[float(c) for c in track[0:3]]))
        samplers.append(g.AnimationSampler(input=time_accessor, output=track_accessors[index], interpolation=g.LINEAR))
        channels.append(g.AnimationChannel(sampler=index, target=g.AnimationChannelTarget(node=index, path="translation")))

    document = g.GLTF2(
        asset=g.Asset(version="2.0", generator=f"kinetrope {_version()}"),
        scene=0,
        scenes=[g.Scene(name="kinetrope", nodes=list(range(len(names))))],
        nodes=nodes,
        meshes=meshes,
        materials=materials,
        accessors=accessors,
        bufferViews=views,
        buffers=[g.Buffer(byteLength=len(blob))],
        animations=[g.Animation(name="kinetrope", samplers=samplers, channels=channels)],
        extras={"fps": fps, "scale_metres": scale},
    )
    return document, bytes(blob)


def _version() -> str:
    from importlib.metadata import PackageNotFoundError, version

    try:
        return version("kinetrope")
    except PackageNotFoundError:
        return "unknown"


def _write_gltf(handle: IO[bytes], names: Sequence[str], fps: float, count: int, frames: Frames, scale: float) -> None:
    document, blob = _gltf_document(names, fps, count, frames, scale)
    document.buffers[0].uri = "data:application/octet-stream;base64," + base64.b64encode(blob).decode("ascii")
    handle.write(document.to_json(separators=(",", ":")).encode("utf-8"))


def _write_glb(handle: IO[bytes], names: Sequence[str], fps: float, count: int, frames: Frames, scale: float) -> None:
    document, blob = _gltf_document(names, fps, count, frames, scale)
    document.set_binary_blob(blob)
    for chunk in document.save_to_bytes():
        handle.write(chunk)


_WRITERS: dict[str, Callable[[IO[bytes], Sequence[str], float, int, Frames, float], None]] = {
    ".csv": _write_csv,
    ".json": _write_json,
    ".gltf": _write_gltf,
    ".glb": _write_glb,
}
