"""MIDI inputs for the clock follower: named ports (mido's rtmidi backend,
the `[midi]` extra) and mido socket ports (HOST:PORT), read with bounded
memory.

mido's own socket port keeps every byte of an unfinished SysEx, so a sender
stuck in one grows the reader without end; here a message longer than
MAX_MESSAGE_BYTES is dropped as it streams in, with one warning.
"""

from __future__ import annotations

import contextlib
import os
import re
import socket
import sys
import time
from collections.abc import Callable, Iterator
from typing import Any, TextIO

from kinetrope_host.clocks.midiclock import MAX_MESSAGE_BYTES
from kinetrope_host.errors import UserError

SYSEX_START = 0xF0
STATUS_BYTE = re.compile(rb"[\x80-\xff]")


def _mido() -> Any:
    try:
        import mido  # type: ignore[import-untyped, unused-ignore]
        import mido.tokenizer  # type: ignore[import-untyped, unused-ignore]
    except ImportError:
        raise UserError("following MIDI clock needs mido: pip install 'kinetrope[midi]'") from None
    return mido


CONNECT_PATIENCE = 3.0  # seconds a refused socket port is tried again
NO_RTMIDI = "no MIDI backend (No module named 'rtmidi'): pip install 'kinetrope[midi]'"
NO_SYSTEM = "no MIDI system answered (no ALSA sequencer, no JACK server running)"
_probed: list[str] = []  # the rtmidi API chosen, or why there is none


def _named_ports() -> tuple[Any, str]:
    """mido with a backend that works here, and "" or why there is none.

    rtmidi's default on Linux is ALSA, which fails outright on a machine
    without a sequencer (a container, a JACK-only rig): the first rtmidi API
    that opens is taken instead. MIDO_BACKEND, when set, decides."""
    mido = _mido()
    if os.environ.get("MIDO_BACKEND"):
        return mido, ""
    if not _probed:
        _probed.append(_probe(mido))
    return mido, _probed[0] if _probed[0] in (NO_RTMIDI, NO_SYSTEM) else ""


def _probe(mido: Any) -> str:
    try:
        import rtmidi  # type: ignore[import-not-found, import-untyped, unused-ignore]
    except ImportError:
        return NO_RTMIDI
    names = {getattr(rtmidi, name): name.removeprefix("API_") for name in dir(rtmidi) if name.startswith("API_")}
    with _native_stderr_silenced():  # ALSA and JACK print their failures to the terminal
        for api in rtmidi.get_compiled_api():
            try:
                rtmidi.MidiIn(rtapi=api).delete()
            except Exception:
                continue
            mido.set_backend(f"mido.backends.rtmidi/{names[api]}", load=True)
            return names[api]
    return NO_SYSTEM


@contextlib.contextmanager
def _native_stderr_silenced() -> Iterator[None]:
    sys.stderr.flush()
    saved = os.dup(2)
    quiet = os.open(os.devnull, os.O_WRONLY)
    try:
        os.dup2(quiet, 2)
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)
        os.close(quiet)


def backend_name() -> str:
    """The MIDI backend in use, as mido names it, or why there is none."""
    mido, missing = _named_ports()
    if missing:
        return missing
    try:
        return str(mido.backend.name) + (f"/{mido.backend.api}" if mido.backend.api else "")
    except ImportError as error:
        return f"none ({error}): pip install 'kinetrope[midi]'"


class SocketInput:
    """A mido socket port read in chunks through mido's tokenizer, dropping
    any message that grows past MAX_MESSAGE_BYTES."""

    def __init__(self, host: str, port: int) -> None:
        self.mido = _mido()
        self.name = f"{host}:{port}"
        self.socket = socket.create_connection((host, port), timeout=10)
        self.socket.settimeout(None)
        self.tokenizer = self.mido.tokenizer.Tokenizer()
        self.on_drop: Callable[[], None] = lambda: None
        self.closed = False

    def __iter__(self) -> Iterator[Any]:
        tokenizer = self.tokenizer
        skipping = False  # inside a message too long to keep
        while True:
            chunk = self.socket.recv(65536)
            if not chunk:
                return
            while chunk:
                if skipping:
                    found = STATUS_BYTE.search(chunk)
                    if found is None:
                        break
                    start = found.start()
                    # A clock tick inside a SysEx is still a tick; any other status ends the skip.
                    skipping = chunk[start] >= 0xF8
                    piece, chunk = (chunk[start:start + 1], chunk[start + 1:]) if skipping else (b"", chunk[start:])
                else:
                    piece, chunk = chunk[:MAX_MESSAGE_BYTES], chunk[MAX_MESSAGE_BYTES:]
                tokenizer.feed(piece)
                yield from self._parsed()
                if tokenizer._status == SYSEX_START and len(tokenizer._bytes) > MAX_MESSAGE_BYTES:
                    tokenizer._status, tokenizer._bytes = 0, []
                    skipping = True
                    self.on_drop()

    def _parsed(self) -> Iterator[Any]:
        for data in self.tokenizer:
            try:
                yield self.mido.Message.from_bytes(data)
            except ValueError:
                pass

    def close(self) -> None:
        """Shut the connection down, which also ends a read in progress."""
        self.closed = True
        try:
            self.socket.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.socket.close()


def bounded_messages(port: Any, on_drop: Callable[[], None], warn: TextIO) -> Iterator[Any]:
    """The messages of `port`, without those longer than MAX_MESSAGE_BYTES;
    the first one dropped is reported on `warn`."""
    warned = False

    def dropped() -> None:
        nonlocal warned
        on_drop()
        if not warned:
            warned = True
            print(f"kinetrope: dropped a MIDI message longer than {MAX_MESSAGE_BYTES} bytes (SysEx); "
                  "further ones are dropped silently", file=warn, flush=True)

    if isinstance(port, SocketInput):
        port.on_drop = dropped
        yield from port
        return
    for message in port:
        if len(message.bin()) > MAX_MESSAGE_BYTES:
            dropped()
        else:
            yield message


def _connect(name: str, host: str, port: int) -> SocketInput:
    # A refusal may come from a source started a moment ago (`source & kinetrope
    # play ...`): keep knocking for a while before giving up.
    give_up = time.monotonic() + CONNECT_PATIENCE
    while True:
        try:
            return SocketInput(host, port)
        except ConnectionRefusedError as error:
            if time.monotonic() >= give_up:
                raise UserError(f"cannot connect to MIDI socket port {name}: {error.strerror}") from None
            time.sleep(0.1)
        except OSError as error:
            raise UserError(f"cannot connect to MIDI socket port {name}: {error.strerror or error}") from None


def open_clock_input(name: str) -> Any:
    """A mido input for `name`: HOST:PORT connects to a mido socket port (as
    `mido-serve` offers one), anything else opens the named MIDI input.
    `UserError` for a port that does not exist or does not answer."""
    _mido()
    host, colon, number = name.rpartition(":")
    if colon and number.isdigit():
        port_number = int(number)
        if not 1 <= port_number <= 65535:
            raise UserError(f"MIDI socket port must be 1 to 65535: {name}")
        return _connect(name, host or "127.0.0.1", port_number)
    mido, missing = _named_ports()
    if missing:
        raise UserError(f"{missing}: {name} (HOST:PORT reaches a mido socket port)")
    try:
        with _native_stderr_silenced():
            return mido.open_input(name)
    except (OSError, ImportError, ModuleNotFoundError) as error:
        known = input_names()
        listing = f"; inputs: {', '.join(known)}" if known else "; no MIDI inputs found (HOST:PORT reaches a socket port)"
        reason = "no such MIDI input" if isinstance(error, OSError) else f"no MIDI backend ({error})"
        raise UserError(f"{reason}: {name}{listing}") from None


def input_names() -> list[str]:
    """The MIDI inputs the backend can open; empty without mido or a working backend."""
    return _names("get_input_names")


def output_names() -> list[str]:
    """The MIDI outputs the backend can open; empty without mido or a working backend."""
    return _names("get_output_names")


def _names(getter: str) -> list[str]:
    mido, missing = _named_ports()
    if missing:
        return []
    try:
        with _native_stderr_silenced():
            return list(getattr(mido, getter)())
    except Exception:
        return []
