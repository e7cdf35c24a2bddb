"""The `kinetrope` command: list, show, play and export the built-in patterns."""

from __future__ import annotations

import argparse
import sys
from collections.abc import Sequence
from typing import NoReturn

from kinetrope_host.commands import export as export_command
from kinetrope_host.commands import list as list_command
from kinetrope_host.commands import play as play_command
from kinetrope_host.commands import ports as ports_command
from kinetrope_host.commands import show as show_command
from kinetrope_host.errors import UserError

# Each module adds its subcommand through register(subparsers).
COMMANDS = [list_command, show_command, play_command, export_command, ports_command]


class Parser(argparse.ArgumentParser):
    """Reports a bad argument as one line (usage is one --help away)."""

    def error(self, message: str) -> NoReturn:
        self.exit(2, f"{self.prog}: {message}\n")


def parser() -> argparse.ArgumentParser:
    top = Parser(prog="kinetrope", description="Movement patterns in time with music.")
    subparsers = top.add_subparsers(dest="command", required=True, metavar="COMMAND")
    for command in COMMANDS:
        command.register(subparsers)
    return top


def main(argv: Sequence[str] | None = None) -> int:
    arguments = parser().parse_args(argv)
    try:
        result: int = arguments.run(arguments)
        return result
    except UserError as error:
        print(f"kinetrope: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
