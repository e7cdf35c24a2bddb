#!/usr/bin/env bash
# Hardening run: the module and the native test programs under
# AddressSanitizer and UndefinedBehaviorSanitizer with the whole pytest suite
# (eight Python threads sharing the module's objects among it), the libFuzzer
# harnesses of fuzz/ for a bounded number of inputs, the Python surface
# fuzzed with atheris against the sanitized module, the threaded catalogue
# test under ThreadSanitizer, and Valgrind's memcheck over the native test
# programs and a run of the Python surface. Any sanitizer or memcheck report,
# leak, crash or broken property fails the run.
#
#   tools/harden.sh [all|sanitize|fuzz|threads|memcheck]    (default: all)
#
# KINETROPE_FUZZ_SCALE scales the inputs run per harness, in percent (default
# 100: 1.43 million in all, and 90 s of the Python surface); KINETROPE_HARDEN_DIR
# is the build folder (default build/harden); KINETROPE_PLAIN_PYTHON names an
# interpreter with this tree's plain (unsanitized) module installed, for memcheck.
# Installs clang and its fuzzing runtime, and Valgrind, from Debian's
# packages when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${KINETROPE_HARDEN_DIR:-$root/build/harden}
fuzz_scale=${KINETROPE_FUZZ_SCALE:-100}
harnesses=(sample sampled_pattern pattern_library sampled_recording score_text)
sanitizers=address,undefined
mkdir -p "$out"

step() { printf '\n== %s (%s)\n' "$1" "$(date -u +%H:%M:%S)"; }

# The module, its native tests and the threaded test are built with the
# system compiler (GCC) and its sanitizer runtimes; the fuzz harnesses need
# libFuzzer, so they are built with clang, which runs the table generator
# from the GCC build (clang rejects one of the generator's sources).
clang_version=16

ensure_clang() {
    if ! command -v "clang++-$clang_version" >/dev/null ||
        [ ! -e "$("clang++-$clang_version" -print-resource-dir)/lib/linux/libclang_rt.fuzzer-x86_64.a" ]; then
        step "installing clang $clang_version and its runtimes"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "clang-$clang_version" \
            "libclang-rt-$clang_version-dev" >/dev/null
    fi
    export ASAN_SYMBOLIZER_PATH="/usr/lib/llvm-$clang_version/bin/llvm-symbolizer"
}

# One virtual environment for the sanitized build and its test run.
ensure_venv() {
    if [ ! -x "$out/venv/bin/python" ]; then
        python3 -m venv "$out/venv"
    fi
    "$out/venv/bin/python" -m pip install -q scikit-build-core 'pybind11>=3' pytest pytest-xdist atheris
}

# Interpreter-side settings for every process of a sanitized run; native
# programs started by the tests inherit them.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$root/tools/lsan-python.supp:print_suppressions=0"

build_asan() {
    step "sanitized build ($sanitizers)"
    ensure_venv
    "$out/venv/bin/python" -m pip install -q --no-build-isolation -Cbuild-dir="$out/asan" \
        -Ccmake.define.KINETROPE_SANITIZE="$sanitizers" "$root[test]"
}

pybind11_dir() { "$out/venv/bin/python" -m pybind11 --cmakedir; }

build_fuzz() {
    [ -x "$out/asan/kinetrope_tablegen" ] || build_asan
    ensure_clang
    step "fuzz harnesses (clang $clang_version, $sanitizers)"
    CC=clang-$clang_version CXX=clang++-$clang_version cmake -S "$root" -B "$out/fuzz" \
        -DCMAKE_BUILD_TYPE=Release -DKINETROPE_SANITIZE="$sanitizers" -DKINETROPE_FUZZ=ON \
        -DKINETROPE_TABLEGEN="$out/asan/kinetrope_tablegen" -DPython_EXECUTABLE="$out/venv/bin/python" \
        -Dpybind11_DIR="$(pybind11_dir)" >/dev/null
    cmake --build "$out/fuzz" -j 2 --target "${harnesses[@]/#/fuzz_}" >/dev/null
}

asan_launcher() {
    local preload
    preload="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)"
    cat >"$out/venv/bin/python-asan" <<LAUNCH
#!/bin/bash
LD_PRELOAD="$preload" PYTHONMALLOC=malloc exec -a "\$0" "$out/venv/bin/python" "\$@"
LAUNCH
    chmod +x "$out/venv/bin/python-asan"
    # Every interpreter of the environment (pytest-xdist workers included)
    # drops the preload as it starts, once the runtime is loaded, so the
    # compilers and tools it starts are not run under the runtime.
    local site
    site=$("$out/venv/bin/python" -c 'import sysconfig; print(sysconfig.get_path("purelib"))')
    echo 'import os; os.environ.pop("LD_PRELOAD", None)' >"$site/kinetrope_harden_preload.pth"
}

sanitize() {
    build_asan
    step "pytest against the sanitized module"
    # Native programs built by the tests go through this compiler, so they
    # are instrumented too and load the same runtime.
    mkdir -p "$out/bin"
    cat >"$out/bin/c++" <<WRAP
#!/bin/sh
exec g++ -fsanitize=$sanitizers -fno-sanitize-recover=all -fno-omit-frame-pointer -g "\$@"
WRAP
    chmod +x "$out/bin/c++"
    # The interpreter is not instrumented, so the runtime is preloaded into it,
    # with the C++ library, whose throw ASan must find when it starts.
    # The version-check test is left out: the other CPython versions it starts
    # cannot load an instrumented module, which needs that runtime.
    # Python's own allocator is replaced by malloc so that ASan sees the
    # objects the module creates. The preload is dropped from the environment
    # once the interpreter runs: the compilers and tools the tests start are
    # not instrumented, and the programs that are link the runtime themselves
    # (see asan_launcher).
    # Interpreters the tests start (sys.executable) go through a launcher in
    # the environment that preloads the runtime again for them alone.
    # The companion's tests are left out too: it is pure Python, reaching the
    # module only through calls the other tests make, and its commands start
    # interpreters that load audio libraries whose own leaks LeakSanitizer
    # reports at exit. So are the README's commands, the example programs
    # (pygame, a WebSocket page) and the documentation build: they drive the
    # companion and other programs, reaching the module as the tests above do.
    # The suite is spread over one worker per core: under the sanitizers it is
    # the longest step of the run. Workers start through the launcher too.
    asan_launcher
    (PATH="$out/bin:$PATH" "$out/venv/bin/python-asan" -c '
import sys
import pytest
sys.exit(pytest.main(["-p", "no:cacheprovider", *sys.argv[1:]]))
' -q -n "$(nproc)" --ignore=tests/host --ignore=tests/docs \
        --ignore=tests/examples/test_readme.py --ignore=tests/examples/test_programs.py \
        --deselect "tests/module/test_version_check.py::test_import_under_another_minor_version_fails_and_leaves_nothing")
}

# Inputs per harness: at least a million in all. The counts follow what each
# input costs under the sanitizers: a pattern pack copies and compares whole
# built-in tables, a name lookup is a few comparisons; a score renders all
# sixteen motions of the parts it reads, so it gets the fewest, and the
# lookups give up what it takes.
declare -A fuzz_runs=([sample]=800000 [sampled_pattern]=150000 [sampled_recording]=250000 [pattern_library]=30000
                      [score_text]=20000)

run_harness() {
    local harness=$1 runs=$(( ${fuzz_runs[$1]} * fuzz_scale / 100 ))
    local scratch="$out/corpus/$harness" log="$out/fuzz_$harness.log"
    rm -rf "$scratch" && mkdir -p "$scratch"
    # Every input that once broke a harness is run again first.
    local regressions=("$root/fuzz/regressions/$harness"/*)
    if [ -e "${regressions[0]}" ] && ! "$out/fuzz/fuzz_$harness" "${regressions[@]}" >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "fuzz_$harness fails on a regression input" >&2
        return 1
    fi
    # New inputs go to the scratch folder; the seeds in the repository stay as they are.
    if ! nice -n 10 "$out/fuzz/fuzz_$harness" -runs="$runs" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
        -artifact_prefix="$out/crash_$harness-" "$scratch" "$root/fuzz/corpus/$harness" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz_$harness failed; the input is in $out/crash_$harness-*" >&2
        return 1
    fi
}

# The Python surface: atheris drives the sanitized module through the
# interpreter (preloaded with the sanitizer runtime), for a bounded time.
# Its coverage is that of the harness's own branches, which pick the shapes
# of the objects; the module is watched by the sanitizers.
run_python_surface() {
    local scratch="$out/corpus/python_surface" log="$out/fuzz_python_surface.log"
    local seconds=$(( 90 * fuzz_scale / 100 ))
    rm -rf "$scratch" && mkdir -p "$scratch"
    if ! nice -n 10 "$out/venv/bin/python-asan" "$root/fuzz/fuzz_python_surface.py" -max_total_time="$seconds" \
        -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 -artifact_prefix="$out/crash_python_surface-" \
        "$scratch" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "the Python surface fuzzer failed; the input is in $out/crash_python_surface-*" >&2
        return 1
    fi
}

fuzz() {
    build_fuzz
    [ -x "$out/venv/bin/python-asan" ] || asan_launcher
    step "fuzzing ${harnesses[*]} python_surface"
    # Two at a time, one per core: the slowest harness alone, the rest after one another.
    run_harness pattern_library &
    local slow=$!
    local status=0
    run_harness sample && run_harness sampled_pattern && run_harness sampled_recording && run_harness score_text &&
        run_python_surface ||
        status=1
    wait "$slow" || status=1
    [ "$status" = 0 ] || exit 1
    local total=0 harness units
    for harness in "${harnesses[@]}" python_surface; do
        units=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/fuzz_$harness.log")
        printf '%-18s %8d inputs  %s\n' "$harness" "$units" \
            "$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$out/fuzz_$harness.log" | tail -n 1)"
        total=$((total + units))
    done
    echo "fuzz inputs run: $total"
}

threads() {
    [ -x "$out/asan/kinetrope_tablegen" ] || build_asan
    step "threaded catalogue test under ThreadSanitizer"
    cmake -S "$root" -B "$out/tsan" -DCMAKE_BUILD_TYPE=Release -DKINETROPE_SANITIZE=thread \
        -DKINETROPE_TABLEGEN="$out/asan/kinetrope_tablegen" -DPython_EXECUTABLE="$out/venv/bin/python" \
        -Dpybind11_DIR="$(pybind11_dir)" >/dev/null
    cmake --build "$out/tsan" --target kinetrope_threads -j 2 >/dev/null
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$out/tsan/kinetrope_threads" >"$out/threads.out"
    head -n 1 "$out/threads.out"
}

# Uninitialised reads: Valgrind's memcheck, on a build without sanitizers.
# MemorySanitizer would need every instruction that touches the memory
# instrumented, the interpreter's and the C++ library's included; a stock
# CPython is not, so it would report Python's own reads. Valgrind checks the
# unmodified interpreter and module as they are.
memcheck() {
    if ! command -v valgrind >/dev/null; then
        step "installing valgrind"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq valgrind >/dev/null
    fi
    # An interpreter that already has this tree's plain module and the test
    # extra (CI's, after the test command) saves building it again.
    local python=${KINETROPE_PLAIN_PYTHON:-}
    if [ -z "$python" ]; then
        step "plain build for memcheck"
        [ -x "$out/plain-venv/bin/python" ] || python3 -m venv "$out/plain-venv"
        python=$out/plain-venv/bin/python
        "$python" -m pip install -q scikit-build-core 'pybind11>=3' pytest
        local tablegen=()
        [ -x "$out/asan/kinetrope_tablegen" ] && tablegen=(-Ccmake.define.KINETROPE_TABLEGEN="$out/asan/kinetrope_tablegen")
        "$python" -m pip install -q --no-build-isolation -Cbuild-dir="$out/plain" "${tablegen[@]}" "$root[test]"
    fi
    local memcheck=(valgrind -q --error-exitcode=99 --leak-check=no)
    step "native test programs under memcheck"
    KINETROPE_NATIVE_RUNNER="${memcheck[*]}" "$python" -m pytest -q -p no:cacheprovider tests/native \
        tests/module/test_threads.py tests/module/test_lookup.py tests/catalogue/test_catalogue.py
    step "the Python surface under memcheck"
    # The interpreter's own start-up is not clean under memcheck. What the
    # same script reports when it starts, imports and exits without running
    # one input is suppressed, at exactly those 40-frame stacks, so a report
    # from a call into the module still fails the run.
    local surface=("$python" "$root/fuzz/fuzz_python_surface.py" --replay)
    PYTHONMALLOC=malloc "${memcheck[@]}" --num-callers=40 --gen-suppressions=all \
        --log-file="$out/memcheck-startup.log" "${surface[@]}" 0 || true
    sed -n '/^{/,/^}/p' "$out/memcheck-startup.log" >"$out/memcheck-startup.supp"
    # 800 inputs take each of the harness's branches many times over under
    # memcheck (the slowest step of the run); the fuzzers drive the same
    # surface far longer under the sanitizers.
    PYTHONMALLOC=malloc "${memcheck[@]}" --num-callers=40 --suppressions="$out/memcheck-startup.supp" \
        "${surface[@]}" 800
}

case "${1:-all}" in
    all)
        sanitize
        fuzz
        threads
        memcheck
        ;;
    sanitize) sanitize ;;
    fuzz) fuzz ;;
    threads) threads ;;
    memcheck) memcheck ;;
    *) echo "usage: $0 [all|sanitize|fuzz|threads|memcheck]" >&2; exit 2 ;;
esac
