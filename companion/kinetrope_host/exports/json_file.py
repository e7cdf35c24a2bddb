"""JSON: a header object saying what the file holds, then one object per
frame. Written as a stream, a frame at a time, so memory stays flat however
long the song."""

from __future__ import annotations

import json
from collections.abc import Iterable
from pathlib import Path
from typing import IO

from kinetrope_host.exports.timeline import Row
from kinetrope_host.exports.writer import Header

PIPS_PER_BEAT = 64
_BATCH = 512


class JsonWriter:
    """Writes `.json`: the header, then the frames streamed in batches."""

    def check(self, header: Header) -> None:
        """Accepts every header: JSON can hold any export."""

    def sidecar(self, target: Path) -> Path | None:
        """None: JSON needs no second file."""
        return None

    def write(
        self, handle: IO[bytes], target: Path, header: Header, rows: Iterable[Row], sidecar: IO[bytes] | None
    ) -> None:
        """Writes the header object and one object per row to `handle`; `sidecar` is unused."""
        # "fps" and "patterns" (the names) stay at the top, where earlier files had them.
        opening = {"header": header.as_dict(), "fps": header.fps, "patterns": header.names}
        handle.write(json.dumps(opening, allow_nan=False)[:-1].encode("utf-8") + b',"frames":[\n')
        keys = [json.dumps(name) for name in header.names]
        batch: list[str] = []
        first = True
        for frame, seconds, pip, values in rows:
            # Values are finite (the frame loop refuses others), so repr is JSON.
            offsets = ",".join(
                f"{key}:[{values[3 * i]!r},{values[3 * i + 1]!r},{values[3 * i + 2]!r}]" for i, key in enumerate(keys)
            )
            batch.append(
                f'{"" if first else ","}{{"frame":{frame!r},"seconds":{seconds!r},"beat":{pip / PIPS_PER_BEAT!r},'
                f'"pip":{pip!r},"offsets":{{{offsets}}}}}\n'
            )
            first = False
            if len(batch) == _BATCH:
                handle.write("".join(batch).encode("utf-8"))
                batch.clear()
        handle.write("".join(batch).encode("utf-8") + b"]}\n")
