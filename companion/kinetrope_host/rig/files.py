"""Reading text files a user names (fixtures, rigs, drum scores): only
regular files, at most `MAX_BYTES`, and every fault one `UserError` line."""

from __future__ import annotations

import json
import os
import stat
import sys
from pathlib import Path
from typing import Any

from kinetrope_host.errors import UserError

#: The largest Open Fixture Library definition is about 300 kB.
MAX_BYTES = 4 * 1024 * 1024


def shown(text: str) -> str:
    """`text` for a one-line message: quoted when it holds a line break or
    another control character."""
    return text if text.isprintable() else repr(text)


def read_text(path: Path, what: str) -> str:
    """The file's text; `what` ("fixture F") prefixes every complaint."""
    try:
        # Non-blocking, so that a FIFO cannot hang the open; checked again
        # on the open descriptor so that a swapped path cannot slip past.
        descriptor = os.open(path, os.O_RDONLY | os.O_NONBLOCK)
    except OSError as exc:
        raise UserError(f"{what}: cannot read: {exc.strerror or exc}") from None
    if not stat.S_ISREG(os.fstat(descriptor).st_mode):
        os.close(descriptor)
        raise UserError(f"{what}: not a regular file")
    with os.fdopen(descriptor, "rb") as handle:
        try:
            data = handle.read(MAX_BYTES + 1)
        except OSError as exc:
            raise UserError(f"{what}: cannot read: {exc.strerror or exc}") from None
    if len(data) > MAX_BYTES:
        raise UserError(f"{what}: larger than {MAX_BYTES // (1024 * 1024)} MiB")
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError as exc:
        raise UserError(f"{what}: not UTF-8 text (byte {exc.start})") from None


def _refuse_constant(name: str) -> Any:
    raise ValueError(f"{name} is not a number JSON allows")


def load_document(path: Path, what: str) -> Any:
    """A JSON document, or TOML for a `.toml` file."""
    text = read_text(path, what)
    try:
        if path.suffix.lower() == ".toml":
            if sys.version_info >= (3, 11):
                import tomllib
            else:  # pragma: no cover - the oldest interpreters
                import tomli as tomllib
            return tomllib.loads(text)
        return json.loads(text, parse_constant=_refuse_constant)
    except RecursionError:
        raise UserError(f"{what}: nested too deeply") from None
    except ValueError as exc:  # JSONDecodeError and TOMLDecodeError are ValueErrors
        kind = "TOML" if path.suffix.lower() == ".toml" else "JSON"
        raise UserError(f"{what}: not {kind}: {exc}") from None
