import random
import shutil
import subprocess

import kinetrope
import kinetrope_grooves
import pytest

from conftest import installed_include_dir
from native_symbols import exported_symbols
from formula_table import FORMULA_NAMES, INT32_MAX, INT32_MIN

WRAP_CASES = [
    (-1, 64, 63),
    (-64, 64, 0),
    (-65, 64, 63),
    (64, 64, 0),
    (300, 256, 44),
    (-300, 256, 212),
    (7, 0, 0),
    (7, -5, 0),
    (INT32_MIN, 64, 0),
    (INT32_MAX, 64, 63),
    (INT32_MIN, 100, 52),
    (INT32_MAX, 1024, 1023),
    (INT32_MIN, INT32_MAX, INT32_MAX - 1),
    (INT32_MAX, INT32_MAX, 0),
    (INT32_MIN, INT32_MIN, 0),
    (INT32_MIN, 1, 0),
]


def reference_wrap(pip, period):
    return pip % period if period > 0 else 0


def wrap_sweep():
    """Pips spread over the whole signed 32-bit range against assorted periods."""
    rng = random.Random(64)
    periods = [1, 2, 3, 7, 32, 64, 100, 256, 448, 1024, 65535, INT32_MAX, 0, -1, -64, INT32_MIN]
    pips = [INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX - 1, INT32_MAX]
    pips += [rng.randint(INT32_MIN, INT32_MAX) for _ in range(300)]
    return [(pip, period) for pip in pips for period in periods]


def run_wrap(native_program, cases):
    query = "".join(f"wrap {pip} {period}\n" for pip, period in cases)
    return [int(line) for line in native_program("consumer.cpp", query).split()]


def test_public_headers_are_installed():
    headers = {p.name for p in (installed_include_dir() / "kinetrope").glob("*.hpp")}
    assert {"kinetrope.hpp", "pip.hpp", "moves.hpp", "rudiments.hpp"} <= headers



def test_only_the_entry_point_and_the_native_api_are_exported():
    exported = exported_symbols()
    expected = {"PyInit_kinetrope", "kinetrope::wrap_pip(int, int)"}
    expected |= {f"kinetrope::{name}(int)" for name in FORMULA_NAMES}
    expected |= {"kinetrope::grooves::motion_names()", "kinetrope::grooves::voice_name(kinetrope::grooves::Voice)"}
    assert expected <= exported
    leaked = {s for s in exported - {"PyInit_kinetrope"} if not s.startswith("kinetrope")}
    leaked |= {s for s in exported if "::detail::" in s}
    assert not leaked


def test_native_wrap_pip_edge_cases(native_program):
    got = run_wrap(native_program, [(pip, period) for pip, period, _ in WRAP_CASES])
    assert got == [want for _, _, want in WRAP_CASES]


def test_native_wrap_pip_matches_floor_modulo_over_the_32_bit_range(native_program):
    cases = wrap_sweep()
    assert run_wrap(native_program, cases) == [reference_wrap(pip, period) for pip, period in cases]


def test_native_formula_functions_agree_bit_for_bit_with_python(native_program):
    pips = [INT32_MIN, -1, 0, 1, 7, 12, 31, 63, 64, 100, 127, 128, 255, 256, 1000, INT32_MAX]
    cases = [(name, pip) for name in FORMULA_NAMES for pip in pips]
    output = native_program("consumer.cpp", "".join(f"{name} {pip}\n" for name, pip in cases))
    native = [tuple(float.fromhex(v) for v in line.split()) for line in output.splitlines()]
    python = [getattr(kinetrope, name)(pip).as_tuple() for name, pip in cases]
    assert [tuple(v.hex() for v in row) for row in native] == [tuple(v.hex() for v in row) for row in python]


@pytest.mark.parametrize(
    "name, pip, expected",
    [
        ("circle", 0, (6.123233995736766e-17, -1.0, 0.0)),
        ("flam", 7, (-0.053103299880171206, -0.2822129843092639, 0.0)),
    ],
)
def test_native_formula_values(native_program, name, pip, expected):
    line = native_program("consumer.cpp", f"{name} {pip}\n")
    assert tuple(float.fromhex(v) for v in line.split()) == expected


def test_native_grooves_engine_renders_as_the_grooves_module_does(native_program):
    score = "meter 7/8\nswing 0.6\nbars 1\nkick 9...9...9.....\nclap @ 64:8 160:0.7\nhat 3.3.3.3.3.3.3.\n"
    python = []
    for suffix, dims, samples in kinetrope_grooves.render(kinetrope_grooves.parse_score(score)):
        python += [f"{suffix} {dims}", *(" ".join(v.hex() for v in s) for s in samples)]
    native = native_program("grooves_consumer.cpp", score).splitlines()
    assert [" ".join(float.fromhex(v).hex() for v in line.split()) if line.startswith(("0x", "-0x")) else line
            for line in native] == python
    assert native_program("grooves_consumer.cpp", "meter 7/8\nbars 1\nkick 9...\n") == (
        "refused line 3: grid must have 14 steps a bar\n")
