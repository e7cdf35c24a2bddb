"""DMX send steadiness: frames at 40 a second for 30 s, each run.

A plain UDP socket on 127.0.0.1 timestamps every packet as it arrives
(loopback adds microseconds at most). Four senders, one after the other:
  * artnet: kinetrope_host's rig sink over Art-Net, fed new frames faster
    than it sends;
  * naive: the Art-Net library's packets sent by a loop that sleeps one
    period after each send (the library's own timer works this way), the
    reference for Art-Net;
  * sacn: the same rig sink over sACN;
  * sacn-lib: the sacn package's own sender thread at the same rate, the
    reference for sACN.
Jitter is each interval's distance from the period; drift is how far the
last packet lands from where the steady grid puts it.
"""
import argparse
import socket
import statistics
import threading
import time

from kinetrope_host.frames import Frame
from kinetrope_host.outputs.artnet import ArtNetTransport
from kinetrope_host.outputs.dmx import DmxSink, Transport
from kinetrope_host.outputs.sacn import SacnTransport
from kinetrope_host.rig.patch import rig_from_fixtures

HEAD = "start=1,pan=1,pan_fine=2,tilt=3,tilt_fine=4,pan_range=540,tilt_range=270"


class Listener:
    def __init__(self) -> None:
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.arrivals: list[float] = []
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self) -> None:
        while self.running:
            try:
                self.sock.recv(1024)
            except TimeoutError:
                continue
            self.arrivals.append(time.perf_counter())

    def stop(self) -> list[float]:
        self.running = False
        self.thread.join()
        self.sock.close()
        return self.arrivals


def report(label: str, arrivals: list[float], rate: float) -> None:
    period = 1.0 / rate
    intervals = [b - a for a, b in zip(arrivals, arrivals[1:])]
    jitter = sorted(abs(i - period) * 1e3 for i in intervals)
    drift = (arrivals[-1] - arrivals[0] - (len(arrivals) - 1) * period) * 1e3
    p99 = jitter[int(0.99 * (len(jitter) - 1))]
    print(
        f"{label:>8}: {len(arrivals)} packets, {(len(arrivals) - 1) / (arrivals[-1] - arrivals[0]):6.2f}/s, "
        f"jitter median {statistics.median(jitter):6.3f} ms, p99 {p99:6.3f} ms, worst {jitter[-1]:6.3f} ms, "
        f"drift {drift:+8.1f} ms"
    )


def run_sink(seconds: float, rate: float, protocol: str) -> list[float]:
    listener = Listener()
    heads = rig_from_fixtures([HEAD], None, 1, 1)
    transport: Transport
    if protocol == "artnet":
        transport = ArtNetTransport(f"127.0.0.1:{listener.port}", [1], answer_polls=False)
    else:
        transport = SacnTransport([1], "127.0.0.1", port=listener.port)
    sink = DmxSink(transport, heads, ["bounce"], rate=rate)
    end = time.perf_counter() + seconds
    while time.perf_counter() < end:
        # A host playing at 60 fps: more frames than DMX carries.
        sink.send(Frame(seconds=0.0, pip=(time.perf_counter() - end) * 128, values={}))
        time.sleep(1 / 60)
    # The steady stream only: the safe state and sACN's stream end that
    # closing sends come in a burst on purpose.
    time.sleep(0.1)
    arrivals = listener.stop()
    sink.close()
    return arrivals


def run_naive(seconds: float, rate: float) -> list[float]:
    from stupidArtnet import StupidArtnet

    listener = Listener()
    node = StupidArtnet("127.0.0.1", 0, 8, fps=int(rate), port=listener.port)
    end = time.perf_counter() + seconds
    while time.perf_counter() < end:
        node.show()
        time.sleep(1 / rate)
    node.close()
    time.sleep(0.1)
    return listener.stop()


def run_sacn_library(seconds: float, rate: float) -> list[float]:
    import sacn

    listener = Listener()
    sender = sacn.sACNsender(bind_address="127.0.0.1", bind_port=0, fps=int(rate), universeDiscovery=False)
    sender.start()
    sender.activate_output(1)
    sender[1].destination = "127.0.0.1"
    # The library sends to 5568 only; point its socket at the listener.
    socket_impl = sender._sender_handler.socket
    socket_impl._socket = _Redirect(socket_impl._socket, listener.port)
    end = time.perf_counter() + seconds
    value = 0
    while time.perf_counter() < end:
        value = (value + 1) % 256
        sender[1].dmx_data = (value, 0, 0, 0)
        time.sleep(1 / 60)
    sender.stop()
    time.sleep(0.1)
    return listener.stop()


class _Redirect:
    def __init__(self, inner: socket.socket, port: int) -> None:
        self.inner, self.port = inner, port

    def sendto(self, data: bytes, address: tuple[str, int]) -> int:
        return self.inner.sendto(data, (address[0], self.port))

    def __getattr__(self, name: str) -> object:
        return getattr(self.inner, name)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--rate", type=float, default=40.0)
    args = parser.parse_args()
    print(f"{args.rate:g} frames a second for {args.seconds:g} s, period {1e3 / args.rate:.3f} ms")
    report("artnet", run_sink(args.seconds, args.rate, "artnet"), args.rate)
    report("naive", run_naive(args.seconds, args.rate), args.rate)
    report("sacn", run_sink(args.seconds, args.rate, "sacn"), args.rate)
    report("sacn-lib", run_sacn_library(args.seconds, args.rate), args.rate)


if __name__ == "__main__":
    main()
