"""The `kinetrope` command: list, show, play and export the built-in patterns."""

from __future__ import annotations

import argparse
import importlib.metadata
import os
import signal
import sys
from collections.abc import Sequence
from pathlib import Path
from typing import NoReturn

from kinetrope_host.commands import export as export_command
from kinetrope_host.commands import groove as groove_command
from kinetrope_host.commands import list as list_command
from kinetrope_host.commands import play as play_command
from kinetrope_host.commands import ports as ports_command
from kinetrope_host.commands import show as show_command
from kinetrope_host.errors import UserError

# Each module adds its subcommand through register(subparsers).
COMMANDS = [list_command, show_command, play_command, export_command, groove_command, ports_command]


class Parser(argparse.ArgumentParser):
    """Reports a bad argument as one line (usage is one --help away)."""

    def error(self, message: str) -> NoReturn:
        """Exits with status 2 after one line naming the command and the mistake."""
        self.exit(2, f"{self.prog}: {message}\n")


def versions() -> str:
    """`kinetrope X (module Y, FILE)`: the installed package's version and
    that of the package the extension module on the path came with, which
    differ when, say, a build tree's module shadows the installed one."""
    import kinetrope

    module_file = Path(kinetrope.__file__ or "").resolve()
    try:
        package = importlib.metadata.distribution("kinetrope")
    except importlib.metadata.PackageNotFoundError:
        return f"kinetrope: not installed (module {module_file})"
    owned = any(Path(str(package.locate_file(f))).resolve() == module_file for f in package.files or ())
    module = package.version if owned else "not the installed one"
    return f"kinetrope {package.version} (module {module}, {module_file})"


def parser() -> argparse.ArgumentParser:
    """The command's argument parser, every subcommand registered."""
    # Raw text keeps the version line whole, however narrow the terminal.
    top = Parser(prog="kinetrope", description="Movement patterns in time with music.",
                 formatter_class=argparse.RawDescriptionHelpFormatter)
    top.add_argument("--version", action="version", version=versions())
    subparsers = top.add_subparsers(dest="command", required=True, metavar="COMMAND")
    for command in COMMANDS:
        command.register(subparsers)
    return top


def _quiet_closed_pipe() -> int:
    # The reader went away (`kinetrope list | head`): nothing more can be
    # shown, so end as a Unix tool killed by SIGPIPE would, without a trace.
    # stdout is pointed at /dev/null so the interpreter's last flush is silent.
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, sys.stdout.fileno())
    return 128 + signal.SIGPIPE


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command on `argv` (default: the process's arguments) and
    returns its exit status."""
    try:
        arguments = parser().parse_args(argv)
        result: int = arguments.run(arguments)
        sys.stdout.flush()
        return result
    except UserError as error:
        print(f"kinetrope: {error}", file=sys.stderr)
        return 1
    except KeyboardInterrupt:
        return 130
    except BrokenPipeError:
        return _quiet_closed_pipe()
