"""Call costs, module size and import time of the installed kinetrope.

Every figure is measured in this run next to its reference:
  * Python: ns per formula-pattern call against math.hypot(1.0, 2.0), the
    interpreter's floor for a call into C;
  * native: ns per call of each formula function through the exported
    symbols (compiled here against the installed headers and module);
  * import: a fresh interpreter importing kinetrope against `python -c pass`;
  * size of the shared object, against the table bytes it holds.
With --build it also times a clean `pip install .` into a new virtual
environment.
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
import timeit
from pathlib import Path

import kinetrope
from native_build import ROOT, compile_native


def ns_per_call(statement: str, setup: str, number: int = 1_000_000) -> float:
    timer = timeit.Timer(statement, setup=setup)
    return min(timer.repeat(repeat=5, number=number)) / number * 1e9


def python_calls() -> None:
    floor = ns_per_call("hypot(1.0, 2.0)", "from math import hypot")
    print(f"python  math.hypot(1.0, 2.0)        {floor:8.1f} ns/call")
    for name in ("helix", "bounce", "loam_background", "five_stroke_roll"):
        cost = ns_per_call(f"{name}(p)", f"from kinetrope import {name}; p = 1000")
        print(f"python  kinetrope.{name + '(p)':22s} {cost:8.1f} ns/call  ({cost / floor:.2f}x hypot)")


def native_calls() -> None:
    with tempfile.TemporaryDirectory() as work:
        exe = compile_native(ROOT / "benchmarks" / "native_bench.cpp", Path(work) / "native_bench")
        output = subprocess.run([exe], check=True, capture_output=True, text=True).stdout
    for line in output.splitlines():
        name, cost = line.split()
        print(f"native  kinetrope::{name + '(pip)':24s} {float(cost):6.2f} ns/call")


def fresh_interpreter_ms(code: str, runs: int = 40) -> tuple[float, float]:
    """Fastest and median wall time of a fresh interpreter running `code`;
    the fastest is the least disturbed by other work on the machine."""
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run([sys.executable, "-c", code], check=True)
        times.append(time.perf_counter() - start)
    return min(times) * 1e3, statistics.median(times) * 1e3


def import_and_size() -> None:
    bare_fast, bare_median = fresh_interpreter_ms("pass")
    fast, median = fresh_interpreter_ms("import kinetrope")
    print(f"import  python -c pass                  {bare_fast:8.2f} ms fastest, {bare_median:8.2f} ms median")
    print(f"import  python -c 'import kinetrope'    {fast:8.2f} ms fastest, {median:8.2f} ms median "
          f"(+{fast - bare_fast:.2f} ms fastest, +{median - bare_median:.2f} ms median)")
    size = os.path.getsize(kinetrope.__file__)
    tables = sum(row["period_pips"] for row in kinetrope.catalogue()[15:]) * 24
    print(f"size    {Path(kinetrope.__file__).name}  {size:,} bytes; "
          f"{size / tables:.3f}x the {tables:,} table bytes")


def tree_rss_bytes(root: int) -> int:
    """Resident memory of a process and all its descendants, from /proc."""
    parents, rss = {}, {}
    for status in Path("/proc").glob("[0-9]*/status"):
        try:
            fields = dict(line.split(":", 1) for line in status.read_text().splitlines() if ":" in line)
        except OSError:
            continue  # the process ended while we looked
        pid = int(status.parent.name)
        parents[pid] = int(fields["PPid"])
        rss[pid] = int(fields.get("VmRSS", "0 kB").split()[0]) * 1024
    total = 0
    for pid in rss:
        ancestor = pid
        while ancestor not in (root, 0, 1) and ancestor in parents:
            ancestor = parents[ancestor]
        if ancestor == root:
            total += rss[pid]
    return total


def clean_build() -> None:
    """Wall time and peak memory (summed over every process of the build,
    sampled every 50 ms) of a clean install into a new virtual environment."""
    with tempfile.TemporaryDirectory() as work:
        venv = Path(work) / "venv"
        subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True)
        start = time.perf_counter()
        build = subprocess.Popen([venv / "bin" / "python", "-m", "pip", "install", "-q", "--no-cache-dir", str(ROOT)])
        peak = 0
        while build.poll() is None:
            peak = max(peak, tree_rss_bytes(build.pid))
            time.sleep(0.05)
        if build.returncode != 0:
            sys.exit("clean build failed")
        print(f"build   clean pip install . in a new venv  {time.perf_counter() - start:8.1f} s, "
              f"peak memory {peak / 2**20:,.0f} MiB")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", action="store_true", help="also time a clean pip install")
    args = parser.parse_args()
    python_calls()
    native_calls()
    import_and_size()
    if args.build:
        clean_build()


if __name__ == "__main__":
    main()
