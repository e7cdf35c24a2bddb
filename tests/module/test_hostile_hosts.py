"""What a hostile host could do to end or exhaust the process: pickle an
instance, initialise one twice or while it is being initialised, change a
bytearray name while the call still converts, import the module into a
sub-interpreter, or offer inputs far past the limits. Cases that used to
end the process run in a child interpreter, so the suite survives them."""

import ast
import json
import os
import subprocess
import sys
import textwrap

import kinetrope
import pytest
from kinetrope import PatternLibrary, SampledPattern, SampledRecording

# The sanitizers' allocator pads every block and holds freed ones back.
PEAK_GROWTH_MIB = 800 if "ASAN_OPTIONS" in os.environ else 400


def run_child(code, timeout=120):
    """Runs code in a fresh interpreter; returns its stdout, failing on a crash or hang."""
    try:
        done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                              timeout=timeout, check=False)
    except subprocess.TimeoutExpired:
        pytest.fail("the child interpreter hung")
    assert done.returncode == 0, done.stderr[-2000:]
    return done.stdout


def test_pickling_and_copying_raise_type_error_at_every_protocol():
    out = run_child("""
        import copy, pickle
        import kinetrope as k

        class Child(k.SampledPattern):
            pass

        objects = [k.bounce(3), k.SampledPattern("p", "d", [(0, 0, 0)]), k.PatternLibrary(),
                   k.SampledRecording("r", ["x"], [[0.0]], 120), Child("c", "d", [(0, 0, 0)]),
                   k.SampledPattern.__new__(k.SampledPattern)]
        attempts = [lambda o, p=p: pickle.dumps(o, p) for p in range(pickle.HIGHEST_PROTOCOL + 1)]
        attempts += [copy.copy, copy.deepcopy, lambda o: o.__reduce__()]
        attempts += [lambda o, p=p: o.__reduce_ex__(p) for p in range(pickle.HIGHEST_PROTOCOL + 1)]
        attempts += [lambda o: type(o).__mro__[-2](), lambda o: type(o).__mro__[-2](o)]
        refused = 0
        for o in objects:
            for attempt in attempts:
                try:
                    attempt(o)
                except TypeError:
                    refused += 1
        # the classes still make instances, bare or built
        bare = Child.__new__(Child)
        bare.__init__("b", "d", [(0.5, 0, 0)])
        print(refused, len(objects) * len(attempts), bare.sample(0).x)
    """)
    refused, attempts, x = out.split()
    assert refused == attempts and x == "0.5"


REINITIALISE = {
    "recording from a float argument": """
        r = k.SampledRecording.__new__(k.SampledRecording)

        class F:
            def __float__(self):
                try:
                    k.SampledRecording.__init__(r, "b", ["y"], [[0.0]], 120)
                except TypeError as e:
                    refusals.append(str(e))
                return 120.0

        k.SampledRecording.__init__(r, "a", ["x"], [[0.0]], F())
        built = r.name
        again = lambda: r.__init__("c", ["x"], [[0.0]], 120)
    """,
    "pattern subclass from its own __init__": """
        class Child(k.SampledPattern):
            def __init__(self, name, again):
                super().__init__(name, "d", [(Again(self) if again else 0.5, 0, 0)])

        class Again:
            def __init__(self, owner):
                self.owner = owner

            def __float__(self):
                try:
                    Child.__init__(self.owner, "inner", False)
                except TypeError as e:
                    refusals.append(str(e))
                return 0.25

        r = Child("outer", True)
        built = r.name
        again = lambda: k.SampledPattern.__init__(r, "again", "d", [(0, 0, 0)])
    """,
    "library from its list's __iter__": """
        lib = k.PatternLibrary.__new__(k.PatternLibrary)

        class Patterns(list):
            def __iter__(self):
                try:
                    k.PatternLibrary.__init__(lib, [])
                except TypeError as e:
                    refusals.append(str(e))
                return super().__iter__()

        lib.__init__(Patterns([k.SampledPattern("own", "d", [(0.5, 0, 0)])]))
        built = lib.sample("own", 0).x
        again = lambda: lib.__init__([])
    """,
}


@pytest.mark.parametrize("case", REINITIALISE.values(), ids=REINITIALISE.keys())
def test_an_instance_is_initialised_once_and_freed_cleanly(case):
    out = run_child("import gc\nimport kinetrope as k\nrefusals = []\n" + textwrap.dedent(case) + textwrap.dedent("""
        # a second __init__ after the first is refused too, and changes nothing
        try:
            again()
        except TypeError as e:
            refusals.append(str(e))
        del again
        globals().pop("r", None), globals().pop("lib", None)
        gc.collect()
        print(repr(built), refusals)
    """))
    built, refusals = out.split(" ", 1)
    assert built in ("'a'", "'outer'", "0.5")
    messages = ast.literal_eval(refusals)
    assert len(messages) == 2
    assert all(m.startswith("kinetrope.") and m.endswith(" object is already initialised") for m in messages)


def test_a_refused_reinitialisation_leaves_a_bare_instance_usable():
    pattern = SampledPattern.__new__(SampledPattern)
    pattern.__init__("p", "d", [(0.5, 0, 0)])
    with pytest.raises(TypeError, match="^kinetrope.SampledPattern object is already initialised$"):
        pattern.__init__("q", "d", [(0.25, 0, 0)])
    assert pattern.name == "p" and pattern.sample(0).x == 0.5


class Resizes:
    """A pip whose __index__ clears, shrinks or grows the bytearray given as the name."""

    def __init__(self, name, action):
        self.name, self.action = name, action

    def __index__(self):
        if self.action == "clear":
            self.name.clear()
        elif self.action == "shrink":
            del self.name[1:]
        else:
            self.name.extend(b"z" * 65536)  # moves the buffer
        return 0


@pytest.mark.parametrize("action", ["clear", "shrink", "grow"])
@pytest.mark.parametrize("lookup", [kinetrope.sample, PatternLibrary().sample], ids=["sample", "library"])
def test_a_bytearray_name_is_the_bytes_it_held_when_converted(lookup, action):
    name = bytearray(b"q" * 4096)
    with pytest.raises(ValueError) as raised:
        lookup(name, Resizes(name, action))
    assert str(raised.value) == "Unknown dance rudiment: " + "q" * 4096
    name = bytearray(b"bounce")
    assert lookup(name, Resizes(name, action)).as_tuple() == kinetrope.bounce(0).as_tuple()


def test_an_object_offering_a_conduit_capsule_is_not_taken_as_an_instance():
    import datetime

    class Capsule:
        def _pybind11_conduit_v1_(self, *args):
            return datetime.datetime_CAPI

    with pytest.raises(TypeError):
        PatternLibrary([Capsule()])
    with pytest.raises(TypeError):
        vars(SampledPattern)["sample"](Capsule(), 0)


SUBINTERPRETER = """
    import sys
    try:
        import _interpreters as interpreters  # 3.13
        configs = ["isolated", "legacy"]
        run = lambda config: interpreters.run_string(interpreters.create(config), CODE)
    except ImportError:
        import _xxsubinterpreters as interpreters
        configs = ["isolated", "legacy"] if sys.version_info >= (3, 12) else ["legacy"]
        if sys.version_info >= (3, 12):
            run = lambda config: interpreters.run_string(interpreters.create(isolated=config == "isolated"), CODE)
        else:
            run = lambda config: interpreters.run_string(interpreters.create(), CODE)
    for config in configs:
        run(config)
    import kinetrope
    print(kinetrope.bounce(16).as_tuple() == kinetrope.sample("bounce", 16).as_tuple())
"""

SUBINTERPRETER_CODE = """
try:
    import kinetrope
    print("imported")
except ImportError as error:
    print("refused:", error)
"""


def test_a_subinterpreter_import_is_refused_with_import_error_and_the_main_one_still_works():
    out = run_child(f"CODE = {SUBINTERPRETER_CODE!r}\n" + textwrap.dedent(SUBINTERPRETER), timeout=60)
    lines = out.splitlines()
    assert lines[-1] == "True"
    assert lines[:-1] and all(
        line == "refused: module kinetrope does not support loading in subinterpreters" for line in lines[:-1])


LARGE = "[(0.5, 0.0, 0.0)] * 65535"
OVERSIZED = {
    "repeated large pattern": (f"p = k.SampledPattern('p', 'd', {LARGE})", "k.PatternLibrary([p] * 1024)",
                               "Duplicate pattern name: p"),
    "over the sample budget": (f"ps = [k.SampledPattern(f'p{{i}}', 'd', {LARGE}) for i in range(20)]",
                               "k.PatternLibrary(ps * 51)", "Pattern pack is too large"),
    "too many large patterns": (f"p = k.SampledPattern('p', 'd', {LARGE})", "k.PatternLibrary([p] * 1025)",
                                "Too many patterns"),
    "long rows": ("rows = [[0.0] * 8388608] * 20", "k.SampledRecording('r', ['x'], rows, 120)", "Ragged recording"),
    "too many rows after a long one": ("rows = [[0.0] * 4194304] + [[0.0, 0.0]] * 4194304",
                                       "k.SampledRecording('r', ['x', 'y'], rows, 120)",
                                       "Empty recording or recording resource limit exceeded"),
    "broadcast array": ("import numpy; rows = numpy.broadcast_to(numpy.zeros(8388608), (64, 8388608))",
                        "k.SampledRecording('r', ['x'], rows, 120)", "Ragged recording"),
    "long axis names": ("axes = ['a' * 2**20] * 1500", "k.SampledRecording('r', axes, [[0.0]], 120)",
                        "Invalid identifier"),
    "long bytearray axis names": ("axes = [bytearray(2**20)] * 1500", "k.SampledRecording('r', axes, [[0.0]], 120)",
                                  "Invalid identifier"),
}


@pytest.mark.parametrize("setup, call, message", OVERSIZED.values(), ids=OVERSIZED.keys())
def test_oversized_input_fails_with_the_core_message_in_bounded_memory(setup, call, message):
    out = run_child(f"""
        import json, resource
        import kinetrope as k
        {setup}
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        try:
            {call}
            error = None
        except ValueError as e:
            error = str(e)
        growth = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
        print(json.dumps([error, growth // 1024]), flush=True)
        import os, sys
        if "numpy" in sys.modules:
            os._exit(0)  # numpy keeps objects to the end that LeakSanitizer would report
    """)
    error, growth_mib = json.loads(out)
    assert error == message
    assert growth_mib < PEAK_GROWTH_MIB


def test_a_library_at_the_sample_budget_is_still_built():
    patterns = [SampledPattern(f"p{i}", "d", [(0.5, 0, 0)] * 65535) for i in range(16)]
    library = PatternLibrary([*patterns, SampledPattern("last", "d", [(0.25, 0, 0)] * 16)])
    assert len(library.catalogue()) == len(kinetrope.catalogue()) + 17
    with pytest.raises(ValueError, match="^Pattern pack is too large$"):
        PatternLibrary([*patterns, SampledPattern("last", "d", [(0.25, 0, 0)] * 17)])


def test_a_short_axis_name_among_long_ones_is_still_checked_in_order():
    with pytest.raises(ValueError, match="^Duplicate axis$"):
        SampledRecording("r", ["x", "x", "a" * 200], [[0.0, 0.0, 0.0]], 120)
    with pytest.raises(ValueError, match="^Invalid identifier$"):
        SampledRecording("r", ["x", "a" * 129, "x"], [[0.0, 0.0, 0.0]], 120)
    assert SampledRecording("r", ["a" * 128], [[0.5]], 120).dimensions == ["a" * 128]
