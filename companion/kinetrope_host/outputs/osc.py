"""Frames as OSC over UDP, one bundle per frame (python-osc builds them).

Each bundle's timetag is the frame's due time (NTP time, from the wall clock),
so a receiver that schedules by timetag shows every frame at its instant, and
one that does not still gets all values of a frame at once. A bundle holds,
in this order (the prefix is /kinetrope unless set):

    <prefix>/pip        i      the whole pip the frame falls in (floor; 64 a beat);
                               h (64-bit) past the 32-bit range
    <prefix>/beat       f      song position in beats, fractional (pip / 64)
    <prefix>/bpm        f      the tempo the clock follows
    <prefix>/<pattern>  f f f  the pattern's x, y, z, each in [-1, 1], at the
                               fractional pip (interpolated between whole pips)
"""

from __future__ import annotations

import math
import socket

from pythonosc.osc_bundle_builder import OscBundleBuilder
from pythonosc.osc_message_builder import OscMessageBuilder

from kinetrope_host.errors import UserError
from kinetrope_host.frames import Frame

_INT32 = 2**31


def check_prefix(prefix: str) -> str:
    """The prefix without a trailing slash; it must be an OSC address part."""
    stripped = prefix.rstrip("/")
    if not stripped.startswith("/") or any(c in stripped for c in " #*,?[]{}"):
        raise UserError(f"OSC prefix must start with / and hold no space or any of #*,?[]{{}}: {prefix!r}")
    return stripped


def open_socket(host: str, port: int) -> tuple[socket.socket, tuple[str, int]]:
    """A UDP socket and the resolved address, or a `UserError` that says which
    of host and port is wrong."""
    if not 1 <= port <= 65535:
        raise UserError(f"OSC port must be 1 to 65535: {port}")
    try:
        family, kind, proto, _, address = socket.getaddrinfo(host, port, type=socket.SOCK_DGRAM)[0]
    except (socket.gaierror, UnicodeError) as error:
        raise UserError(f"cannot resolve OSC host {host!r}: {error}") from None
    sock = socket.socket(family, kind, proto)
    return sock, (str(address[0]), int(address[1]))


def bundle(frame: Frame, prefix: str) -> bytes:
    """One frame as the bytes of an OSC bundle, timetagged with the frame's due time."""
    builder = OscBundleBuilder(frame.wall_time)  # type: ignore[arg-type]  # python-osc takes a float time
    whole = math.floor(frame.pip)
    messages: list[tuple[str, list[tuple[float | int, str]]]] = [
        (f"{prefix}/pip", [(whole, "i" if -_INT32 <= whole < _INT32 else "h")]),
        (f"{prefix}/beat", [(frame.pip / 64.0, "f")]),
        (f"{prefix}/bpm", [(frame.bpm, "f")]),
    ]
    for name, (x, y, z) in frame.values.items():
        messages.append((f"{prefix}/{name}", [(x, "f"), (y, "f"), (z, "f")]))
    for address, arguments in messages:
        message = OscMessageBuilder(address)
        for value, kind in arguments:
            message.add_arg(value, kind)
        builder.add_content(message.build())
    return bytes(builder.build().dgram)


class OscSink:
    """Sends each frame as one bundle to `host`:`port`."""

    def __init__(self, host: str, port: int, prefix: str = "/kinetrope") -> None:
        self.prefix = check_prefix(prefix)
        self.socket, self.address = open_socket(host, port)
        self.sent = 0

    def send(self, frame: Frame) -> None:
        """Sends the frame's bundle; a failed send is a `UserError` naming the receiver."""
        try:
            self.socket.sendto(bundle(frame, self.prefix), self.address)
        except OSError as error:
            raise UserError(f"cannot send OSC to {self.address[0]}:{self.address[1]}: {error.strerror or error}") from None
        self.sent += 1

    def close(self) -> None:
        """Closes the socket."""
        self.socket.close()
