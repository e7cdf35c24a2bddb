"""`kinetrope show NAME`: a pattern's row and its three axes over one period."""

from __future__ import annotations

import argparse
from typing import Any

from kinetrope_host import catalogue, sampling
from kinetrope_host.commands.options import whole_in

HEIGHT = 9  # rows per axis: -1 at the bottom, 0 in the middle, +1 at the top
WIDTH = 64  # columns across one period
WIDTHS = (8, 400)  # narrower hides the shape, wider no terminal shows


def register(subparsers: Any) -> None:
    """Adds `show` to the command's subparsers."""
    command = subparsers.add_parser("show", help="show one pattern's row and its x, y and z over one period",
                                    description="Show a pattern's row and draw x, y and z over one period "
                                                "(time across, value up; beats marked below).")
    command.add_argument("name", help="a built-in pattern name")
    command.add_argument("--width", type=whole_in(*WIDTHS), default=WIDTH,
                         help=f"columns across the period, {WIDTHS[0]} to {WIDTHS[1]} (default {WIDTH})")
    command.set_defaults(run=run)


def plot(values: list[float], height: int = HEIGHT) -> list[str]:
    """One text row per level, top (+1) first; the zero row is drawn as a rule."""
    middle = height // 2
    lines = []
    for level in range(height):
        cells = []
        for value in values:
            at = round((1.0 - value) / 2.0 * (height - 1))
            cells.append("*" if at == level else ("-" if level == middle else " "))
        label = "+1" if level == 0 else ("-1" if level == height - 1 else (" 0" if level == middle else "  "))
        lines.append(f"{label} |{''.join(cells)}")
    return lines


def run(arguments: argparse.Namespace) -> int:
    """Prints the row and one plot per axis."""
    row = catalogue.row(arguments.name)
    width = arguments.width
    print(f"{row.name}  ({row.collection}, {row.family})")
    print(f"  {row.description}")
    beats = row.period_pips / 64
    print(f"  period {row.period_pips} pips ({beats:g} beats), {row.dimensions} axes")
    pips = [column * row.period_pips / width for column in range(width)]
    offsets = [sampling.sample_at(row.name, pip) for pip in pips]
    ruler = "".join("|" if int(pip // 64) != int(pips[column - 1] // 64) or column == 0 else " "
                    for column, pip in enumerate(pips))
    for axis, label in enumerate("xyz"):
        print()
        print(f"{label}:" + ("  (stays at 0)" if axis >= row.dimensions else ""))
        for line in plot([offset[axis] for offset in offsets]):
            print(line)
        print(f"   {ruler}  beats")
    return 0
