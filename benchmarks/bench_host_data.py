"""Time and memory of building the largest host data from Python lists.

Pattern pack: 1024 SampledPatterns of 1024 samples each, both limits of a
PatternLibrary exactly met. Phases, each timed on its own:
  * build: the host's 1024 lists of 1024 (x, y, z) tuples;
  * patterns: the 1024 SampledPattern calls (triple conversion and checks);
  * convert: a PatternLibrary call refused at its count check by one extra
    pattern, which pays for copying every pattern out of Python and none of
    the per-pattern checks;
  * construct: the accepted call; construct minus convert is the checks
    (seen names, sample budget, built-in name search) and the moves;
  * copies: a pack of exact copies of built-ins, which pays for the
    sample-by-sample comparison with the built-in lookup;
  * native: the same pack built in C++ through the installed headers,
    timing the copy of the patterns apart from the constructor's checks
    and moves, and the constructor on exact built-in copies;
  * sample(): an own name (the last, the whole scan) and a built-in name
    (the scan, then the built-in lookup).

Recording: 8,388,608 one-axis rows, the value cap of one SampledRecording.
  * build: the host's list of 8,388,608 one-value lists, once as a host
    would (cyclic GC on) and once with the GC paused;
  * convert: a constructor call refused at its size check by one extra row,
    which pays for the whole list conversion and none of the row checks;
  * construct: the accepted constructor call (conversion, checks, copy);
    construct minus convert is the core's share.

Memory: the process's maximum resident set (getrusage) after each phase;
native allocations made by the conversion are visible only there. The pack
runs first because the recording's peak is far higher. The Python-side peaks
(tracemalloc) are taken last, because tracemalloc's own bookkeeping would
otherwise inflate the resident set of the other phases.
"""
import argparse
import gc
import os
import resource
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import time
import tracemalloc
from pathlib import Path

import kinetrope

ROOT = Path(__file__).resolve().parent.parent
ROWS = 8388608
PACK_PATTERNS = 1024
PACK_SAMPLES = 1024


def max_rss_mib() -> float:
    # Linux reports ru_maxrss in KiB, macOS in bytes.
    scale = 1 if sys.platform == "darwin" else 1024
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * scale / 2**20


def current_rss_mib() -> float:
    """Resident set now (Linux only; 0 elsewhere): shows what a phase keeps."""
    try:
        with open("/proc/self/statm") as statm:
            return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") / 2**20
    except OSError:
        return 0.0


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
    print(f"{label:52s} {best:7.3f} s   max RSS {max_rss_mib():8.1f} MiB   now {current_rss_mib():8.1f} MiB")
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


def build_pack_lists(patterns: int, samples: int) -> list:
    return [[(((i + j) % 257 - 128) / 128, (j % 129 - 64) / 64, 0.0) for j in range(samples)] for i in range(patterns)]


def make_patterns(lists: list) -> list:
    return [kinetrope.SampledPattern(f"pattern_{i}", "", samples) for i, samples in enumerate(lists)]


def refused_at_count_check(patterns: list) -> None:
    try:
        kinetrope.PatternLibrary(patterns)
    except ValueError as error:
        assert str(error) == "Too many patterns"
    else:
        raise AssertionError("a pack past the pattern limit was accepted")


def builtin_copies() -> list:
    """Exact copies of built-ins, as many as fit the pack's limits."""
    copies, total = [], 0
    for row in kinetrope.catalogue()[:PACK_PATTERNS]:
        if total + row["period_pips"] > PACK_PATTERNS * PACK_SAMPLES:
            break
        total += row["period_pips"]
        samples = [kinetrope.sample(row["name"], pip).as_tuple() for pip in range(row["period_pips"])]
        copies.append(kinetrope.SampledPattern(row["name"], row["description"], samples))
    return copies


def ns_per_sample(library, name: str, calls: int = 200_000) -> float:
    sample = library.sample
    start = time.perf_counter()
    for pip in range(calls):
        sample(name, pip)
    return (time.perf_counter() - start) / calls * 1e9


def native_pack_lines() -> list:
    compiler = shutil.which("c++") or shutil.which("g++")
    if compiler is None or not sysconfig.get_config_var("Py_ENABLE_SHARED"):
        return ["native: skipped (needs a C++ compiler and a shared libpython)"]
    libdir = sysconfig.get_config_var("LIBDIR")
    version = sysconfig.get_config_var("LDVERSION")
    with tempfile.TemporaryDirectory() as work:
        exe = Path(work) / "native_pack_bench"
        subprocess.run(
            [compiler, "-std=c++20", "-O2", str(ROOT / "benchmarks" / "native_pack_bench.cpp"), "-o", str(exe),
             f"-I{Path(sys.prefix) / 'include'}", kinetrope.__file__,
             f"-L{libdir}", f"-lpython{version}", f"-Wl,-rpath,{libdir}"],
            check=True,
        )
        output = subprocess.run([exe], check=True, capture_output=True, text=True).stdout
    return [f"{'native ' + label:56s} {float(ms):7.3f} ms (best of 10)"
            for label, ms in (line.rsplit(": ", 1) for line in output.splitlines())]


def pack_benchmark() -> None:
    print(f"PatternLibrary of {PACK_PATTERNS} patterns x {PACK_SAMPLES} samples")
    print(f"{'start':52s} {'':9s}   max RSS {max_rss_mib():8.1f} MiB")
    lists = timed("build the host's lists", lambda: build_pack_lists(PACK_PATTERNS, PACK_SAMPLES))
    patterns = timed("1024 SampledPattern calls, best of 3", lambda: make_patterns(lists), 3)
    del lists
    gc.collect()
    patterns.append(patterns[0])
    timed("convert only (refused at count check), best of 10", lambda: refused_at_count_check(patterns), 10)
    patterns.pop()
    library = timed("construct (convert + checks + moves), best of 10",
                    lambda: kinetrope.PatternLibrary(patterns), 10)
    assert len(library.catalogue()) == len(kinetrope.catalogue()) + PACK_PATTERNS
    copies = builtin_copies()
    copy_samples = sum(p.period_pips for p in copies)
    timed(f"construct from {len(copies)} built-in copies ({copy_samples} samples)",
          lambda: kinetrope.PatternLibrary(copies))
    for line in native_pack_lines():
        print(line)
    last = f"pattern_{PACK_PATTERNS - 1}"
    print(f"{'sample(own name, the last of 1024)':52s} {ns_per_sample(library, last):7.0f} ns/call")
    print(f"{'sample(built-in name, after the scan)':52s} {ns_per_sample(library, 'lfo_breathe'):7.0f} ns/call")
    print(f"{'module-level sample(built-in name), for reference':52s} "
          f"{ns_per_sample(kinetrope, 'lfo_breathe'):7.0f} ns/call")
    print(f"{'sample(built-in name), empty library':52s} "
          f"{ns_per_sample(kinetrope.PatternLibrary(), 'lfo_breathe'):7.0f} ns/call")


def pack_python_side_peak() -> None:
    tracemalloc.start()
    lists = build_pack_lists(PACK_PATTERNS, PACK_SAMPLES)
    _, peak = tracemalloc.get_traced_memory()
    tracemalloc.stop()
    del lists
    gc.collect()
    print(f"{'pack lists, tracemalloc peak':52s} {peak / 2**20:7.1f} MiB")


def recording_benchmark() -> None:
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


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("which", nargs="?", choices=["pack", "recording", "all"], default="all")
    which = parser.parse_args().which
    if which in ("pack", "all"):
        pack_benchmark()
        gc.collect()
        print()
    if which in ("recording", "all"):
        recording_benchmark()
        print()
    if which in ("pack", "all"):
        pack_python_side_peak()
    if which in ("recording", "all"):
        python_side_peak()


if __name__ == "__main__":
    main()
