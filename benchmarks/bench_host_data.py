"""Time and memory of building the largest SampledRecording from Python lists:
8,388,608 one-axis rows, the value cap of one recording.

Phases, each timed on its own:
  * build: the host's list of 8,388,608 one-value lists, once as a host
    would (cyclic GC on) and once with the GC paused;
  * convert: a constructor call refused at its size check by one extra row,
    which pays for the whole list conversion and none of the row checks;
  * construct: the accepted constructor call (conversion, checks, copy);
    construct minus convert is the core's share.
Memory: the process's maximum resident set (getrusage) after each phase;
native allocations made by the conversion are visible only there. The
Python-side peak (tracemalloc) is taken last, because tracemalloc's own
bookkeeping would otherwise inflate the resident set of the other phases.
"""

import gc
import resource
import sys
import time
import tracemalloc

import kinetrope

ROWS = 8388608


def max_rss_mib() -> float:
    # Linux reports ru_maxrss in KiB, macOS in bytes.
    scale = 1 if sys.platform == "darwin" else 1024
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * scale / 2**20


def build_rows(count: int) -> list:
    return [[((i % 257) - 128) / 128] for i in range(count)]


def timed(label: str, action, repeat: int = 1):
    """Best of `repeat` runs; the result of the last run is returned."""
    best = float("inf")
    for _ in range(repeat):
        result = None  # frees the previous run's result before the next
        start = time.perf_counter()
        result = action()
        best = min(best, time.perf_counter() - start)
    print(f"{label:52s} {best:7.3f} s   max RSS {max_rss_mib():8.1f} MiB")
    return result


def python_side_peak() -> None:
    tracemalloc.start()
    rows = build_rows(ROWS)
    _, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    del rows
    gc.collect()
    print(f"{'python lists, tracemalloc peak':52s} {peak / 2**20:7.1f} MiB ({peak / ROWS:.1f} B/row)")


def refused_at_size_check(rows: list) -> None:
    try:
        kinetrope.SampledRecording("bench", ["x"], rows, 120.0)
    except ValueError as error:
        assert str(error) == "Empty recording or recording resource limit exceeded"
    else:
        raise AssertionError("a recording past the value cap was accepted")


def build_without_gc(count: int) -> list:
    gc.disable()
    try:
        return build_rows(count)
    finally:
        gc.enable()


def main() -> None:
    print(f"SampledRecording of {ROWS:,} rows x 1 axis")
    print(f"{'start':52s} {'':9s}   max RSS {max_rss_mib():8.1f} MiB")
    rows = timed("build the rows, GC paused", lambda: build_without_gc(ROWS))
    del rows
    gc.collect()
    rows = timed("build the rows, GC on (as a host would)", lambda: build_rows(ROWS))
    rows.append([0.0])
    timed("convert only (refused at the size check), best of 3", lambda: refused_at_size_check(rows), 3)
    rows.pop()
    recording = timed("construct (convert + checks + copy), best of 3",
                      lambda: kinetrope.SampledRecording("bench", ["x"], rows, 120.0), 3)
    assert recording.sample_count == ROWS
    del rows
    gc.collect()
    start = time.perf_counter()
    for pip in range(0, ROWS, 8191):
        recording.sample(pip)
    per_call = (time.perf_counter() - start) / len(range(0, ROWS, 8191))
    print(f"{'sample(pip)':52s} {per_call * 1e9:7.0f} ns/call")
    del recording
    python_side_peak()


if __name__ == "__main__":
    main()
