"""The catalogue's first build and sampling from many native threads at once
(the hardening run builds the same program with ThreadSanitizer), and Python
threads sharing the module's objects."""

import sys
import threading
import time

import kinetrope
from kinetrope import PatternLibrary, SampledPattern, SampledRecording

INT32_MIN, INT32_MAX = -2**31, 2**31 - 1


def test_threads_get_one_catalogue_and_the_values_python_sees(native_program):
    lines = native_program("threads.cpp", "").splitlines()
    listing = kinetrope.catalogue()
    assert lines[0] == f"rows {len(listing)}"
    assert len(lines) == len(listing) + 1
    for k, (line, row) in enumerate(zip(lines[1:], listing)):
        name, period, *values = line.split()
        assert (name, int(period)) == (row["name"], row["period_pips"])
        pips = [0, k - 700, INT32_MIN + k, INT32_MAX - k]
        native = [tuple(float.fromhex(v).hex() for v in values[i:i + 3]) for i in range(0, 12, 3)]
        assert native == [tuple(v.hex() for v in kinetrope.sample(name, pip).as_tuple()) for pip in pips]


def test_eight_python_threads_sharing_one_library_get_the_answers_of_one_thread():
    """The hardening run repeats this against the sanitized module."""
    own = [SampledPattern(f"own_{n}", "d", [((k % 7) / 7, -(k % 5) / 5, (n % 3) / 3) for k in range(n + 1)])
           for n in range(12)]
    library = PatternLibrary(own)
    recording = SampledRecording("take", ["x", "y"], [[k / 64, -k / 64] for k in range(64)], 120.0, 0.0, -5)
    names = ["own_3", "own_11", "bounce", "lfo_breathe", "five_stroke_roll", "nope", "own_0", "helix"]
    pips = [0, 1, 63, -1, 300, INT32_MIN, INT32_MAX]

    def answer(call):
        try:
            result = call()
        except (ValueError, IndexError) as error:
            return type(error).__name__, str(error)
        return result.as_tuple() if hasattr(result, "as_tuple") else result

    calls = [lambda n=n, p=p: library.sample(n, p) for n in names for p in pips]
    calls += [lambda n=n, p=p: kinetrope.sample(n, p) for n in names for p in pips]
    calls += [lambda p=p: kinetrope.five_stroke_roll(p) for p in pips]
    calls += [lambda p=p: own[5].sample(p) for p in pips]
    calls += [lambda p=p: recording.sample(p) for p in range(-7, 62, 3)]
    calls += [lambda: len(library.catalogue()), lambda: library.catalogue()[-1]["name"], lambda: len(kinetrope.catalogue())]
    calls += [lambda: len(PatternLibrary(own[:4]).catalogue())]
    expected = [answer(call) for call in calls]

    mismatches, rounds = [], [0] * 8
    start = threading.Barrier(8)
    deadline = time.monotonic() + 2.0

    def worker(t):
        start.wait()
        while True:
            # each thread walks the calls from its own offset
            for i in range(len(calls)):
                k = (i + 17 * t) % len(calls)
                got = answer(calls[k])
                if got != expected[k]:
                    mismatches.append((t, k, got, expected[k]))
            rounds[t] += 1
            if time.monotonic() > deadline:
                return

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # hand the interpreter lock over often
    try:
        threads = [threading.Thread(target=worker, args=(t,)) for t in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(timeout=120)
    finally:
        sys.setswitchinterval(interval)
    assert not any(thread.is_alive() for thread in threads)
    assert mismatches == []
    assert all(r >= 1 for r in rounds)
