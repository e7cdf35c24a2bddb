"""Art-Net send steadiness: frames at 40 a second for 30 s, each run.

A plain UDP socket on 127.0.0.1 timestamps every packet as it arrives
(loopback adds microseconds at most). Two senders, one after the other:
  * sink: kinetrope_host's ArtNetSink, fed new frames faster than it sends;
  * naive: the Art-Net library's packets sent by a loop that sleeps one
    period after each send (the library's own timer works this way), the
    reference.
Jitter is each interval's distance from the period; drift is how far the
last packet lands from where the steady grid puts it.
"""
import argparse
import socket
import statistics
import threading
import time

from kinetrope_host.frames import Frame
from kinetrope_host.outputs.artnet import ArtNetSink, parse_fixture

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
            except socket.timeout:
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
        f"{label:>6}: {len(arrivals)} packets, {(len(arrivals) - 1) / (arrivals[-1] - arrivals[0]):6.2f}/s, "
        f"jitter median {statistics.median(jitter):6.3f} ms, p99 {p99:6.3f} ms, worst {jitter[-1]:6.3f} ms, "
        f"drift {drift:+8.1f} ms"
    )


def run_sink(seconds: float, rate: float) -> list[float]:
    listener = Listener()
    sink = ArtNetSink(f"127.0.0.1:{listener.port}", ["bounce"], parse_fixture(HEAD), rate=rate)
    end = time.perf_counter() + seconds
    while time.perf_counter() < end:
        # A host playing at 60 fps: more frames than DMX carries.
        sink.send(Frame(seconds=0.0, pip=0.0, values={"bounce": (0.1, 0.2, 0.0)}))
        time.sleep(1 / 60)
    sink.close()
    time.sleep(0.1)
    return listener.stop()


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


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--rate", type=float, default=40.0)
    args = parser.parse_args()
    print(f"{args.rate:g} frames a second for {args.seconds:g} s, period {1e3 / args.rate:.3f} ms")
    report("sink", run_sink(args.seconds, args.rate), args.rate)
    report("naive", run_naive(args.seconds, args.rate), args.rate)


if __name__ == "__main__":
    main()
