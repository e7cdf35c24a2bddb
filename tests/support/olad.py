"""The Open Lighting Architecture daemon as the receiver of another make:
started as an unprivileged user, with its own config directory, in a network
namespace made for the test (a veth pair, so its Art-Net and E1.31 plugins
find an interface, and no other sender on the machine shares its ports).

Universes come back through `ola_recorder`; every UDP packet sent in the
namespace is also captured (AF_PACKET, outgoing only, so each once) to read
Art-Net and sACN sequence numbers, which olad does not report."""

import itertools
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

ADDRESS = "10.77.0.1"
_names = itertools.count()
_DISABLED = ("dummy", "espnet", "gpio", "karate", "kinet", "milinst", "opendmx", "openpixelcontrol", "osc",
             "pathport", "renard", "sandnet", "shownet", "spi", "stageprofi", "usbserial", "usbdmx", "ftdidmx",
             "uartdmx")

CAPTURE = r'''
import json, socket, struct, sys, time
sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
sock.settimeout(0.2)
out = open(sys.argv[1], "w", buffering=1)
end = time.monotonic() + float(sys.argv[2])
print("ready", flush=True)
while time.monotonic() < end:
    try:
        frame, where = sock.recvfrom(65535)
    except socket.timeout:
        continue
    if where[2] != socket.PACKET_OUTGOING or frame[12:14] != b"\x08\x00" or frame[23] != 17:
        continue
    ihl = (frame[14] & 15) * 4
    udp = 14 + ihl
    sport, dport = struct.unpack(">HH", frame[udp:udp + 4])
    src, dst = socket.inet_ntoa(frame[26:30]), socket.inet_ntoa(frame[30:34])
    out.write(json.dumps([time.monotonic(), src, dst, sport, dport, frame[udp + 8:].hex()]) + "\n")
'''


def _run(*command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, timeout=30, **kwargs)


class Olad:
    def __init__(self, tmp_path: Path):
        for tool in ("olad", "ola_patch", "ola_recorder", "ola_dev_info", "ip", "setpriv"):
            if shutil.which(tool) is None:
                pytest.skip(f"{tool} is not installed (apt-get install ola iproute2)")
        if os.geteuid() != 0:
            pytest.skip("making a network namespace needs root")
        self.namespace = f"kt{os.getpid()}x{next(_names)}"
        self.dir = tmp_path / "ola"
        self.dir.mkdir()
        self.process = None
        _run("ip", "netns", "add", self.namespace)
        try:
            for command in (["ip", "link", "set", "lo", "up"],
                            ["ip", "link", "add", "v0", "type", "veth", "peer", "name", "v1"],
                            ["ip", "addr", "add", f"{ADDRESS}/24", "brd", "+", "dev", "v0"],
                            ["ip", "link", "set", "v0", "up"], ["ip", "link", "set", "v1", "up"],
                            ["ip", "route", "add", "239.0.0.0/8", "dev", "v0"]):
                _run(*self.inside(command))
            self._start()
        except BaseException:
            self.stop()
            raise

    def inside(self, command):
        return ["ip", "netns", "exec", self.namespace, *map(str, command)]

    def _start(self):
        for plugin in _DISABLED:
            (self.dir / f"ola-{plugin}.conf").write_text("enabled = false\n")
        (self.dir / "ola-artnet.conf").write_text(f"enabled = true\nip = {ADDRESS}\n")
        (self.dir / "ola-e131.conf").write_text(f"enabled = true\nip = {ADDRESS}\n")
        shutil.chown(self.dir, "nobody")
        for path in self.dir.iterdir():
            shutil.chown(path, "nobody")
        self.log = self.dir / "olad.log"
        with open(self.log, "w") as log:
            self.process = subprocess.Popen(self.inside(
                ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "olad", "--config-dir",
                 self.dir, "--no-http", "--no-register-with-dns-sd", "-l", "4"]), stdout=log, stderr=log)
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            listing = subprocess.run(self.inside(["ola_dev_info"]), check=False, capture_output=True, text=True).stdout
            self.devices = {name: int(number) for number, name in re.findall(r"Device (\d+): (ArtNet|E1\.31)", listing)}
            if len(self.devices) == 2:
                return
            time.sleep(0.2)
        raise AssertionError(f"olad did not come up: {self.log.read_text()[-2000:]}")

    def patch(self, protocol, port, universe, output=False):
        device = self.devices["ArtNet" if protocol == "artnet" else "E1.31"]
        _run(*self.inside(["ola_patch", "-d", device, "-p", port, "-u", universe] + ([] if output else ["-i"])))

    def record(self, universes, seconds):
        """Starts ola_recorder and a packet capture; `finish()` on the
        returned Recording gives back what they saw."""
        return Recording(self, universes, seconds)

    def python(self, code, *args, **kwargs):
        """Runs Python code inside the namespace, with this companion."""
        env = {**os.environ, "PYTHONPATH": os.environ.get("PYTHONPATH", str(Path(__file__).parents[2] / "companion"))}
        return subprocess.Popen(self.inside([sys.executable, "-c", code, *args]), env=env, text=True,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)

    def kinetrope(self, *args, **kwargs):
        return self.python("import sys; from kinetrope_host.cli import main; sys.exit(main())", *args, **kwargs)

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        subprocess.run(["ip", "netns", "del", self.namespace], check=False, capture_output=True)


class Recording:
    def __init__(self, olad, universes, seconds):
        self.show = olad.dir / f"show{next(_names)}"
        self.packets = olad.dir / f"packets{next(_names)}"
        self.recorder = subprocess.Popen(olad.inside(
            ["ola_recorder", "-r", self.show, "-u", ",".join(map(str, universes))]),
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        self.capture = subprocess.Popen(olad.inside([sys.executable, "-c", CAPTURE, self.packets, seconds]),
                                        stdout=subprocess.PIPE, text=True)
        assert self.capture.stdout.readline().strip() == "ready"
        self.until = time.monotonic() + seconds
        time.sleep(0.5)  # the recorder registers with olad

    def wait_for_bytes(self, size, timeout):
        """Waits until the recorder has written `size` bytes of its show (or `timeout` seconds)."""
        give_up = time.monotonic() + timeout
        while time.monotonic() < give_up and (not self.show.exists() or self.show.stat().st_size < size):
            time.sleep(0.05)

    def finish(self):
        """[(seconds, universe, bytes)] as olad got them, and the captured
        UDP packets [(seconds, src, dst, sport, dport, payload)]."""
        self.capture.communicate(timeout=60)
        time.sleep(max(0.0, self.until - time.monotonic()))
        # The recorder writes its show out when interrupted.
        self.recorder.send_signal(signal.SIGINT)
        self.recorder.communicate(timeout=30)
        frames = []
        at = 0.0
        lines = self.show.read_text().splitlines()[1:]
        for line in lines:
            if " " in line:
                universe, data = line.split(" ", 1)
                frames.append((at, int(universe), [int(v) for v in data.split(",")]))
            else:
                at += int(line) / 1000
        packets = []
        for line in self.packets.read_text().splitlines():
            t, src, dst, sport, dport, payload = json.loads(line)
            packets.append((t, src, dst, sport, dport, bytes.fromhex(payload)))
        return frames, packets
