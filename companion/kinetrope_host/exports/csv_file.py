"""CSV: one row per frame under one header row, readable by any spreadsheet
and by pandas as it is. What the columns hold (fps, tempo, scale, patterns)
goes beside it in NAME.csv-metadata.json, where CSV on the Web (W3C) looks
for a table's description."""

from __future__ import annotations

import csv
import io
import json
from collections.abc import Iterable
from pathlib import Path
from typing import IO, Any

from kinetrope_host.exports.timeline import Row
from kinetrope_host.exports.writer import Header

PIPS_PER_BEAT = 64


class CsvWriter:
    """Writes `.csv`: a header row and one row per frame, described in a
    `-metadata.json` file beside it."""

    def check(self, header: Header) -> None:
        """Accepts every header: CSV can hold any export."""

    def sidecar(self, target: Path) -> Path | None:
        """`NAME.csv-metadata.json` beside `target`."""
        return target.with_name(target.name + "-metadata.json")

    def write(
        self, handle: IO[bytes], target: Path, header: Header, rows: Iterable[Row], sidecar: IO[bytes] | None
    ) -> None:
        """Writes the column row and one row per frame to `handle`, and the
        table's description to `sidecar` when given."""
        text = io.TextIOWrapper(handle, encoding="utf-8", newline="")
        writer = csv.writer(text)
        writer.writerow(header.columns)
        # repr-exact floats: the file reads back to the very same values.
        writer.writerows([frame, seconds, pip / PIPS_PER_BEAT, pip, *values] for frame, seconds, pip, values in rows)
        text.flush()
        text.detach()
        if sidecar is not None:
            sidecar.write(json.dumps(describe(header, target.name), indent=2, allow_nan=False).encode("utf-8"))


def describe(header: Header, name: str) -> dict[str, Any]:
    """The CSV on the Web description of the table in file `name`, with the
    header under "notes"."""
    return {
        "@context": "http://www.w3.org/ns/csvw",
        "url": name,
        "dialect": {"header": True},
        "tableSchema": {
            "columns": [
                {"name": column, "titles": column, "datatype": "number"} for column in header.columns
            ],
        },
        "notes": [header.as_dict()],
    }
