"""The MIDI clock follower: position and tempo from clock messages, fed
directly with known times and through a real mido socket port."""

import socket
import subprocess
import sys
import threading
import time

import pytest
from optional import need

mido = need("mido")
import mido.sockets  # noqa: E402
from kinetrope_host.clocks.midiclock import (  # noqa: E402
    PIPS_PER_TICK,
    MidiClockFollower,
    open_clock_input,
)

CLOCK = mido.Message("clock")


def feed_ticks(follower, first, count, bpm, index=0, skip=()):
    """Ticks at `bpm` from time `first`; returns the time after the last."""
    period = 60.0 / bpm / 24
    for k in range(count):
        if k not in skip:
            follower.feed(CLOCK, first + (index + k) * period)
    return first + (index + count) * period


def test_position_and_tempo_through_start_change_stop_continue_and_jump():
    follower = MidiClockFollower(monotonic=lambda: 0.0)
    follower.feed(mido.Message("start"), 0.0)
    assert follower.pip(5.0) == 0.0  # no tick yet: at the start, not running away
    period = 60.0 / 100 / 24
    end = feed_ticks(follower, 1.0, 4 * 24, 100, skip={30, 61})  # two ticks lost
    assert follower.lost_ticks == 2
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
    assert follower.lost_ticks == 0
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
        assert 143 * PIPS_PER_TICK - 1e-9 <= follower.pip() <= 146 * PIPS_PER_TICK
        source.send(mido.Message("stop"))
        source.send(mido.Message("songpos", pos=32))
        assert settled(lambda: follower.pip() == 32 * 16)
        source.send(mido.Message("continue"))
        send_ticks(12, 150)
        assert settled(lambda: follower.ticks == 156)
        assert 32 * 16 + 11 * PIPS_PER_TICK - 1e-9 <= follower.pip() <= 32 * 16 + 14 * PIPS_PER_TICK
        assert follower.lost_ticks == 0
    finally:
        close_socket_port(source)
        server.close()
        close_socket_port(client)
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
