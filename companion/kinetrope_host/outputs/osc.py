"""Frames as OSC over UDP, one bundle per frame (python-osc builds them).

Each bundle's timetag is the frame's due time (NTP time, from the wall clock),
so a receiver that schedules by timetag shows every frame at its instant, and
one that does not still gets all values of a frame at once. A frame that does
not fit one UDP payload of MAX_PAYLOAD bytes (what passes an Ethernet link
unfragmented) goes out as several bundles with the same timetag, the first
holding pip, beat and bpm. A frame holds, in this order (the prefix is
/kinetrope unless set):

    <prefix>/pip        i      the whole pip the frame falls in (64 a beat), exactly:
                               2044 at beat 31.9375 even when the float pip is
                               2043.9999999999998; h (64-bit) past the 32-bit range
    <prefix>/beat       f      song position in beats, fractional (pip / 64)
    <prefix>/bpm        f      the tempo the clock follows
    <prefix>/<pattern>  f f f  the pattern's x, y, z, each in [-1, 1], at the
                               fractional pip (interpolated between whole pips)
"""

from __future__ import annotations

import math
import socket
from fractions import Fraction

from pythonosc.osc_bundle_builder import OscBundleBuilder
from pythonosc.osc_message import OscMessage
from pythonosc.osc_message_builder import OscMessageBuilder

from kinetrope_host.errors import UserError
from kinetrope_host.frames import Frame

_INT32 = 2**31
MAX_PAYLOAD = 1472  # bytes: a 1,500-byte Ethernet frame less the IP and UDP headers
BUNDLE_HEADER = 16  # "#bundle", a NUL and the 8-byte timetag
EXACT_DENOMINATOR = 1 << 16  # pips are known to far finer than this; float rounding is far below it


def whole_pip(pip: float) -> int:
    """The whole pip `pip` falls in, taking it as the nearest fraction of a
    small denominator first, so float rounding just below a whole pip
    (2043.9999999999998 for 2044) does not give the pip before."""
    return math.floor(Fraction(pip).limit_denominator(EXACT_DENOMINATOR))


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


def messages(frame: Frame, prefix: str) -> list[OscMessage]:
    """The frame's OSC messages, each encoded, in bundle order."""
    whole = whole_pip(frame.pip)
    parts: list[tuple[str, list[tuple[float | int, str]]]] = [
        (f"{prefix}/pip", [(whole, "i" if -_INT32 <= whole < _INT32 else "h")]),
        (f"{prefix}/beat", [(frame.pip / 64.0, "f")]),
        (f"{prefix}/bpm", [(frame.bpm, "f")]),
    ]
    for name, (x, y, z) in frame.values.items():
        parts.append((f"{prefix}/{name}", [(x, "f"), (y, "f"), (z, "f")]))
    encoded = []
    for address, arguments in parts:
        message = OscMessageBuilder(address)
        for value, kind in arguments:
            message.add_arg(value, kind)
        encoded.append(message.build())
    return encoded


def _bundle(frame: Frame, contents: list[OscMessage]) -> bytes:
    builder = OscBundleBuilder(frame.wall_time)  # type: ignore[arg-type]  # python-osc takes a float time
    for content in contents:
        builder.add_content(content)
    return bytes(builder.build().dgram)


def bundle(frame: Frame, prefix: str) -> bytes:
    """The whole frame as one bundle, however long."""
    return _bundle(frame, list(messages(frame, prefix)))


def bundles(frame: Frame, prefix: str, limit: int = MAX_PAYLOAD) -> list[bytes]:
    """The frame as bundles of at most `limit` bytes each (a message too long
    for any goes alone), all with the frame's timetag."""
    groups: list[list[OscMessage]] = [[]]
    size = BUNDLE_HEADER
    for message in messages(frame, prefix):
        length = 4 + message.size  # each element is preceded by its size
        if groups[-1] and size + length > limit:
            groups.append([])
            size = BUNDLE_HEADER
        groups[-1].append(message)
        size += length
    return [_bundle(frame, group) for group in groups]


class OscSink:
    """Sends each frame as bundles of at most MAX_PAYLOAD bytes to `host`:`port`."""

    def __init__(self, host: str, port: int, prefix: str = "/kinetrope") -> None:
        self.prefix = check_prefix(prefix)
        self.socket, self.address = open_socket(host, port)
        self.sent = 0

    def send(self, frame: Frame) -> None:
        """Sends the frame's bundle; a failed send is a `UserError` naming the receiver."""
        try:
            for datagram in bundles(frame, self.prefix):
                self.socket.sendto(datagram, self.address)
        except OSError as error:
            raise UserError(f"cannot send OSC to {self.address[0]}:{self.address[1]}: {error.strerror or error}") from None
        self.sent += 1

    def close(self) -> None:
        """Closes the socket."""
        self.socket.close()
