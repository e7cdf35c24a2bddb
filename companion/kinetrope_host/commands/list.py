"""`kinetrope list`: the catalogue, narrowed by collection or words."""

from __future__ import annotations

import argparse
from typing import Any

from kinetrope_host import catalogue


def register(subparsers: Any) -> None:
    command = subparsers.add_parser("list", help="list the built-in patterns",
                                    description="List the built-in patterns: name, collection, family, "
                                                "period in pips, axes and description.")
    command.add_argument("--collection", metavar="C", help=f"only this collection ({', '.join(catalogue.collections())})")
    command.add_argument("--search", metavar="WORDS", nargs="+", default=[],
                         help="only rows in which every word appears (name, description, collection, family)")
    command.set_defaults(run=run)


def run(arguments: argparse.Namespace) -> int:
    found = catalogue.search(arguments.search, collection=arguments.collection)
    for row in found:
        print(f"{row.name:34s} {row.collection:10s} {row.family:19s} {row.period_pips:5d} {row.dimensions}  "
              f"{row.description}")
    if not found:
        print("no pattern matches")
        return 1
    return 0
