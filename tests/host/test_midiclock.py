"""The MIDI clock follower: position and tempo from clock messages, fed
with recorded arrival sequences and through a real mido socket port."""

import io
import math
import os
import random
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path
from types import SimpleNamespace

import pytest
from optional import need

mido = need("mido")
import mido.sockets  # noqa: E402
from kinetrope_host.clocks.midiclock import (  # noqa: E402
    PIPS_PER_TICK,
    LostClockNotice,
    MidiClockFollower,
)
from kinetrope_host.clocks.midiports import open_clock_input  # noqa: E402

CLOCK = mido.Message("clock")
ROOT = Path(__file__).resolve().parents[2]


def feed_ticks(follower, first, count, bpm):
    """Ticks at `bpm` from time `first`; returns the time after the last."""
    period = 60.0 / bpm / 24
    for k in range(count):
        follower.feed(CLOCK, first + k * period)
    return first + count * period


def test_position_and_tempo_through_start_change_stop_continue_and_jump():
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    follower.feed(mido.Message("start"), 0.0)
    assert follower.pip(5.0) == 0.0  # no tick yet: at the start, not running away
    period = 60.0 / 100 / 24
    end = feed_ticks(follower, 1.0, 4 * 24, 100)
    last = 1.0 + 95 * period
    assert follower.pip(last) == pytest.approx(95 * PIPS_PER_TICK, abs=0.05)
    assert follower.pip(last + period / 2) == pytest.approx(95.5 * PIPS_PER_TICK, abs=0.05)
    assert follower.bpm() == pytest.approx(100, rel=1e-3)

    # Tempo change: within 1% two beats later, the position still whole ticks.
    start_fast = end
    end = feed_ticks(follower, start_fast, 6 * 24, 150)
    assert follower.bpm() == pytest.approx(150, rel=0.01)
    assert follower.pip(end - 60 / 150 / 24) == pytest.approx((96 + 143) * PIPS_PER_TICK, abs=0.2)

    follower.feed(mido.Message("stop"), end)
    held = follower.pip(end)
    assert not follower.running and follower.pip(end + 30.0) == held
    # Held no further than the next tick's position, where continue goes on.
    assert (96 + 143) * PIPS_PER_TICK <= held <= (96 + 144) * PIPS_PER_TICK
    follower.feed(CLOCK, end + 1.0)  # a clock while stopped moves nothing
    assert follower.pip(end + 2.0) == held

    follower.feed(mido.Message("continue"), end + 3.0)
    feed_ticks(follower, end + 3.1, 48, 150)
    assert follower.pip(end + 3.1 + 47 * 60 / 150 / 24) == pytest.approx((240 + 47) * PIPS_PER_TICK, abs=0.2)

    follower.feed(mido.Message("stop"), end + 10.0)
    follower.feed(mido.Message("songpos", pos=64), end + 10.5)  # four bars of sixteenths
    assert follower.pip(end + 11.0) == 64 * 16
    follower.feed(mido.Message("continue"), end + 12.0)
    feed_ticks(follower, end + 12.0, 24, 150)
    assert follower.pip(end + 12.0 + 23 * 60 / 150 / 24) == pytest.approx(64 * 16 + 23 * PIPS_PER_TICK, abs=0.2)

    follower.feed(mido.Message("start"), end + 20.0)
    assert follower.pip(end + 20.5) == 0.0


def test_ticks_that_were_only_late_are_not_counted_lost():
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    follower.feed(mido.Message("start"), 0.0)
    period = 60.0 / 120 / 24
    for k in range(100):
        # Ticks 60 to 62 stall and arrive in a burst with tick 63.
        follower.feed(CLOCK, 63 * period + 0.0001 * (k - 60) if 60 <= k <= 63 else k * period)
    assert follower.pip(99 * period) == pytest.approx(99 * PIPS_PER_TICK, abs=0.3)


def test_answers_never_step_back_between_jittered_ticks():
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    follower.feed(mido.Message("start"), 0.0)
    period = 60.0 / 120 / 24
    jitter = [0.0015, -0.0018, 0.0004, -0.0011, 0.0019, -0.0002]
    answers = []
    for k in range(200):
        at = k * period + jitter[k % len(jitter)]
        follower.feed(CLOCK, at)
        answers += [follower.pip(at + step * period / 4) for step in range(4)]
    assert all(a <= b for a, b in zip(answers, answers[1:]))
    assert answers[-4] == pytest.approx(199 * PIPS_PER_TICK, abs=0.3)


def arrivals(tempos, beats, sigma=0.0, seed=0):
    """An ordered transport's arrival times: ticks at each (beats, bpm) of
    `tempos` in turn, each late or early by Gaussian jitter but never before
    the one ahead of it. Returns (true times, arrival times)."""
    rng = random.Random(seed)
    true, arrived, now, last = [], [], 0.1, -math.inf
    for count, bpm in tempos:
        for _ in range(count * 24):
            true.append(now)
            last = max(last, now + (rng.gauss(0.0, sigma) if sigma else 0.0))
            arrived.append(last)
            now += 60.0 / bpm / 24
    return true, arrived


def truth(true, now):
    """The sender's position at `now`, in pips, linear between its ticks."""
    k = max(i for i, t in enumerate(true) if t <= now)
    return (k + (now - true[k]) / (true[k + 1] - true[k])) * PIPS_PER_TICK


def followed(arrived, true, since, every=0.004):
    """Feeds the arrivals and asks the answer every `every` s from `since`
    to the last true tick: (answers, errors against the truth, tempos seen)."""
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    follower.feed(mido.Message("start"), 0.0)
    answers, errors, tempos = [], [], []
    k, now = 0, 0.0
    while now < true[-1]:
        while k < len(arrived) and arrived[k] <= now:
            follower.feed(CLOCK, arrived[k])
            tempos.append(follower.bpm())
            k += 1
        if now >= since:
            answers.append(follower.pip(now))
            errors.append(answers[-1] - truth(true, now))
        now += every
    return answers, errors, tempos


@pytest.mark.parametrize("before, after", [(120, 106), (120, 100), (128, 90), (174, 87), (120, 60), (90, 180)])
def test_a_tempo_step_is_followed_within_a_tick_and_never_runs_off(before, after):
    true, arrived = arrivals([(8, before), (8, after)], 0, sigma=0.001)
    step = true[8 * 24]
    answers, errors, _ = followed(arrived, true, since=step)
    assert max(map(abs, errors)) <= 24
    settled = [e for e, t in zip(errors, (step + 0.004 * i for i in range(len(errors)))) if t > step + 4 * 60 / after]
    assert max(map(abs, settled)) <= 3
    assert all(a <= b for a, b in zip(answers, answers[1:]))


@pytest.mark.parametrize("bpm, sigma", [(120, 0.003), (174, 0.003), (174, 0.002), (60, 0.003)])
def test_gaussian_jitter_stays_within_three_pips(bpm, sigma):
    for seed in range(6):
        true, arrived = arrivals([(16, bpm)], 0, sigma=sigma, seed=seed)
        answers, errors, _ = followed(arrived, true, since=0.1 + 2 * 60 / bpm)
        assert max(map(abs, errors)) <= 3, seed
        assert all(a <= b for a, b in zip(answers, answers[1:]))


@pytest.mark.parametrize("bpm, sigma, share", [(120, 0.001, 0.02), (174, 0.001, 0.02), (90, 0.002, 0.05)])
def test_frames_move_evenly_between_jittered_ticks(bpm, sigma, share):
    for seed in range(3):
        true, arrived = arrivals([(24, bpm)], 0, sigma=sigma, seed=seed)
        answers, _, _ = followed(arrived, true, since=0.1 + 4 * 60 / bpm, every=1 / 60)
        speeds = [b - a for a, b in zip(answers, answers[1:])]
        mean = sum(speeds) / len(speeds)
        assert max(abs(speed - mean) for speed in speeds) <= share * mean, seed


def burst_after_start(true):
    arrived = list(true)
    arrived[1] = arrived[0]
    return arrived, true[1]


def burst_100ns_apart(true):
    arrived = list(true)
    arrived[1] = arrived[0] + 1e-7
    return arrived, true[1]


def burst_from_a_stalled_network(true):
    arrived = list(true)
    arrived[100:110] = [true[110]] * 10
    return arrived, true[110]


@pytest.mark.parametrize("burst", [burst_after_start, burst_100ns_apart, burst_from_a_stalled_network])
def test_bursts_keep_a_sane_tempo_and_are_caught_up(burst):
    true, _ = arrivals([(12, 120)], 0)
    arrived, over = burst(true)
    _, errors, tempos = followed(arrived, true, since=over + 4 * 0.5)
    assert 20 <= min(tempos) and max(tempos) <= 400
    assert max(map(abs, errors)) <= 3


def test_a_sender_that_stalls_then_bursts_is_followed_from_where_it_resumes():
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    follower.feed(mido.Message("start"), 0.0)
    period = 60 / 120 / 24
    times = [k * period for k in range(100)]
    times += [times[-1] + 30.0 + k * 1e-6 for k in range(1, 14)]  # 30 s silent, 13 ticks within 12 us
    resumed = times[-1]
    times += [resumed + k * period for k in range(1, 200)]
    for at in times:
        follower.feed(CLOCK, at)
        assert 20 <= follower.bpm() <= 400
    last = len(times) - 1
    assert follower.pip(times[-1]) == pytest.approx(last * PIPS_PER_TICK, abs=3)


class Heads:
    """Stands for the moving-head sinks, which go dark while the clock is stopped or lost."""

    def __init__(self):
        self.told = []

    def clock_stopped(self):
        self.told.append("stopped")

    def clock_resumed(self):
        self.told.append("resumed")


def test_a_clock_gone_without_stop_holds_and_is_reported_once_per_loss():
    _, arrived = arrivals([(4, 120)], 0)
    follower = MidiClockFollower(monotonic=lambda: now)
    follower.feed(mido.Message("start"), 0.0)
    out = io.StringIO()
    heads = Heads()
    notice = LostClockNotice(follower, beats_per_bar=4, out=out, listeners=[heads])
    for at in arrived:
        follower.feed(CLOCK, at)
    last = arrived[-1]
    for step in range(300):
        now = last + step * 0.01 + 0.005
        notice.send(SimpleNamespace(pip=follower.pip(now)))
        assert follower.pip(now) <= (len(arrived) - 1 + 24) * PIPS_PER_TICK
        assert follower.lost(now) == (now - last > 0.5)
    assert out.getvalue() == "MIDI clock lost: holding at bar 2 beat 1\n"
    now = last + 3.5
    for k in range(48):  # the clock comes back ...
        follower.feed(CLOCK, now + k * period_at(120))
    now += 47 * period_at(120)
    notice.send(SimpleNamespace(pip=follower.pip(now)))
    assert not follower.lost(now)
    assert heads.told == ["stopped", "resumed"]
    now += 2.0  # ... and goes again
    notice.send(SimpleNamespace(pip=follower.pip(now)))
    assert out.getvalue().count("MIDI clock lost") == 2
    follower.feed(CLOCK, now)  # back once more, then a proper stop
    notice.send(SimpleNamespace(pip=follower.pip(now)))
    follower.feed(mido.Message("stop"), now + 0.01)
    notice.send(SimpleNamespace(pip=follower.pip(now + 0.02)))
    assert heads.told == ["stopped", "resumed", "stopped", "resumed", "stopped"]


def period_at(bpm):
    return 60 / bpm / 24


def close_socket_port(port):
    """Closes a mido socket port and the file objects it reads and writes
    through, which its own close() leaves open (and the socket with them)."""
    port.close()
    port._rfile.close()
    port._wfile.close()


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def test_follows_a_clock_source_over_a_mido_socket_port():
    port = free_port()
    server = mido.sockets.PortServer("127.0.0.1", port)
    accepted = []
    acceptor = threading.Thread(target=lambda: accepted.append(server.accept()))
    acceptor.start()
    follower = MidiClockFollower()
    client = open_clock_input(f"127.0.0.1:{port}")
    reader = follower.follow(client)
    acceptor.join(10)
    (source,) = accepted

    def send_ticks(count, bpm):
        period = 60.0 / bpm / 24
        due = time.monotonic()
        for _ in range(count):
            due += period
            time.sleep(max(0.0, due - time.monotonic()))
            source.send(CLOCK)

    def settled(check):
        deadline = time.monotonic() + 5.0
        while not check() and time.monotonic() < deadline:
            time.sleep(0.005)
        return check()

    try:
        source.send(mido.Message("start"))
        send_ticks(48, 120)
        send_ticks(72, 150)  # tempo change; slow enough that a busy machine's scheduling delays stay well under a tick
        assert follower.bpm() == pytest.approx(150, rel=0.1)
        source.send(mido.Message("stop"))
        assert settled(lambda: not follower.running)
        held = follower.pip()
        assert 119 * PIPS_PER_TICK - 1e-9 <= held <= 120 * PIPS_PER_TICK + 1e-9
        time.sleep(0.05)
        assert follower.pip() == held
        source.send(mido.Message("continue"))
        send_ticks(24, 150)
        assert settled(lambda: follower.ticks == 144)
        # Within two ticks of the last one heard (33 ms at 150 BPM): a loaded
        # machine delivers ticks in bunches; losing ticks or running off fails.
        assert 142 * PIPS_PER_TICK - 1e-9 <= follower.pip() <= 146 * PIPS_PER_TICK
        source.send(mido.Message("stop"))
        source.send(mido.Message("songpos", pos=32))
        assert settled(lambda: follower.pip() == 32 * 16)
        source.send(mido.Message("continue"))
        send_ticks(12, 150)
        assert settled(lambda: follower.ticks == 156)
        # Within a tick of the last one heard: the loop smooths ticks a loaded machine sent late.
        assert 32 * 16 + 10 * PIPS_PER_TICK <= follower.pip() <= 32 * 16 + 14 * PIPS_PER_TICK
    finally:
        close_socket_port(source)
        server.close()
        client.close()
    reader.join(10)
    assert not reader.is_alive()  # the reader ends when the port closes


@pytest.mark.parametrize("name, message", [
    (None, "kinetrope: cannot connect to MIDI socket port 127.0.0.1:{port}"),
    ("no such clock port", "kinetrope: no "),
])
def test_a_port_that_does_not_exist_is_one_line(name, message):
    port = free_port()
    name = name or f"127.0.0.1:{port}"
    done = subprocess.run([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--midi-clock", name,
                           "--no-view"], capture_output=True, text=True, timeout=60)
    assert done.returncode == 1
    assert done.stderr.startswith(message.format(port=port)) and done.stderr.count("\n") == 1, done.stderr
    assert name in done.stderr


def osc_listener():
    """A python-osc server on a free UDP port collecting (address, args)."""
    from pythonosc.dispatcher import Dispatcher
    from pythonosc.osc_server import ThreadingOSCUDPServer

    received = []
    dispatcher = Dispatcher()
    dispatcher.set_default_handler(lambda address, *args: received.append((time.monotonic(), address, args)))
    server = ThreadingOSCUDPServer(("127.0.0.1", 0), dispatcher)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, received


def test_play_follows_a_clock_source_process_and_says_when_it_dies(tmp_path):
    need("pythonosc")
    port = free_port()
    source = subprocess.Popen([sys.executable, "examples/midi_clock_source.py", "--port", str(port), "--bpm", "120",
                               "--change-after", "4", "--to", "100", "--beats", "64"],
                              cwd=ROOT, stdout=subprocess.PIPE, text=True)
    assert source.stdout.readline().startswith("serving MIDI clock")
    server, received = osc_listener()
    play = subprocess.Popen([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--midi-clock",
                             f"127.0.0.1:{port}", "--no-view", "--port", str(server.server_address[1]),
                             "--frames", "420"], stderr=subprocess.PIPE, text=True)
    try:
        time.sleep(4.0)
        source.kill()  # gone without a stop, after about 2 beats at 120 and 4 at 100
        killed = time.monotonic()
        _, errors = play.communicate(timeout=60)
    finally:
        for process in (source, play):
            process.kill()
            process.communicate()
        server.shutdown()
        server.server_close()
    beats = [(at, args[0]) for at, address, args in received if address == "/kinetrope/beat"]
    tempos = [args[0] for at, address, args in received if address == "/kinetrope/bpm"]
    assert all(a <= b for (_, a), (_, b) in zip(beats, beats[1:]))
    before = [beat for at, beat in beats if at < killed - 0.1]
    held = beats[-1][1]
    assert 0 <= held - before[-1] <= 1.0  # never more than a beat past the last tick
    assert tempos[len(before) - 1] == pytest.approx(100, rel=0.05)
    lost = [line for line in errors.splitlines() if line.startswith("MIDI clock lost")]
    bar, beat = divmod(math.floor(held), 4)
    assert lost == [f"MIDI clock lost: holding at bar {bar + 1} beat {beat + 1}"], errors


def test_an_endless_sysex_is_dropped_with_one_warning_and_memory_stays_flat():
    port = free_port()
    flood = (  # a sender stuck in one SysEx, with clock ticks inside it (as the MIDI standard allows)
        "import socket, sys, time\n"
        f"server = socket.create_server(('127.0.0.1', {port}))\n"
        "print('ready', flush=True)\n"
        "conn, _ = server.accept()\n"
        "conn.sendall(bytes([0xFA, 0xF0]))\n"
        "junk = bytes(range(128)) * 4096\n"
        "end = time.monotonic() + 6\n"
        "while time.monotonic() < end:\n"
        "    conn.sendall(junk + bytes([0xF8]))\n"
    )
    sender = subprocess.Popen([sys.executable, "-c", flood], stdout=subprocess.PIPE, text=True)
    assert sender.stdout.readline() == "ready\n"
    play = subprocess.Popen([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--midi-clock",
                             f"127.0.0.1:{port}", "--no-view", "--frames", "400"], stderr=subprocess.PIPE, text=True)
    try:
        time.sleep(1.5)
        early = resident_kib(play.pid)
        time.sleep(4.0)
        late = resident_kib(play.pid)
        _, errors = play.communicate(timeout=60)
    finally:
        for process in (sender, play):
            process.kill()
            process.communicate()
    assert late - early < 4096, (early, late)  # the old reader grew by about 8 bytes a byte: gigabytes here
    assert errors.count("dropped a MIDI message longer than 256 bytes") == 1, errors


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


@pytest.fixture
def jack_server():
    """A JACK server of its own (dummy driver: no sound card), named for this test."""
    import shutil

    need("rtmidi")
    if shutil.which("jackd") is None:
        pytest.skip("jackd is not installed (apt-get install jackd2)")
    name = f"kinetrope-test-{os.getpid()}"
    server = subprocess.Popen(["jackd", "-n", name, "-d", "dummy", "-r", "48000", "-p", "256"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # jack_wait (from jackd2) returns once the server answers.
    waited = subprocess.run(["jack_wait", "-s", name, "-w", "-t", "20"], capture_output=True, timeout=30)
    if server.poll() is not None or waited.returncode != 0:
        server.kill()
        server.wait()
        pytest.skip("jackd -d dummy could not start here")
    yield dict(os.environ, JACK_DEFAULT_SERVER=name, JACK_NO_AUDIO_RESERVATION="1")
    server.terminate()
    server.wait(10)


def test_play_follows_a_clock_over_jack_midi_and_ports_lists_it(jack_server):
    need("pythonosc")
    source = subprocess.Popen([sys.executable, "examples/midi_clock_source.py", "--virtual", "clock", "--wait", "6",
                               "--beats", "8", "--bpm", "120"], cwd=ROOT, env=jack_server, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL, text=True)
    server, received = osc_listener()
    try:
        assert source.stdout.readline().startswith("sending MIDI clock")
        listing = subprocess.run([sys.executable, "-m", "kinetrope_host", "ports"], env=jack_server,
                                 capture_output=True, text=True, timeout=60).stdout
        assert "UNIX_JACK" in listing and "  midi_clock_source:clock\n" in listing, listing
        play = subprocess.run([sys.executable, "-m", "kinetrope_host", "play", "bounce", "--midi-clock",
                               "midi_clock_source:clock", "--no-view", "--port", str(server.server_address[1]),
                               "--frames", "900"], env=jack_server, capture_output=True, text=True, timeout=60)
        assert play.returncode == 0, play.stderr
    finally:
        source.kill()
        source.communicate()
        server.shutdown()
        server.server_close()
    pips = [args[0] for _, address, args in received if address == "/kinetrope/pip"]
    tempos = [args[0] for _, address, args in received if address == "/kinetrope/bpm"]
    # Held from the last tick of 8 beats to the next; a JACK server on a
    # loaded machine misses a cycle now and then, and the events it carried.
    assert 189 * 64 // 24 <= max(pips) <= 192 * 64 // 24
    assert tempos[-1] == pytest.approx(120, rel=0.02)
