"""sACN (E1.31): data packets built by the `sacn` package, sent by the
rig's steady sender to one host or to each universe's multicast group."""

from __future__ import annotations

import random
import socket
from collections.abc import Sequence
from typing import Any

from kinetrope_host.errors import UserError

SACN_PORT = 5568
MAX_UNIVERSE = 63999
DEFAULT_PRIORITY = 100
#: A stream ends with three packets marked terminated, as E1.31 asks.
TERMINATE_REPEATS = 3


class SacnTransport:
    """sACN data packets for each universe, sent unicast to `host` or to the
    universe's multicast group when no host is given."""

    label = "sACN"

    def __init__(self, universes: Sequence[int], host: str | None = None, priority: int = DEFAULT_PRIORITY,
                 name: str = "kinetrope", port: int = SACN_PORT) -> None:
        try:
            from sacn.messages.data_packet import (  # type: ignore[import-untyped, unused-ignore]
                DataPacket,
                calculate_multicast_addr,
            )
        except ImportError:
            raise UserError("sACN needs the sacn package: pip install 'kinetrope[sacn]'") from None
        if not 0 <= priority <= 200:
            raise UserError(f"sACN priority must be 0 to 200: {priority!r}")
        for universe in universes:
            if not 1 <= universe <= MAX_UNIVERSE:
                raise UserError(f"sACN universe must be 1 to {MAX_UNIVERSE}: {universe!r}")
        if len(name.encode("utf-8")) > 63:
            raise UserError("sACN source name must fit in 63 bytes")
        cid = tuple(random.getrandbits(8) for _ in range(16))
        self._packets: dict[int, Any] = {}
        self._targets: dict[int, tuple[str, int]] = {}
        for universe in sorted(set(universes)):
            self._packets[universe] = DataPacket(cid=cid, sourceName=name, universe=universe, priority=priority)
            address = _resolve(host) if host else calculate_multicast_addr(universe)
            self._targets[universe] = (address, port)
        self.multicast = host is None
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        if self.multicast:
            self._socket.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_TTL, 8)

    def transmit(self, universe: int, data: bytes) -> None:
        """Send `data` to `universe` in the next packet of its sequence; raises OSError on failure."""
        packet = self._packets[universe]
        packet.dmxData = tuple(data)
        self._send(universe, packet)

    def _send(self, universe: int, packet: Any) -> None:
        try:
            self._socket.sendto(bytes(packet.getBytes()), self._targets[universe])
        except OSError as exc:
            if self.multicast:
                raise OSError(exc.errno, f"{exc.strerror} (multicast; give --sacn-to HOST for unicast)") from None
            raise
        packet.sequence_increase()

    def close(self) -> None:
        """Mark each universe's stream terminated (ignoring send errors) and close the socket."""
        try:
            for universe, packet in self._packets.items():
                packet.option_StreamTerminated = True
                for _ in range(TERMINATE_REPEATS):
                    self._send(universe, packet)
        except OSError:
            pass  # the safe state already went out, or its error was reported
        finally:
            self._socket.close()


def _resolve(host: str) -> str:
    try:
        return str(socket.getaddrinfo(host, SACN_PORT, socket.AF_INET, socket.SOCK_DGRAM)[0][4][0])
    except (socket.gaierror, UnicodeError) as exc:
        raise UserError(f"cannot resolve sACN host {host!r}: {exc}") from None
