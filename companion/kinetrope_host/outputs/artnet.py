"""Art-Net: ArtDmx packets for each universe of a rig, and an ArtPollReply
to every ArtPoll heard, so that nodes and monitors list the sender."""

from __future__ import annotations

import array
import fcntl
import socket
import struct
import threading
from collections.abc import Sequence

from kinetrope_host.errors import UserError

ARTNET_PORT = 6454
#: Art-Net's port-address is 15 bits: net (7), sub-net (4), universe (4).
MAX_UNIVERSE = 0x7FFF
OP_POLL = 0x2000
OP_POLL_REPLY = 0x2100
_HEADER = b"Art-Net\x00"
_SIOCGIFADDR = 0x8915
_SIOCGIFNETMASK = 0x891B


def parse_target(text: str) -> tuple[str, int]:
    """HOST or HOST:PORT (Art-Net runs over IPv4), resolved now so that a
    typo fails before the show."""
    host, sep, port_text = text.partition(":")
    if not sep:
        port_text = str(ARTNET_PORT)
    if not host or ":" in port_text:
        raise UserError(f"Art-Net node must be HOST or HOST:PORT (IPv4): {text!r}")
    try:
        port = int(port_text)
    except ValueError:
        raise UserError(f"Art-Net port is not a number: {port_text!r}") from None
    if not 1 <= port <= 65535:
        raise UserError(f"Art-Net port must be 1 to 65535: {port}")
    try:
        infos = socket.getaddrinfo(host, port, socket.AF_INET, socket.SOCK_DGRAM)
    except (socket.gaierror, UnicodeError) as exc:
        raise UserError(f"cannot resolve Art-Net host {host!r}: {exc}") from None
    return str(infos[0][4][0]), port


class ArtNetTransport:
    """ArtDmx to one node (or a broadcast address), one sequence per universe
    running 1 to 255 (0 would tell receivers not to reorder by it)."""

    label = "Art-Net"

    def __init__(self, target: str, universes: Sequence[int], name: str = "kinetrope", answer_polls: bool = True) -> None:
        try:
            from stupidArtnet import StupidArtnet  # type: ignore[import-untyped, unused-ignore]
        except ImportError:
            raise UserError("Art-Net needs stupidArtnet: pip install 'kinetrope[artnet]'") from None
        for universe in universes:
            if not 0 <= universe <= MAX_UNIVERSE:
                raise UserError(f"Art-Net universe must be 0 to {MAX_UNIVERSE}: {universe!r}")
        self.host, self.port = parse_target(target)
        self.universes = sorted(set(universes))
        self._nodes = {}
        for universe in self.universes:
            # Broadcast allowed: nodes are often reached at a sub-net's broadcast address.
            node = StupidArtnet(self.host, 0, 512, even_packet_size=True, port=self.port, broadcast=True)
            # The full 15-bit port-address: net, sub-net and universe fields.
            node.set_simplified(False)
            node.set_net(universe >> 8)
            node.set_subnet((universe >> 4) & 0xF)
            node.set_universe(universe & 0xF)
            self._nodes[universe] = node
        self._sequence = dict.fromkeys(self.universes, 0)
        self.poll_replier = PollReplier(self.host, self.universes, name) if answer_polls else None

    def transmit(self, universe: int, data: bytes) -> None:
        """Send `data` as one ArtDmx packet to `universe`; raises OSError on failure."""
        # The library reports socket errors by printing them; send its
        # packet here so that a failure reaches the caller.
        node = self._nodes[universe]
        self._sequence[universe] = self._sequence[universe] % 255 + 1
        header = bytearray(node.packet_header)
        header[12] = self._sequence[universe]
        header[16:18] = struct.pack(">H", len(data))
        node.socket_client.sendto(bytes(header) + data, (self.host, self.port))

    def close(self) -> None:
        """Stop answering polls and close every universe's socket."""
        if self.poll_replier is not None:
            self.poll_replier.close()
        for node in self._nodes.values():
            node.close()


def _interface_of(address: str) -> tuple[str, str]:
    """The local IPv4 address and broadcast address of the interface that
    reaches `address` (Linux; the limited broadcast elsewhere)."""
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.connect((address, ARTNET_PORT))
        local = str(probe.getsockname()[0])
        for _index, name in socket.if_nameindex():
            request = array.array("B", struct.pack("256s", name.encode()[:15]))
            try:
                fcntl.ioctl(probe.fileno(), _SIOCGIFADDR, request)
                if socket.inet_ntoa(request.tobytes()[20:24]) != local:
                    continue
                fcntl.ioctl(probe.fileno(), _SIOCGIFNETMASK, request)
            except OSError:
                continue
            mask = struct.unpack(">I", request.tobytes()[20:24])[0]
            ip = struct.unpack(">I", socket.inet_aton(local))[0]
            return local, socket.inet_ntoa(struct.pack(">I", ip | (~mask & 0xFFFFFFFF)))
    return local, "255.255.255.255"


def poll_reply(local: str, universes: Sequence[int], name: str, bind_index: int) -> bytes:
    """An ArtPollReply naming this sender: a controller whose up to four
    input ports carry `universes` (all in one net and sub-net)."""
    net, subnet = universes[0] >> 8, (universes[0] >> 4) & 0xF
    ports = list(universes) + [0] * (4 - len(universes))
    packet = bytearray(239)
    packet[0:8] = _HEADER
    struct.pack_into("<H", packet, 8, OP_POLL_REPLY)
    packet[10:14] = socket.inet_aton(local)
    struct.pack_into("<H", packet, 14, ARTNET_PORT)
    struct.pack_into(">H", packet, 16, 1)  # firmware version
    packet[18], packet[19] = net, subnet
    struct.pack_into(">H", packet, 20, 0x00FF)  # OEM: unknown
    struct.pack_into("<H", packet, 24, 0x7FF0)  # ESTA code kept for prototypes
    short = name.encode("ascii", "replace")[:17]
    packet[26:26 + len(short)] = short
    long = name.encode("ascii", "replace")[:63]
    packet[44:44 + len(long)] = long
    report = f"#0001 [0000] {name} sending".encode("ascii", "replace")[:63]
    packet[108:108 + len(report)] = report
    struct.pack_into(">H", packet, 172, len(universes))
    for index, universe in enumerate(ports[:4]):
        if index < len(universes):
            packet[174 + index] = 0x40  # can input DMX512 onto Art-Net
            packet[178 + index] = 0x80  # data received
            packet[186 + index] = universe & 0xF
    packet[200] = 0x01  # StController: a desk, not a node
    packet[207:211] = socket.inet_aton(local)
    packet[211] = bind_index
    packet[212] = 0x08  # supports 15-bit port-addresses
    return bytes(packet)


class PollReplier:
    """Answers ArtPoll with ArtPollReply from its own thread. It listens on
    the broadcast address of the interface facing the node, where ArtPoll
    arrives, and never on the node's own address, so that a node running on
    this host keeps receiving its unicast ArtDmx."""

    def __init__(self, target: str, universes: Sequence[int], name: str) -> None:
        self.answered = 0
        self.error: OSError | None = None
        self._thread: threading.Thread | None = None
        try:
            self.local, self.broadcast = _interface_of(target)
        except OSError as exc:
            # No route to the node yet: the show's own sends will say so.
            self.error = exc
            return
        groups: dict[tuple[int, int], list[int]] = {}
        for universe in universes:
            groups.setdefault((universe >> 8, (universe >> 4) & 0xF), []).append(universe)
        chunks = [group[i:i + 4] for group in groups.values() for i in range(0, len(group), 4)]
        self.replies = [poll_reply(self.local, chunk, name, index + 1) for index, chunk in enumerate(chunks)]
        self._socket = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._socket.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        self._socket.settimeout(0.2)
        try:
            self._socket.bind((self.broadcast, ARTNET_PORT))
        except OSError as exc:
            # Another program holds the port exclusively: play on, silently.
            self.error = exc
            self._socket.close()
            return
        self._running = True
        self._thread = threading.Thread(target=self._run, name="artnet-poll-reply", daemon=True)
        self._thread.start()

    def _run(self) -> None:
        while self._running:
            try:
                packet, (host, _port) = self._socket.recvfrom(1024)
            except TimeoutError:
                continue
            except OSError:
                return
            if len(packet) >= 12 and packet[:8] == _HEADER and struct.unpack_from("<H", packet, 8)[0] == OP_POLL:
                for reply in self.replies:
                    try:
                        self._socket.sendto(reply, (host, ARTNET_PORT))
                    except OSError as exc:
                        self.error = exc
                        continue
                    self.answered += 1

    def close(self) -> None:
        """Stop the listening thread and close its socket; harmless if it never started."""
        if self._thread is not None:
            self._running = False
            self._thread.join()
            self._socket.close()
