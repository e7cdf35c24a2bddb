"""Writes the reference pages at build time (mkdocs-gen-files): every module
of kinetrope_host, found on disk so a new module needs no edit here, and the
command's reference from its own argument parser."""

from __future__ import annotations

import argparse
from pathlib import Path

import mkdocs_gen_files

COMPANION = Path(__file__).parents[1] / "companion"


def module_pages() -> None:
    lines = ["# kinetrope_host", "", "The companion package, module by module, from its docstrings.", ""]
    for source in sorted((COMPANION / "kinetrope_host").rglob("*.py")):
        parts = list(source.relative_to(COMPANION).with_suffix("").parts)
        if parts[-1] == "__main__":
            continue
        if parts[-1] == "__init__":
            parts = parts[:-1]
        lines += [f"::: {'.'.join(parts)}", "    options:", "      heading_level: 2", ""]
    with mkdocs_gen_files.open("reference/host.md", "w") as out:
        out.write("\n".join(lines))


def command_page() -> None:
    from kinetrope_host import cli

    top = cli.parser()
    # Wide, fixed help text: the page does not depend on the terminal it was built in.
    lines = ["# The kinetrope command", "", "Generated from the command's own argument parser.", "",
             "```text", help_text(top), "```", ""]
    subparsers = next(a for a in top._actions if isinstance(a, argparse._SubParsersAction))
    for name, sub in subparsers.choices.items():
        lines += [f"## kinetrope {name}", "", "```text", help_text(sub), "```", ""]
    with mkdocs_gen_files.open("reference/command.md", "w") as out:
        out.write("\n".join(lines))


def help_text(parser: argparse.ArgumentParser) -> str:
    formatter_class = parser.formatter_class
    parser.formatter_class = lambda prog: formatter_class(prog, width=100)  # type: ignore[misc, operator]
    try:
        return parser.format_help().rstrip()
    finally:
        parser.formatter_class = formatter_class


module_pages()
command_page()
