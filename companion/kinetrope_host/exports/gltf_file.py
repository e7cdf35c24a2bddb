"""glTF 2.0 (`.gltf` with the buffer embedded, `.glb`): one node per pattern
with a small marker mesh, one animation whose translation keys are the
offsets times the scale, y up as glTF has it. fps, tempo and scale are in
the `extras` of the scene and the animation, where importers and scripts
that read extras find them."""

from __future__ import annotations

import base64
import colorsys
import math
import sys
from array import array
from collections.abc import Iterable
from pathlib import Path
from typing import IO, Any

from kinetrope_host.errors import UserError
from kinetrope_host.exports.timeline import Row
from kinetrope_host.exports.writer import Header

# A small octahedron marks each pattern's point so the motion is visible
# when the file is opened; its size follows the scale of the motion.
_MARKER_VERTICES = ((1, 0, 0), (-1, 0, 0), (0, 1, 0), (0, -1, 0), (0, 0, 1), (0, 0, -1))
_MARKER_TRIANGLES = (0, 2, 4, 2, 1, 4, 1, 3, 4, 3, 0, 4, 2, 0, 5, 1, 2, 5, 3, 1, 5, 0, 3, 5)
_MARKER_SIZE = 0.06
_FLOAT32_BITS = 24


def _pygltflib() -> Any:
    try:
        import pygltflib  # type: ignore[import-untyped, unused-ignore]
    except ImportError:
        raise UserError("glTF export needs pygltflib: pip install 'kinetrope[gltf]'") from None
    return pygltflib


class GltfWriter:
    """Writes glTF: `.glb` when `binary`, else `.gltf` with the buffer embedded.
    Needs pygltflib."""

    def __init__(self, binary: bool) -> None:
        self.binary = binary

    def check(self, header: Header) -> None:
        """Raises `UserError` if pygltflib is missing or 32-bit key times
        are too coarse for the frame rate."""
        _pygltflib()
        # Key times are 32-bit floats: far enough into the clip, two frames
        # would round to the same time.
        last = (header.start_frame + header.rows) / header.fps
        spacing = 2.0 ** (math.frexp(last)[1] - _FLOAT32_BITS)
        if spacing * 4 > 1 / header.fps:
            raise UserError(
                f"glTF keeps key times as 32-bit floats, too coarse at {last:g} s for {header.fps:g} fps; "
                "export less time or a lower --fps"
            )

    def sidecar(self, target: Path) -> Path | None:
        """None: glTF needs no second file."""
        return None

    def write(
        self, handle: IO[bytes], target: Path, header: Header, rows: Iterable[Row], sidecar: IO[bytes] | None
    ) -> None:
        """Builds the whole document in memory from the rows and writes it to
        `handle`; `sidecar` is unused."""
        document, blob = _document(header, rows)
        if self.binary:
            document.set_binary_blob(blob)
            for chunk in document.save_to_bytes():
                handle.write(chunk)
        else:
            document.buffers[0].uri = "data:application/octet-stream;base64," + base64.b64encode(blob).decode("ascii")
            handle.write(document.to_json(separators=(",", ":")).encode("utf-8"))


def _document(header: Header, rows: Iterable[Row]) -> tuple[Any, bytes]:
    g = _pygltflib()
    names = header.names
    times = array("f")
    tracks = [array("f") for _ in names]
    fps = header.fps
    for frame, _seconds, _pip, values in rows:
        times.append(frame / fps)
        for slot, track in enumerate(tracks):
            track.extend(values[3 * slot : 3 * slot + 3])
    if times.itemsize != 4:  # pragma: no cover - every platform CPython runs on
        raise RuntimeError("array('f') is not 32-bit here")
    radius = _MARKER_SIZE * header.scale
    marker = array("f", (c * radius for vertex in _MARKER_VERTICES for c in vertex))
    indices = array("H", _MARKER_TRIANGLES)

    blob = bytearray()
    accessors: list[Any] = []
    views: list[Any] = []

    def add(data: array[Any], kind: str, component: int, target: int | None) -> int:
        width = {"SCALAR": 1, "VEC3": 3}[kind]
        # Bounds of the values as stored (32-bit), which a validator compares exactly.
        lows = [min(data[i::width]) for i in range(width)]
        highs = [max(data[i::width]) for i in range(width)]
        if sys.byteorder != "little":  # pragma: no cover - glTF is little-endian
            data = array(data.typecode, data)
            data.byteswap()
        views.append(g.BufferView(buffer=0, byteOffset=len(blob), byteLength=len(data) * data.itemsize, target=target))
        blob.extend(data.tobytes())
        blob.extend(b"\0" * (-len(blob) % 4))
        accessors.append(
            g.Accessor(bufferView=len(views) - 1, componentType=component, count=len(data) // width, type=kind,
                       min=lows, max=highs)
        )
        return len(accessors) - 1

    time_accessor = add(times, "SCALAR", g.FLOAT, None)
    track_accessors = [add(track, "VEC3", g.FLOAT, None) for track in tracks]
    position_accessor = add(marker, "VEC3", g.FLOAT, g.ARRAY_BUFFER)
    index_accessor = add(indices, "SCALAR", g.UNSIGNED_SHORT, g.ELEMENT_ARRAY_BUFFER)

    materials, meshes, nodes, samplers, channels = [], [], [], [], []
    for index, (name, track) in enumerate(zip(names, tracks)):
        red, green, blue = colorsys.hsv_to_rgb(index / max(1, len(names)), 0.65, 0.95)
        materials.append(g.Material(name=name, pbrMetallicRoughness=g.PbrMetallicRoughness(
            baseColorFactor=[red, green, blue, 1.0], metallicFactor=0.0, roughnessFactor=0.6)))
        meshes.append(g.Mesh(name=name, primitives=[
            g.Primitive(attributes=g.Attributes(POSITION=position_accessor), indices=index_accessor, material=index)]))
        nodes.append(g.Node(name=name, mesh=index, translation=[float(c) for c in track[0:3]]))
        samplers.append(g.AnimationSampler(input=time_accessor, output=track_accessors[index],
                                           interpolation=g.ANIM_LINEAR))
        channels.append(g.AnimationChannel(sampler=index, target=g.AnimationChannelTarget(node=index, path="translation")))

    extras = header.as_dict()
    document = g.GLTF2(
        asset=g.Asset(version="2.0", generator=f"kinetrope {header.version}"),
        scene=0,
        scenes=[g.Scene(name="kinetrope", nodes=list(range(len(names))), extras=extras)],
        nodes=nodes,
        meshes=meshes,
        materials=materials,
        accessors=accessors,
        bufferViews=views,
        buffers=[g.Buffer(byteLength=len(blob))],
        animations=[g.Animation(name="kinetrope", samplers=samplers, channels=channels, extras=extras)],
        extras={"fps": header.fps, "scale_metres": header.scale},
    )
    return document, bytes(blob)
