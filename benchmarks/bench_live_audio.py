"""Live beat following in real time: steady drum tracks played into a JACK
server with the dummy driver, `kinetrope play --audio-in` listening, its
OSC beats scored after 10 s of settling. Goals: beat F >= 0.85 (70 ms),
median phase error <= 20 ms, CPU under a quarter of one core; and the share
of true downbeats heard within an eighth of a beat of a bar line. Baseline:
librosa's offline beat_track on the same audio (it sees the whole file).

Run: python3 benchmarks/bench_live_audio.py [--via portaudio]  (PortAudio
listening through its JACK host: the device is the playing client)"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import threading
import time
import uuid
from pathlib import Path

import jack
import librosa
import mir_eval
import numpy
from pythonosc import dispatcher as osc_dispatcher
from pythonosc import osc_server

sys.path.insert(0, str(Path(__file__).parents[1] / "tests" / "support"))
from click_tracks import RATE, render_groove, steady_beats

SECONDS, SETTLE = 30.0, 10.0
TRACKS = [("four-on-the-floor 120", "four", 120), ("rock 100", "rock", 100), ("four-on-the-floor 170", "four", 170)]


def cpu_seconds(pid: int) -> float:
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def live(track: numpy.ndarray, server: str, source: str) -> tuple[list[float], list[tuple[float, float]], float]:
    """Beat times `play` sent (seconds from the track's start), every (time, beat count) it sent and its
    CPU share while playing."""
    client = jack.Client("bench", servername=server, no_start_server=True)
    out = client.outports.register("drums")
    state: dict[str, object] = {"at": 0, "start": None, "go": False}

    @client.set_process_callback
    def process(frames: int) -> None:
        buffer = out.get_array()
        buffer[:] = 0
        if state["go"]:
            if state["start"] is None:
                state["start"] = time.monotonic()
            at = int(state["at"])  # type: ignore[call-overload]
            chunk = track[at:at + frames]
            buffer[:len(chunk)] = chunk
            state["at"] = at + frames

    client.activate()
    beats: list[tuple[float, float]] = []
    dispatcher = osc_dispatcher.Dispatcher()
    dispatcher.map("/kinetrope/beat", lambda address, value: beats.append((time.monotonic(), value)))
    osc = osc_server.ThreadingOSCUDPServer(("127.0.0.1", 0), dispatcher)
    threading.Thread(target=osc.serve_forever, daemon=True).start()
    player = subprocess.Popen([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--audio-in", source,
                               "--port", str(osc.server_address[1]), "--no-view", "--fps", "200"],
                              env=dict(os.environ, JACK_DEFAULT_SERVER=server))
    time.sleep(1.5)
    state["go"] = True
    cpu_before, wall_before = cpu_seconds(player.pid), time.monotonic()
    time.sleep(SECONDS)
    cpu_share = (cpu_seconds(player.pid) - cpu_before) / (time.monotonic() - wall_before)
    player.terminate()
    player.wait(10)
    osc.shutdown()
    osc.server_close()
    client.close()
    start = float(state["start"])  # type: ignore[arg-type]
    heard = [(at - start, beat) for at, beat in beats]
    crossings = [at for (at, beat), (_, before) in zip(heard[1:], heard) if int(beat) > int(before) and beat > 0]
    return crossings, heard, cpu_share


def score(truth: list[float], found: list[float]) -> tuple[float, float]:
    reference = numpy.array([b for b in truth if b >= SETTLE])
    estimated = numpy.array([b for b in found if SETTLE <= b <= SECONDS - 0.5])
    if len(estimated) == 0:
        return 0.0, float("nan")
    errors = [min(abs(beat - at) for beat in reference) for at in estimated]
    return mir_eval.beat.f_measure(reference, estimated, 0.07), 1000 * float(numpy.median(errors))


def on_bar_lines(truth: list[float], heard: list[tuple[float, float]]) -> float:
    """Share of the true downbeats (every fourth beat from the first) after settling heard on a bar line."""
    times, counts = numpy.array(heard).T
    downbeats = [at for at in truth[::4] if SETTLE <= at <= SECONDS - 0.5]
    return float(numpy.mean([abs((count + 2) % 4 - 2) <= 0.125 for count in numpy.interp(downbeats, times, counts)]))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--via", choices=("jack", "portaudio"), default="jack")
    source = "bench:drums" if parser.parse_args().via == "jack" else "bench"
    server = f"bench{uuid.uuid4().hex[:8]}"
    jackd = subprocess.Popen(["jackd", "-n", server, "-d", "dummy", "-r", str(RATE), "-p", "256"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    print(f"{'track':24} {'beat F ours/librosa':>20} {'median phase ms ours/librosa':>30} {'CPU share':>10} "
          f"{'on bars':>8}")
    try:
        for name, groove, bpm in TRACKS:
            truth = steady_beats(bpm, SECONDS)
            track = render_groove(truth, SECONDS, groove).astype(numpy.float32)
            found, heard, cpu = live(track, server, source)
            ours_f, ours_phase = score(truth, found)
            _, frames = librosa.beat.beat_track(y=track, sr=RATE)
            plain_f, plain_phase = score(truth, list(librosa.frames_to_time(frames, sr=RATE)))
            print(f"{name:24} {ours_f:9.3f} / {plain_f:.3f} {ours_phase:18.1f} / {plain_phase:.1f} {cpu:10.3f} "
                  f"{on_bar_lines(truth, heard):8.2f}")
    finally:
        jackd.terminate()
        jackd.wait(5)
    print("goals: beat F >= 0.85, median phase error <= 20 ms, CPU share < 0.25")


if __name__ == "__main__":
    main()
