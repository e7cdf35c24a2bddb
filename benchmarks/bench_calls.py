"""Call costs, module size and import time of the installed kinetrope.

Every figure is measured in this run next to its reference:
  * Python: ns per formula-pattern call against math.hypot(1.0, 2.0), the
    interpreter's floor for a call into C;
  * native: ns per call of each formula function through the exported
    symbols (compiled here against the installed headers and module);
  * import: a fresh interpreter importing kinetrope against `python -c pass`;
  * size of the shared object.
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


def fresh_interpreter_ms(code: str, runs: int = 30) -> float:
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run([sys.executable, "-c", code], check=True)
        times.append(time.perf_counter() - start)
    return statistics.median(times) * 1e3


def import_and_size() -> None:
    bare = fresh_interpreter_ms("pass")
    loaded = fresh_interpreter_ms("import kinetrope")
    print(f"import  python -c pass                  {bare:8.2f} ms (median)")
    print(f"import  python -c 'import kinetrope'    {loaded:8.2f} ms (median, +{loaded - bare:.2f} ms)")
    size = os.path.getsize(kinetrope.__file__)
    print(f"size    {Path(kinetrope.__file__).name}  {size:,} bytes")


def clean_build() -> None:
    with tempfile.TemporaryDirectory() as work:
        venv = Path(work) / "venv"
        subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True)
        start = time.perf_counter()
        subprocess.run([venv / "bin" / "python", "-m", "pip", "install", "-q", "--no-cache-dir", str(ROOT)],
                       check=True)
        print(f"build   clean pip install . in a new venv  {time.perf_counter() - start:8.1f} s")


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
