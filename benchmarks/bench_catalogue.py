"""Costs of the built-in catalogue, each next to a reference measured in the
same run:
  * native: ns per kinetrope::sample(name, pip) for a formula name, registry
    names at the start, middle and end of the sorted index and an unknown
    name, against a std::unordered_map<std::string_view, sampler> lookup;
  * Python: ns per kinetrope.sample(name, p) against a formula function call,
    math.hypot and, with --floor, a bare pybind11 function of the same
    signature returning a fresh bound struct of three doubles (built here
    from benchmarks/binding_floor with the module's flags); ns per
    kinetrope.catalogue() call;
  * size: the shared object against the table bytes it holds.
With --build it also times, in a fresh CMake build directory, the generator
build and run, the compile of the generated sources and the rest of the
build; and with --full-estimate it compiles synthetic table sources the size
of the whole 1716-pattern catalogue (24,549,888 bytes) in the generator's
format, measuring wall time and peak memory of each compiler.
"""

import argparse
import os
import random
import re
import subprocess
import sys
import tempfile
import time
import timeit
from pathlib import Path

import kinetrope
from native_build import ROOT, compile_native

FORMULA_COUNT = 15
SAMPLER = re.compile(r"^KINETROPE_API kinetrope::Offset3 sample_(\w+)\(int pip\);$")
NAMESPACE = re.compile(r"^namespace (kinetrope_\w+) \{$")


def ns_per_call(statement: str, setup: str, number: int = 500_000) -> float:
    return min(timeit.Timer(statement, setup=setup).repeat(repeat=5, number=number)) / number * 1e9


def probe_names() -> list[tuple[str, str]]:
    names = sorted(row["name"] for row in kinetrope.catalogue()[FORMULA_COUNT:])
    return [
        ("formula", "single_paradiddle"),
        ("index start", names[0]),
        ("index middle", names[len(names) // 2]),
        ("index end", names[-1]),
        ("unknown", "no_such_pattern"),
    ]


def map_entries(path: Path) -> None:
    """Name/sampler pairs of every table-backed pattern, from the installed header."""
    header = Path(sys.prefix) / "include" / "kinetrope" / "collections.hpp"
    lines, namespace = [], None
    for line in header.read_text().splitlines():
        if match := NAMESPACE.match(line):
            namespace = match[1]
        elif match := SAMPLER.match(line):
            lines.append(f'{{"{match[1]}", &{namespace}::sample_{match[1]}}},')
    path.write_text("\n".join(lines) + "\n")


def native_lookups() -> None:
    with tempfile.TemporaryDirectory() as work:
        entries = Path(work) / "entries.inc"
        map_entries(entries)
        exe = compile_native(ROOT / "benchmarks" / "native_lookup_bench.cpp", Path(work) / "lookup_bench",
                             f'-DMAP_ENTRIES="{entries}"')
        probes = probe_names()
        output = subprocess.run([exe, *(n for _, n in probes)], check=True, capture_output=True, text=True).stdout
    print("native  kinetrope::sample(name, pip) against std::unordered_map lookup + call")
    for (kind, _), line in zip(probes, output.splitlines()):
        name, lookup, mapped = line.split()
        print(f"        {kind:13s} {name:28s} {float(lookup):8.2f} ns   map {float(mapped):7.2f} ns"
              f"  ({float(lookup) / float(mapped):.2f}x)")


def python_lookups() -> None:
    hypot = ns_per_call("hypot(1.0, 2.0)", "from math import hypot")
    formula = ns_per_call("single_paradiddle(p)", "from kinetrope import single_paradiddle; p = 1000")
    print(f"python  math.hypot(1.0, 2.0)                   {hypot:8.1f} ns/call")
    print(f"python  kinetrope.single_paradiddle(p)          {formula:8.1f} ns/call")
    for kind, name in probe_names()[:-1]:
        cost = ns_per_call(f"sample({name!r}, p)", "from kinetrope import sample; p = 1000")
        print(f"python  sample({kind:13s})  {name:24s} {cost:8.1f} ns/call  "
              f"({cost / hypot:.2f}x hypot, {cost / formula:.2f}x formula call)")
    listing = ns_per_call("catalogue()", "from kinetrope import catalogue", number=2_000)
    rows = len(kinetrope.catalogue())
    print(f"python  kinetrope.catalogue() ({rows} rows)       {listing / 1e3:8.1f} us/call "
          f"({listing / rows:.0f} ns/row)")


def build_floor_module(work: Path):
    """Builds benchmarks/binding_floor in `work` and imports it."""
    try:
        import pybind11
    except ImportError:
        sys.exit("--floor needs pybind11 in this environment: pip install 'pybind11>=3' cmake")
    build = work / "build"
    subprocess.run(["cmake", "-S", str(ROOT / "benchmarks" / "binding_floor"), "-B", str(build),
                    "-DCMAKE_BUILD_TYPE=Release", f"-DPython_EXECUTABLE={sys.executable}",
                    f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"], check=True, capture_output=True)
    subprocess.run(["cmake", "--build", str(build)], check=True, capture_output=True)
    sys.path.insert(0, str(build))
    import binding_floor
    return binding_floor


def python_against_floor() -> None:
    """Each name is timed through both functions, so the name's conversion
    costs the same on both sides."""
    with tempfile.TemporaryDirectory() as work:
        build_floor_module(Path(work))
        for kind, name in probe_names()[1:-1]:
            floor = ns_per_call(f"sample({name!r}, p)", "from binding_floor import sample; p = 1000")
            cost = ns_per_call(f"sample({name!r}, p)", "from kinetrope import sample; p = 1000")
            print(f"python  sample({kind:13s})  {name:28s} {cost:8.1f} ns/call, bare pybind11 floor "
                  f"{floor:6.1f} ns ({cost / floor:.2f}x floor)")


def table_bytes() -> int:
    return sum(row["period_pips"] for row in kinetrope.catalogue()[FORMULA_COUNT:]) * 24


def size() -> None:
    so = os.path.getsize(kinetrope.__file__)
    tables = table_bytes()
    print(f"size    shared object {so:,} bytes; tables {tables:,} bytes ({tables / so:.0%} of it)")


def timed(command: list, cwd: Path) -> float:
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, capture_output=True)
    return time.perf_counter() - start


def build_steps() -> None:
    try:
        import pybind11
    except ImportError:
        sys.exit("--build needs pybind11 in this environment: pip install 'pybind11>=3' ninja cmake")
    with tempfile.TemporaryDirectory() as work:
        build = Path(work)
        configure = timed(["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                           f"-Dpybind11_DIR={pybind11.get_cmake_dir()}"], build)
        generator = timed(["ninja", "kinetrope_tablegen", "kinetrope_core"], build)
        data = ROOT / "src" / "catalogue" / "generator"
        runs = [timed([build / "kinetrope_tablegen", data, build / "generated", "8"], build) for _ in range(5)]
        tables = timed(["ninja", "-j2", "kinetrope_catalogue"], build)
        rest = timed(["ninja", "-j2"], build)
    print(f"build   configure {configure:.1f} s; core + generator {generator:.1f} s; "
          f"generator run {min(runs) * 1e3:.0f} ms; catalogue objects (generated sources) {tables:.1f} s; "
          f"bindings + link {rest:.1f} s")


# Period distribution of the whole catalogue: 1716 tables, 24,549,888 bytes.
FULL_PERIODS = {512: 1304, 1024: 307, 256: 41, 768: 17, 352: 6, 416: 6, 448: 6, 224: 5, 288: 5, 480: 5,
                320: 4, 384: 4, 160: 3, 544: 1, 608: 1, 640: 1}


def synthetic_shards(directory: Path, shard_count: int) -> list[Path]:
    rng = random.Random(1716)
    periods = [p for p, n in FULL_PERIODS.items() for _ in range(n)]
    assert len(periods) == 1716 and sum(periods) * 24 == 24_549_888
    shards = [directory / f"tables_{i}.cpp" for i in range(shard_count)]
    files = [open(s, "w") for s in shards]
    for f in files:
        f.write('#include "kinetrope/pip.hpp"\nnamespace kinetrope_synthetic {\n')
    for index, period in enumerate(periods):
        f = files[index * shard_count // len(periods)]
        f.write(f"extern const kinetrope::Offset3 table_{index}[{period}];\n")
        f.write(f"const kinetrope::Offset3 table_{index}[{period}] = {{\n")
        for _ in range(period):
            f.write("{" + ",".join(float(round(rng.uniform(-1, 1), 12)).hex() for _ in range(3)) + "},\n")
        f.write(f"}};\nkinetrope::Offset3 sample_{index}(int pip) {{ return table_{index}"
                f"[kinetrope::wrap_pip(pip, {period})]; }}\n")
    for f in files:
        f.write("}\n")
        f.close()
    return shards


def compile_with_stats(source: Path) -> subprocess.Popen:
    command = ["/usr/bin/time", "-f", "%e %M", "c++", "-std=c++20", "-O3", "-fPIC", "-ffp-contract=off",
               f"-I{ROOT / 'include'}", "-c", str(source), "-o", str(source.with_suffix(".o"))]
    return subprocess.Popen(command, stderr=subprocess.PIPE, text=True)


def full_estimate(shard_count: int = 8) -> None:
    with tempfile.TemporaryDirectory() as work:
        start = time.perf_counter()
        shards = synthetic_shards(Path(work), shard_count)
        written = time.perf_counter() - start
        source_bytes = sum(s.stat().st_size for s in shards)
        start = time.perf_counter()
        stats = []
        for pair in range(0, shard_count, 2):  # two compilers at a time, as on this 2-core machine
            jobs = [compile_with_stats(s) for s in shards[pair:pair + 2]]
            stats += [job.communicate()[1].split()[-2:] for job in jobs]
        wall = time.perf_counter() - start
    peak_mib = max(int(rss) for _, rss in stats) / 1024
    print(f"full    synthetic 1716 tables / 24,549,888 bytes: {source_bytes / 1e6:.1f} MB of source in "
          f"{shard_count} shards (written by Python in {written:.1f} s)")
    print(f"full    compile with 2 jobs: {wall:.1f} s wall; per shard {min(float(t) for t, _ in stats):.1f}-"
          f"{max(float(t) for t, _ in stats):.1f} s; peak compiler memory {peak_mib:.0f} MiB")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--floor", action="store_true", help="compare sample with a bare pybind11 function")
    parser.add_argument("--build", action="store_true", help="time the build steps in a fresh build directory")
    parser.add_argument("--full-estimate", action="store_true", help="compile synthetic full-size tables")
    args = parser.parse_args()
    native_lookups()
    python_lookups()
    if args.floor:
        python_against_floor()
    size()
    if args.build:
        build_steps()
    if args.full_estimate:
        full_estimate()


if __name__ == "__main__":
    main()
