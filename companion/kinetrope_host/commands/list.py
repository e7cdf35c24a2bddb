"""`kinetrope list`: the catalogue, narrowed by collection or words, as a
table with a header row or as JSON."""

from __future__ import annotations

import argparse
import dataclasses
import json
import sys
from typing import Any

from kinetrope_host import catalogue

COLUMNS = ("name", "collection", "family", "period_pips", "dimensions", "description")
_WIDTHS = (34, 10, 19, 11, 10)


def register(subparsers: Any) -> None:
    """Adds `list` to the command's subparsers."""
    command = subparsers.add_parser("list", help="list the built-in patterns",
                                    description="List the built-in patterns: name, collection, family, "
                                                "period in pips, axes (dimensions) and description.")
    command.add_argument("--collection", metavar="C",
                         help=f"only this collection ({', '.join(catalogue.collections())})")
    command.add_argument("--search", metavar="WORDS", nargs="+", default=[],
                         help="only rows in which every word appears (name, description, collection, family)")
    command.add_argument("--no-header", dest="header", action="store_false", help="leave out the header row")
    command.add_argument("--json", action="store_true", help="print the rows as a JSON list of objects")
    command.set_defaults(run=run)


def table_line(values: tuple[object, ...]) -> str:
    """One row of the table: fixed-width columns, the description last."""
    cells = [f"{value!s:>{width}}" if isinstance(value, int) else f"{value!s:<{width}}"
             for value, width in zip(values[:-1], _WIDTHS, strict=True)]
    return " ".join(cells) + f"  {values[-1]}"


def run(arguments: argparse.Namespace) -> int:
    """Prints the matching rows; exits 1 when none matches."""
    found = catalogue.search(arguments.search, collection=arguments.collection)
    if arguments.json:
        print(json.dumps([dataclasses.asdict(row) for row in found], indent=1))
        return 0 if found else 1
    if not found:
        print("kinetrope: no pattern matches", file=sys.stderr)  # a message, not a row
        return 1
    if arguments.header:
        print(table_line(COLUMNS))
    for row in found:
        print(table_line(tuple(getattr(row, column) for column in COLUMNS)))
    return 0
