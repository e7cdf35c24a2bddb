"""A file appears whole or not at all.

The output is written to a temporary file beside it and renamed onto it once
complete, so a reader never sees half a file and a failed export leaves the
earlier file as it was. The temporary file is removed on any failure, on
Ctrl-C and on SIGTERM or SIGHUP (a closed terminal, a stopped job).
"""

from __future__ import annotations

import os
import signal
import stat
import tempfile
import threading
from collections.abc import Iterator
from contextlib import contextmanager
from pathlib import Path
from types import FrameType
from typing import IO, Any

from kinetrope_host.errors import UserError

_CAUGHT = ("SIGTERM", "SIGHUP")


def target_of(out: str | os.PathLike[str]) -> Path:
    """The regular file `out` names, after its symbolic links (a link is
    written through to its target); `UserError` for an output that cannot be
    a file we replace."""
    name = os.fspath(out)
    if name.endswith(os.sep):
        raise UserError(f"cannot write {name}: a file name cannot end in {os.sep}")
    target = Path(os.path.realpath(name))
    try:
        mode = os.stat(target).st_mode
    except FileNotFoundError:
        mode = None
    except OSError as exc:
        raise UserError(f"cannot write {name}: {exc.strerror or exc}") from None
    if mode is not None and not stat.S_ISREG(mode):
        raise UserError(f"cannot write {name}: it is {_kind(mode)}, not a regular file")
    folder = target.parent
    if not folder.is_dir():
        raise UserError(f"cannot write {name}: there is no directory {folder}")
    if not os.access(folder, os.W_OK | os.X_OK):
        raise UserError(f"cannot write {name}: no new file can be made in {folder}")
    return target


def _kind(mode: int) -> str:
    if stat.S_ISDIR(mode):
        return "a directory"
    if stat.S_ISFIFO(mode):
        return "a FIFO"
    if stat.S_ISCHR(mode) or stat.S_ISBLK(mode):
        return "a device"
    if stat.S_ISSOCK(mode):
        return "a socket"
    return "not a regular file"


class _Signalled(BaseException):
    def __init__(self, signum: int) -> None:
        super().__init__(signum)
        self.signum = signum


def _raise_signalled(signum: int, _frame: FrameType | None) -> None:
    raise _Signalled(signum)


def _catch_signals() -> dict[int, Any]:
    """Turn SIGTERM and SIGHUP into an exception while the file is written,
    so the cleanup runs; a signal the process ignores stays ignored."""
    if threading.current_thread() is not threading.main_thread():
        return {}
    previous: dict[int, Any] = {}
    for name in _CAUGHT:
        number = getattr(signal, name, None)
        if number is None:  # pragma: no cover - every POSIX system has both
            continue
        handler = signal.getsignal(number)
        if handler is signal.SIG_IGN:
            continue
        previous[number] = signal.signal(number, _raise_signalled)
    return previous


def _mode_for(target: Path) -> int:
    try:
        return os.stat(target).st_mode & 0o7777
    except FileNotFoundError:
        umask = os.umask(0)
        os.umask(umask)
        return 0o666 & ~umask


@contextmanager
def replaced_whole(target: Path) -> Iterator[IO[bytes]]:
    """A temporary file beside `target` (from `target_of`), renamed onto it
    when the block ends without an exception. An existing file keeps its
    mode. After a caught signal the signal is raised again once the
    temporary file is gone, so the process ends as that signal says."""
    previous = _catch_signals()
    try:
        try:
            fd, temp_name = tempfile.mkstemp(dir=target.parent, prefix=f".{target.name}.", suffix=".part")
        except OSError as exc:
            raise UserError(f"cannot write {target}: no file can be made in {target.parent} ({exc.strerror or exc})") from None
        try:
            with os.fdopen(fd, "wb") as handle:
                yield handle
            os.chmod(temp_name, _mode_for(target))
            os.replace(temp_name, target)
        except BaseException as exc:
            try:
                os.unlink(temp_name)
            except FileNotFoundError:
                pass
            if isinstance(exc, OSError):
                raise UserError(f"cannot write {target}: {exc.strerror or exc}") from None
            raise
        finally:
            for number, handler in previous.items():
                signal.signal(number, handler)
    except _Signalled as caught:
        signal.raise_signal(caught.signum)
        raise SystemExit(128 + caught.signum) from None
