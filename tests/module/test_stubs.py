"""The installed type stubs against the module as it runs.

stubtest checks that both have the same names of the same kinds; it cannot
read the signatures of bound functions, so the parameters are compared with
the signatures the binding layer generates, and the argument types with what
the module accepts: one mypy run types a file of calls, and each call is also
made for real, so mypy must flag exactly the calls the module refuses.
"""

import ast
import re
import subprocess
import sys
from decimal import Decimal
from fractions import Fraction
from pathlib import Path

import kinetrope
import pytest

pytest.importorskip("mypy")

REPO_DIR = Path(__file__).parents[2]
# The stub package installs next to the module.
STUB = Path(kinetrope.__file__).parent / "kinetrope-stubs" / "__init__.pyi"

HELPERS = '''\
from collections.abc import KeysView
from decimal import Decimal
from fractions import Fraction

import kinetrope


class Index:
    def __index__(self) -> int:
        return 3


pattern = kinetrope.SampledPattern("p", "d", [(0.0, 0.5, 0.0)] * 8)
library = kinetrope.PatternLibrary([pattern])
recording = kinetrope.SampledRecording("r", ["x", "y"], [[0.0, 0.1]] * 8, 120.0)
'''

# Calls, and whether the module takes them. Two refusals no static type can
# express are left out: a str given as a list of names, and a sample of other
# than three numbers.
CALLS = [
    # Pips where implicit conversion is allowed: no float, whatever its value.
    *[(f"kinetrope.bounce({pip})", ok) for pip, ok in [
        ("3", True), ("True", True), ("Index()", True), ("Decimal('3.7')", True), ("Fraction(7, 2)", True),
        ("3.0", False), ("'3'", False), ("None", False)]],
    ("kinetrope.sample('bounce', Decimal(3))", True),
    ("kinetrope.sample('bounce', 3.0)", False),
    ("kinetrope.SampledRecording('r', ['x'], [[0.0]], 120.0, 0.0, Fraction(4))", True),
    ("kinetrope.SampledRecording('r', ['x'], [[0.0]], 120.0, 0.0, 4.0)", False),
    # Strict pips: not even other numbers.
    *[(call.format(pip), ok) for call in ["pattern.sample({})", "library.sample('p', {})", "recording.sample({})"]
      for pip, ok in [("3", True), ("True", True), ("Index()", True), ("Decimal(3)", False), ("3.0", False)]],
    # Names and texts.
    *[(f"kinetrope.sample({name}, 0)", ok) for name, ok in [
        ("'bounce'", True), ("b'bounce'", True), ("bytearray(b'bounce')", True),
        ("memoryview(b'bounce')", False), ("None", False), ("3", False)]],
    ("library.sample(b'p', 0)", True),
    ("kinetrope.SampledPattern(bytearray(b'p'), b'd', [(0, 0, 0)])", True),
    ("kinetrope.SampledPattern('p', None, [(0, 0, 0)])", False),
    # The containers a list argument may be.
    *[(f"kinetrope.SampledPattern('p', 'd', {samples})", ok) for samples, ok in [
        ("[(0.0, 0.0, 0.0)]", True), ("((0, 0, 0),)", True), ("[[Decimal(0), Fraction(0), True]]", True),
        ("{(0.0, 0.0, 0.0)}", True), ("frozenset({(0.0, 0.0, 0.0)})", True),
        ("(t for t in [(0.0, 0.0, 0.0)])", True), ("[(v for v in (0.0, 0.0, 0.0))]", True),
        ("{(0.0, 0.0, 0.0): 1}.keys()", True), ("{1: (0.0, 0.0, 0.0)}.values()", True),
        ("map(tuple, [[0.0, 0.0, 0.0]])", True), ("zip([0.0], [0.0], [0.0])", True),
        ("iter([(0.0, 0.0, 0.0)])", False), ("KeysView({(0.0, 0.0, 0.0): 1})", False),
        ("{(0.0, 0.0, 0.0): 1}", False), ("'abc'", False),
        ("[('0', 0, 0)]", False), ("None", False)]],
    *[(f"kinetrope.SampledRecording('r', {axes}, [[0.0]], 120.0)", ok) for axes, ok in [
        ("('x',)", True), ("[b'x']", True), ("(a for a in ['x'])", True), ("[None]", False), ("iter(['x'])", False)]],
    *[(f"kinetrope.SampledRecording('r', ['x'], [[0.0]], {bpm})", ok) for bpm, ok in [
        ("120", True), ("Decimal(120)", True), ("Fraction(120)", True), ("'120'", False), ("None", False)]],
    *[(f"kinetrope.PatternLibrary({patterns})", ok) for patterns, ok in [
        ("", True), ("[]", True), ("(pattern,)", True), ("{pattern}", True), ("pattern", False), ("None", False),
        ("[None]", False)]],
    # Names, keywords and arity.
    ("kinetrope.sample(name='bounce', pip_count=16)", True),
    ("kinetrope.bounce(pip=16)", False),
    ("kinetrope.bounce(arg0=16)", False),
    ("kinetrope.bounce()", False),
    ("kinetrope.bounce(1, 2)", False),
    ("kinetrope.catalogue(1)", False),
    ("kinetrope.SampledPattern(name='p', description='d', samples=[(0, 0, 0)])", True),
    ("kinetrope.SampledRecording(name='r', dimensions=['x'], samples=[[0.0]], bpm=1.0, beat_zero_seconds=0.5, "
     "start_pip=-3)", True),
    ("kinetrope.SampledRecording('r', ['x'], [[0.0]])", False),
    ("kinetrope.PatternLibrary(patterns=[pattern])", True),
    ("pattern.sample(pip_count=3)", True),
    ("library.sample(name='p', pip_count=3)", True),
    ("recording.sample(pip=3)", True),
    ("recording.sample(pip_count=3)", False),
    ("kinetrope.Offset3()", False),
    ("kinetrope.Offset3(0.0, 0.0, 0.0)", False),
]

ROW = "TypedDict(kinetrope.CatalogueRow, {'name': str, 'description': str, 'period_pips': int, 'dimensions': int})"

# Results, the type mypy infers, and a check of the value the module returns.
RESULTS = [
    ("kinetrope.PIPS_PER_BEAT", "Literal[64]?", lambda v: type(v) is int),
    ("kinetrope.helix(3)", "kinetrope.Offset3", lambda v: type(v) is kinetrope.Offset3),
    ("kinetrope.helix(3).z", "float", lambda v: type(v) is float),
    ("kinetrope.helix(3).as_tuple()", "tuple[float, float, float]",
     lambda v: type(v) is tuple and len(v) == 3 and all(type(c) is float for c in v)),
    ("kinetrope.sample('lfo_breathe', 3)", "kinetrope.Offset3", lambda v: type(v) is kinetrope.Offset3),
    ("kinetrope.catalogue()[0]", ROW,
     lambda v: type(v) is dict and list(v) == ["name", "description", "period_pips", "dimensions"]
     and [type(x) for x in v.values()] == [str, str, int, int]),
    ("library.catalogue()", f"list[{ROW}]",
     lambda v: type(v) is list and v[-1]["name"] == "p"),
    ("pattern.name", "str", lambda v: type(v) is str),
    ("pattern.description", "str", lambda v: type(v) is str),
    ("pattern.period_pips", "int", lambda v: type(v) is int),
    ("pattern.sample(1)", "kinetrope.Offset3", lambda v: type(v) is kinetrope.Offset3),
    ("library.sample('bounce', 1)", "kinetrope.Offset3", lambda v: type(v) is kinetrope.Offset3),
    ("recording.name", "str", lambda v: type(v) is str),
    ("recording.dimensions", "list[str]", lambda v: type(v) is list and type(v[0]) is str),
    ("recording.sample_count", "int", lambda v: type(v) is int),
    ("recording.bpm", "float", lambda v: type(v) is float),
    ("recording.beat_zero_seconds", "float", lambda v: type(v) is float),
    ("recording.start_pip", "int", lambda v: type(v) is int),
    ("recording.sample(1)", "list[float]", lambda v: type(v) is list and type(v[0]) is float),
]


def python_blocks(markdown: str) -> list[str]:
    return re.findall(r"^```python\n(.*?)^```$", markdown, flags=re.S | re.M)


@pytest.fixture(scope="module")
def mypy_report(tmp_path_factory):
    """One strict mypy run over the README's Python, examples/ and the calls
    above; returns {file name: {line: [messages]}}."""
    work = tmp_path_factory.mktemp("mypy")
    readme = work / "readme_examples.py"
    # The README shows other programs' own Python too (Blender's bpy), which ships no types.
    untyped_peers = '# mypy: disable-error-code="import-untyped"\n'
    readme.write_text(untyped_peers + "\n".join(python_blocks((REPO_DIR / "README.md").read_text())))
    calls = work / "calls.py"
    lines = [expression for expression, _ in CALLS]
    lines += [f"reveal_type({expression})" for expression, _, _ in RESULTS]
    calls.write_text(HELPERS + "\n".join(lines) + "\n")
    examples = sorted((REPO_DIR / "examples").glob("*.py"))
    command = [sys.executable, "-m", "mypy", "--strict", "--no-error-summary", "--cache-dir", str(work / "cache"),
               str(readme), str(calls), *map(str, examples)]
    done = subprocess.run(command, capture_output=True, text=True, cwd=work)
    assert done.returncode in (0, 1), done.stdout + done.stderr
    report: dict[str, dict[int, list[str]]] = {}
    for line in done.stdout.splitlines():
        match = re.match(r"(.+?):(\d+): (error|note): (.*)", line)
        assert match, line
        path, number, _, message = match.groups()
        report.setdefault(Path(path).name, {}).setdefault(int(number), []).append(message)
    first_call = HELPERS.count("\n") + 1
    return report, first_call


@pytest.mark.parametrize("module", ["kinetrope", "kinetrope_grooves"])
def test_stubtest_finds_stubs_and_module_alike(tmp_path, module):
    done = subprocess.run([sys.executable, "-m", "mypy.stubtest", module], capture_output=True, text=True,
                          cwd=tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr
    assert "no issues found in 1 module" in done.stdout


@pytest.mark.parametrize("path", ["readme_examples.py", *(p.name for p in (REPO_DIR / "examples").glob("*.py"))])
def test_documented_python_passes_strict_mypy(mypy_report, path):
    report, _ = mypy_report
    assert report.get(path, {}) == {}


def test_mypy_reports_a_float_pip_given_to_sample(mypy_report):
    report, first_call = mypy_report
    line = first_call + [e for e, _ in CALLS].index("kinetrope.sample('bounce', 3.0)")
    assert any('Argument 2 to "sample" has incompatible type "float"' in m for m in report["calls.py"][line])


def run_for_real(expression: str):
    namespace = {"Decimal": Decimal, "Fraction": Fraction}
    exec(HELPERS, namespace)
    return eval(expression, namespace)


@pytest.mark.parametrize("index, expression, accepted", [(i, e, ok) for i, (e, ok) in enumerate(CALLS)],
                         ids=[e for e, _ in CALLS])
def test_mypy_refuses_exactly_the_calls_the_module_refuses(mypy_report, index, expression, accepted):
    try:
        run_for_real(expression)
        runs = True
    except TypeError:
        runs = False
    assert runs == accepted, "the table is wrong about the module"
    report, first_call = mypy_report
    messages = report.get("calls.py", {}).get(first_call + index, [])
    assert (messages == []) == accepted, messages


@pytest.mark.parametrize("index, expression, revealed, check", [(i, *r) for i, r in enumerate(RESULTS)],
                         ids=[r[0] for r in RESULTS])
def test_result_types_match_the_values_returned(mypy_report, index, expression, revealed, check):
    assert check(run_for_real(expression))
    report, first_call = mypy_report
    assert report["calls.py"][first_call + len(CALLS) + index] == [f'Revealed type is "{revealed}"']


def stub_functions():
    """Every function of the stub, by the runtime object it describes."""
    tree = ast.parse(STUB.read_text())
    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            yield node.name, getattr(kinetrope, node.name), node
        elif isinstance(node, ast.ClassDef) and hasattr(kinetrope, node.name):
            for member in node.body:
                if isinstance(member, ast.FunctionDef) and not any(
                        isinstance(d, ast.Name) and d.id == "property" for d in member.decorator_list):
                    yield f"{node.name}.{member.name}", getattr(getattr(kinetrope, node.name), member.name), member


def parameters(function: ast.FunctionDef):
    """(name, positional only, default) of each parameter, in order."""
    args = function.args
    every = [(a, True) for a in args.posonlyargs] + [(a, False) for a in args.args]
    defaults = [None] * (len(every) - len(args.defaults)) + [ast.literal_eval(d) for d in args.defaults]
    return [(a.arg, only, default) for (a, only), default in zip(every, defaults)]


GENERATED = {name: runtime for name, runtime, _ in stub_functions() if not name.endswith("Offset3.__init__")}


@pytest.mark.parametrize("name", sorted(GENERATED))
def test_stub_parameters_are_the_bound_ones(name):
    """Names, order and defaults; a parameter bound without a name (shown
    as argN) must be positional-only in the stub, and only such a one."""
    runtime = ast.parse("def " + GENERATED[name].__doc__.splitlines()[0] + ": ...").body[0]
    stub = next(node for n, _, node in stub_functions() if n == name)
    runtime_parameters = [(n, bool(re.fullmatch(r"arg\d+", n)), d) for n, _, d in parameters(runtime)]
    stub_parameters = parameters(stub)
    assert len(stub_parameters) == len(runtime_parameters)
    for (stub_name, stub_only, stub_default), (name_, unnamed, default) in zip(stub_parameters, runtime_parameters):
        assert stub_only == unnamed and stub_default == default
        assert unnamed or stub_name == name_


def test_every_stub_item_has_a_one_line_docstring():
    tree = ast.parse(STUB.read_text())
    items = [node for node in ast.walk(tree) if isinstance(node, (ast.FunctionDef, ast.ClassDef))]
    assert len(items) > 40
    for node in items:
        doc = ast.get_docstring(node)
        assert doc and "\n" not in doc, node.name

