"""Arbitrary Python objects thrown at every function, constructor and method:
only the module's own failures come out (TypeError from conversion, the fixed
messages of the core), a refused constructor leaves no object behind, and the
module answers a valid call afterwards exactly as before."""

import copy
import gc
import math
import pickle
import weakref

import kinetrope
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from formula_table import FORMULA_NAMES, INT32_MAX, INT32_MIN

FIXED_MESSAGES = {
    "Invalid pattern name",
    "A pattern requires 1..65535 samples (one per pip)",
    "Pattern samples must be finite and within [-1, 1]",
    "Too many patterns",
    "Empty/moved-from pattern",
    "Pattern pack is too large",
    "Invalid identifier",
    "A finite positive BPM and beat origin are required",
    "Empty recording or recording resource limit exceeded",
    "Duplicate axis",
    "Ragged recording",
    "Invalid sample",
}
NAMED_MESSAGES = ("Unknown dance rudiment: ", "Duplicate pattern name: ", "Cannot override default pattern: ")
OUT_OF_RANGE = "Pip outside non-looping recording"

# Slow under the sanitizers; the examples are random, not stored between runs.
HOSTILE = settings(max_examples=150, deadline=None, database=None,
                   suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])


class RaisingIndex:
    def __index__(self):
        raise ZeroDivisionError("index")


class RaisingFloat:
    def __float__(self):
        raise ZeroDivisionError("float")


class RaisingIter:
    def __iter__(self):
        raise ZeroDivisionError("iter")

    def __len__(self):
        return 3

    def __getitem__(self, i):
        raise ZeroDivisionError("getitem")


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def generator(items):
    return (item for item in items)


class Lying:
    """A sequence whose __len__ changes from call to call and need not match
    the elements it yields."""

    def __init__(self, items, lengths):
        self.items, self.lengths, self.calls = items, lengths, 0

    def __len__(self):
        self.calls += 1
        return self.lengths[self.calls % len(self.lengths)]

    def __getitem__(self, i):
        if i >= len(self.items):
            raise IndexError
        return self.items[i]


class Mutator:
    """An element whose __float__ and __index__ change the list holding it."""

    def __init__(self, action, value):
        self.action, self.value, self.owner = action, value, []

    def _mutate(self):
        if self.action == "clear":
            self.owner.clear()
        elif self.action == "append":
            self.owner.append(self.value)
        else:
            del self.owner[:1]
        return self.value

    def __float__(self):
        return float(self._mutate())

    def __index__(self):
        return int(self._mutate())


class MutatingGetitem(Lying):
    """Each element fetched takes one off the end (or adds one)."""

    def __getitem__(self, i):
        if i >= len(self.items):
            raise IndexError
        item = self.items[i]
        if self.lengths[0] % 2:
            self.items.pop()
        elif len(self.items) < 8:
            self.items.append(item)
        return item


VALID_ARGS = {
    kinetrope.SampledPattern: ("again", "d", [(0.5, 0, 0)]),
    kinetrope.PatternLibrary: ([],),
    kinetrope.SampledRecording: ("again", ["x"], [[0.5]], 120.0),
}


class Reinitialises:
    """A number whose conversion initialises `target` (by default a fresh bare
    instance); a refusal is kept, as a host might swallow it."""

    def __init__(self, cls, value, target=None):
        self.cls, self.value, self.refused = cls, value, []
        self.target = cls.__new__(cls) if target is None else target

    def _init(self):
        try:
            self.cls.__init__(self.target, *VALID_ARGS[self.cls])
        except TypeError as error:
            self.refused.append(str(error))
        return self.value

    def __float__(self):
        return float(self._init())

    def __index__(self):
        return int(self._init())


def with_mutator(items, action, value):
    mutator = Mutator(action, value)
    items = [*items, mutator, *items]
    mutator.owner = items
    return items


CLASSES = (kinetrope.Offset3, kinetrope.SampledPattern, kinetrope.PatternLibrary, kinetrope.SampledRecording)


def bare(cls):
    """An instance made by __new__ alone, never initialised."""
    return cls.__new__(cls)


bare_instances = st.sampled_from(CLASSES).map(bare)
lying_lengths = st.lists(st.sampled_from([0, 1, 2, 3, 4, 2**31, 2**40, 2**59, 2**62]), min_size=1, max_size=3)


scalars = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(),
    st.integers(min_value=-2**300, max_value=2**300),
    st.sampled_from([INT32_MIN - 1, INT32_MIN, INT32_MAX, INT32_MAX + 1, 2**64, -2**63]),
    st.floats(allow_nan=True, allow_infinity=True),
    st.sampled_from([math.nan, math.inf, -math.inf, -0.0, 1.0, -1.0, 1.0000000000000002, 5e-324, 1e-308]),
    # surrogates and NUL included
    st.text(st.characters(codec=None, exclude_categories=()), max_size=12),
    st.text(st.sampled_from("ab_9Z\0 -\u00e9\ud800"), max_size=8),
    st.binary(max_size=12),
    st.binary(max_size=12).map(bytearray),
    st.builds(RaisingIndex),
    st.builds(RaisingFloat),
    st.builds(RaisingIter),
    st.integers(min_value=-2**40, max_value=2**40).map(Index),
    st.sampled_from([object(), type, kinetrope.Offset3, range(10**7), {"x": 1}, {1, 2, 3}]),
    bare_instances,
    st.builds(Mutator, st.sampled_from(["clear", "append", "pop"]), st.sampled_from([0, 1, 0.5, -1.0])),
    st.builds(Reinitialises, st.sampled_from(list(VALID_ARGS)), st.sampled_from([0, 1, 0.5])),
)


def containers(children):
    return st.one_of(
        st.lists(children, max_size=5),
        st.lists(children, max_size=5).map(tuple),
        st.lists(children, max_size=5).map(generator),
        st.dictionaries(st.text(max_size=3), children, max_size=3),
        st.dictionaries(st.integers(), children, max_size=3).map(lambda d: d.values()),
        st.builds(Lying, st.lists(children, max_size=5), lying_lengths),
        st.builds(MutatingGetitem, st.lists(children, max_size=5), lying_lengths),
        st.builds(with_mutator, st.lists(children, max_size=3), st.sampled_from(["clear", "append", "pop"]),
                  children),
    )


anything = st.recursive(scalars, containers, max_leaves=20)

# Samples that are almost right: triples and rows of numbers, with the odd
# hostile element or length.
numbers = st.one_of(st.floats(min_value=-1, max_value=1), st.floats(allow_nan=True), st.integers(-2, 2), scalars)
triples = st.lists(st.lists(numbers, min_size=2, max_size=4), max_size=6)
axis_names = st.lists(st.one_of(st.sampled_from(["x", "y", "z", "x", "Y", "1x"]), scalars), max_size=4)


def check_failure(error):
    """Only the exception types and messages the module can raise."""
    if isinstance(error, ValueError):
        assert type(error) is ValueError, repr(error)
        message = str(error)
        assert message in FIXED_MESSAGES or message.startswith(NAMED_MESSAGES), message
    elif isinstance(error, IndexError):
        assert str(error) == OUT_OF_RANGE
    elif isinstance(error, ZeroDivisionError):
        # A container's own failure while it is read is a pending Python
        # error and comes through unchanged; a failing __index__ or
        # __float__ must instead end in TypeError.
        assert str(error) in ("iter", "getitem"), repr(error)
    else:
        assert type(error) is TypeError, repr(error)


def in_range(values):
    return all(math.isfinite(v) and -1.0 <= v <= 1.0 for v in values)


def call(function, *args):
    """Calls with hostile arguments; returns the result or None after an
    allowed failure."""
    try:
        return function(*args)
    except Exception as error:  # noqa: BLE001: every type is checked
        check_failure(error)
        return None


REFERENCE_PATTERN = kinetrope.SampledPattern("ref", "reference", [(0.25, -0.5, 1.0), (-1.0, 0.0, 0.125)])
REFERENCE_LIBRARY = kinetrope.PatternLibrary([REFERENCE_PATTERN])
REFERENCE_RECORDING = kinetrope.SampledRecording("ref", ["x", "y"], [[0.5, -0.5], [1.0, 0.0]], 120.0, 0.0, -1)


def reference_values():
    return (
        kinetrope.sample("lfo_breathe", 300).as_tuple(),
        kinetrope.bounce(16).as_tuple(),
        REFERENCE_PATTERN.sample(3).as_tuple(),
        REFERENCE_LIBRARY.sample("ref", -1).as_tuple(),
        REFERENCE_LIBRARY.sample("helix", 77).as_tuple(),
        REFERENCE_RECORDING.sample(0),
        len(kinetrope.catalogue()),
    )


BEFORE = reference_values()


@pytest.fixture(autouse=True)
def later_valid_calls_answer_as_before():
    yield
    assert reference_values() == BEFORE


def construct_leaving_nothing(cls, *args):
    """Constructs a Python subclass; after a refusal, the half-made object must
    be gone."""
    refs = []

    class Watched(cls):
        def __init__(self, *given):
            refs.append(weakref.ref(self))
            super().__init__(*given)

    try:
        return Watched(*args)
    except Exception as error:  # noqa: BLE001
        check_failure(error)
    # Out of the handler the traceback no longer holds the frame. A full
    # collection only when something still holds it: in a worker that has run
    # thousands of tests, collecting after every refusal costs seconds.
    if refs and refs[0]() is not None:
        gc.collect()
    assert refs and refs[0]() is None
    return None


@HOSTILE
@given(name=st.sampled_from(FORMULA_NAMES), pip=anything)
def test_formula_functions(name, pip):
    result = call(getattr(kinetrope, name), pip)
    assert result is None or in_range(result.as_tuple())


def lookup(function, name, pip):
    """A name lookup: an unknown name is named whole in the message, every
    byte of it, the bytes that are not UTF-8 as surrogate escapes."""
    try:
        result = function(name, pip)
    except ValueError as error:
        check_failure(error)
        assert isinstance(name, (str, bytes, bytearray)), repr(error)
        raw = name.encode() if isinstance(name, str) else bytes(name)
        assert str(error).encode("utf-8", "surrogateescape") == b"Unknown dance rudiment: " + raw
        return None
    except Exception as error:  # noqa: BLE001: every type is checked
        check_failure(error)
        return None
    assert in_range(result.as_tuple())
    return result


@HOSTILE
@given(name=st.one_of(st.sampled_from(["bounce", "lfo_breathe", "helix"]), anything), pip=anything)
def test_sample(name, pip):
    lookup(kinetrope.sample, name, pip)


@given(pip=st.integers(min_value=-2**70, max_value=2**70))
@HOSTILE
def test_sample_takes_exactly_the_32_bit_ints(pip):
    if INT32_MIN <= pip <= INT32_MAX:
        assert kinetrope.sample("lfo_breathe", pip).as_tuple() == kinetrope.sample("lfo_breathe", pip % 256).as_tuple()
    else:
        with pytest.raises(TypeError):
            kinetrope.sample("lfo_breathe", pip)


@HOSTILE
@given(args=st.lists(anything, max_size=3))
def test_wrong_argument_counts_are_type_errors(args):
    with pytest.raises(TypeError):
        kinetrope.Offset3(*args)
    if args:
        for function in (kinetrope.catalogue, REFERENCE_LIBRARY.catalogue, kinetrope.bounce(0).as_tuple):
            with pytest.raises(TypeError):
                function(*args)
    if len(args) != 1:
        with pytest.raises(TypeError):
            REFERENCE_PATTERN.sample(*args)


@HOSTILE
@given(name=st.one_of(st.just("p"), anything), description=st.one_of(st.just("d"), anything),
       samples=st.one_of(triples, anything))
def test_sampled_pattern(name, description, samples):
    pattern = construct_leaving_nothing(kinetrope.SampledPattern, name, description, samples)
    if pattern is not None:
        assert 1 <= pattern.period_pips <= 65535
        assert all(in_range(pattern.sample(pip).as_tuple()) for pip in range(pattern.period_pips))


@HOSTILE
@given(pip=anything)
def test_sampled_pattern_sample(pip):
    result = call(REFERENCE_PATTERN.sample, pip)
    assert result is None or in_range(result.as_tuple())


@HOSTILE
@given(patterns=st.one_of(
    st.lists(st.one_of(st.just(REFERENCE_PATTERN), scalars), max_size=4), anything))
def test_pattern_library(patterns):
    library = construct_leaving_nothing(kinetrope.PatternLibrary, patterns)
    if library is not None:
        assert len(library.catalogue()) == len(kinetrope.catalogue()) + sum(
            p is REFERENCE_PATTERN for p in patterns if isinstance(patterns, list))
    # the given pattern is copied, never changed or taken over
    assert REFERENCE_PATTERN.sample(0).as_tuple() == (0.25, -0.5, 1.0)


@HOSTILE
@given(name=st.one_of(st.sampled_from(["ref", "bounce", "nope"]), anything), pip=anything)
def test_pattern_library_sample(name, pip):
    lookup(REFERENCE_LIBRARY.sample, name, pip)


@HOSTILE
@given(name=st.one_of(st.just("take"), anything), dimensions=st.one_of(axis_names, anything),
       samples=st.one_of(triples, anything), bpm=st.one_of(st.just(120.0), scalars),
       origin=st.one_of(st.just(0.0), scalars), start=st.one_of(st.just(0), scalars))
def test_sampled_recording(name, dimensions, samples, bpm, origin, start):
    recording = construct_leaving_nothing(kinetrope.SampledRecording, name, dimensions, samples, bpm, origin, start)
    if recording is not None:
        assert recording.sample_count >= 1 and recording.dimensions
        first = recording.sample(recording.start_pip)
        assert len(first) == len(recording.dimensions) and in_range(first)


@HOSTILE
@given(pip=anything)
def test_sampled_recording_sample(pip):
    result = call(REFERENCE_RECORDING.sample, pip)
    assert result is None or (len(result) == 2 and in_range(result))


MEMBERS = [
    (kinetrope.Offset3, "x", ()), (kinetrope.Offset3, "y", ()), (kinetrope.Offset3, "z", ()),
    (kinetrope.Offset3, "as_tuple", ()),
    (kinetrope.SampledPattern, "name", ()), (kinetrope.SampledPattern, "description", ()),
    (kinetrope.SampledPattern, "period_pips", ()), (kinetrope.SampledPattern, "sample", (0,)),
    (kinetrope.PatternLibrary, "sample", ("bounce", 0)), (kinetrope.PatternLibrary, "catalogue", ()),
    (kinetrope.SampledRecording, "name", ()), (kinetrope.SampledRecording, "dimensions", ()),
    (kinetrope.SampledRecording, "sample_count", ()), (kinetrope.SampledRecording, "bpm", ()),
    (kinetrope.SampledRecording, "beat_zero_seconds", ()), (kinetrope.SampledRecording, "start_pip", ()),
    (kinetrope.SampledRecording, "sample", (0,)),
]


@HOSTILE
@given(member=st.sampled_from(MEMBERS), receiver=st.one_of(bare_instances, anything))
def test_every_member_refuses_a_receiver_that_is_not_a_built_instance(member, receiver):
    cls, name, args = member
    attribute = cls.__dict__[name]
    function = attribute.fget if isinstance(attribute, property) else attribute
    with pytest.raises(TypeError):
        function(receiver, *args)


# Values that hostile samples may supply; anything else in a built object was
# never written by the caller.
POOL = (0.5, -0.25, 1.0, -1.0, 0.0, 0.125)
pool_numbers = st.one_of(
    st.sampled_from(POOL), st.sampled_from([0, 1, -1]),
    st.builds(Mutator, st.sampled_from(["clear", "append", "pop"]), st.sampled_from(POOL)),
)


def hostile_lists(elements, size):
    exact = st.lists(elements, min_size=size, max_size=size)
    return st.one_of(
        exact, exact.map(generator),
        st.lists(elements, min_size=size - 1, max_size=size + 1),
        st.builds(Lying, exact, lying_lengths),
        st.builds(MutatingGetitem, exact, lying_lengths),
        st.builds(with_mutator, st.lists(elements, max_size=2), st.sampled_from(["clear", "append", "pop"]),
                  elements),
    )


def supplied_only(values):
    return all(v in POOL for v in values)


@HOSTILE
@given(samples=hostile_lists(hostile_lists(pool_numbers, 3), 3))
def test_a_pattern_holds_only_values_its_samples_supplied(samples):
    pattern = construct_leaving_nothing(kinetrope.SampledPattern, "p", "d", samples)
    if pattern is not None:
        assert all(supplied_only(pattern.sample(pip).as_tuple()) for pip in range(pattern.period_pips))


@HOSTILE
@given(rows=hostile_lists(hostile_lists(pool_numbers, 2), 3), axes=hostile_lists(st.sampled_from(["x", "y"]), 2))
def test_a_recording_holds_only_values_its_rows_supplied(rows, axes):
    recording = construct_leaving_nothing(kinetrope.SampledRecording, "r", axes, rows, 120.0)
    if recording is not None:
        assert recording.dimensions in (["x"], ["y"], ["x", "y"], ["y", "x"])
        assert all(supplied_only(recording.sample(pip)) for pip in range(recording.sample_count))


class Child(kinetrope.SampledPattern):
    pass


def built(kind):
    return {
        "offset": lambda: kinetrope.bounce(3),
        "pattern": lambda: REFERENCE_PATTERN,
        "child": lambda: Child("c", "d", [(0.5, 0, 0)]),
        "library": lambda: REFERENCE_LIBRARY,
        "recording": lambda: REFERENCE_RECORDING,
    }[kind]()


COPIES = [*(lambda o, p=p: pickle.dumps(o, p) for p in range(pickle.HIGHEST_PROTOCOL + 1)),
          *(lambda o, p=p: o.__reduce_ex__(p) for p in range(pickle.HIGHEST_PROTOCOL + 1)),
          lambda o: o.__reduce__(), copy.copy, copy.deepcopy,
          lambda o: type(o).__mro__[-2](), lambda o: type(o).__mro__[-2](o),
          lambda o: type(o).__mro__[-2].__new__(type(o).__mro__[-2])]


@HOSTILE
@given(kind=st.sampled_from(["offset", "pattern", "child", "library", "recording", "bare"]),
       how=st.sampled_from(COPIES), cls=st.sampled_from(CLASSES))
def test_no_instance_can_be_pickled_or_copied(kind, how, cls):
    with pytest.raises(TypeError):
        how(bare(cls) if kind == "bare" else built(kind))


# Where a conversion of each constructor can run a hook: every number and list.
HOOKED_ARGS = [
    (kinetrope.SampledPattern, lambda h: ("again", "d", [(0.5, h, 0)])),
    (kinetrope.SampledPattern, lambda h: ("again", "d", [(h, 0, 0), (0, 0, 0)])),
    (kinetrope.SampledRecording, lambda h: ("again", ["x"], [[h]], 120.0)),
    (kinetrope.SampledRecording, lambda h: ("again", ["x"], [[0.5]], h)),
    (kinetrope.SampledRecording, lambda h: ("again", ["x"], [[0.5]], 120.0, h)),
    (kinetrope.SampledRecording, lambda h: ("again", ["x"], [[0.5]], 120.0, 0.0, h)),
    (kinetrope.PatternLibrary, lambda h: (Reinitialising(h),)),
]


@HOSTILE
@given(hooked=st.sampled_from(HOOKED_ARGS), nested=st.booleans(), first=st.booleans())
def test_an_instance_is_initialised_once_whoever_asks(hooked, nested, first):
    """A conversion in __init__ initialises the same instance (nested) or a
    bare one; the instance may already have been initialised (first)."""
    cls, make_args = hooked
    target = bare(cls)
    if first:
        cls.__init__(target, *VALID_ARGS[cls])
    hook = Reinitialises(cls, 1, target if nested else None)
    already = f"kinetrope.{cls.__name__} object is already initialised"
    try:
        cls.__init__(target, *make_args(hook))
        assert not first
    except TypeError as error:
        assert first and str(error) == already
    assert hook.refused == ([already] if nested and not first else [])
    # built exactly once: by the first call, or by this one
    assert len(target.catalogue() if cls is kinetrope.PatternLibrary else target.name) > 0
    del target, hook
    gc.collect()


class Reinitialising(list):
    """An empty list of patterns whose iteration runs the hook first."""

    def __init__(self, hook):
        super().__init__()
        self.hook = hook

    def __iter__(self):
        self.hook.__index__()
        return super().__iter__()


class Resizes:
    """A pip whose __index__ changes the bytearray given as the name."""

    def __init__(self, name, action, value):
        self.name, self.action, self.value = name, action, value

    def __index__(self):
        if self.action == "clear":
            self.name.clear()
        elif self.action == "shrink":
            del self.name[len(self.name) // 2:]
        elif self.action == "grow":
            self.name.extend(b"\xff" * 70000)
        else:
            self.name[:] = b"bounce"
        return self.value


@HOSTILE
@given(raw=st.one_of(st.binary(max_size=5000), st.sampled_from([b"bounce", b"ref", b"helix"])),
       action=st.sampled_from(["clear", "shrink", "grow", "rename"]), pip=st.integers(-300, 300),
       function=st.sampled_from([kinetrope.sample, REFERENCE_LIBRARY.sample]))
def test_a_name_is_what_the_bytearray_held_when_converted(raw, action, pip, function):
    name = bytearray(raw)
    try:
        result = function(name, Resizes(name, action, pip))
    except ValueError as error:
        assert str(error).encode("utf-8", "surrogateescape") == b"Unknown dance rudiment: " + raw
        return
    assert result.as_tuple() == function(bytes(raw), pip).as_tuple()


BIG = {i: kinetrope.SampledPattern(f"big{i}", "d", [(0.5, 0, 0)] * 65535) for i in range(17)}
SMALL = {i: kinetrope.SampledPattern(f"small{i}", "d", [(0.25, 0, 0)] * 1024) for i in range(3)}
WRONG_BUILTIN = kinetrope.SampledPattern("bounce", "not the built-in", [(0.5, 0, 0)])
EMPTY = bare(kinetrope.SampledPattern)


def core_verdict(patterns):
    """The core's checks, in its order, for a list of patterns."""
    if len(patterns) > 1024:
        return "Too many patterns"
    seen, total = set(), 0
    for pattern in patterns:
        if pattern.name in seen:
            return f"Duplicate pattern name: {pattern.name}"
        seen.add(pattern.name)
        total += pattern.period_pips
        if total > 1048576:
            return "Pattern pack is too large"
        if pattern is WRONG_BUILTIN:
            return "Cannot override default pattern: bounce"
    return None


oversized_packs = st.lists(st.one_of(
    st.tuples(st.sampled_from([BIG, SMALL]).flatmap(lambda pool: st.sampled_from(list(pool.values()))),
              st.sampled_from([1, 1, 2, 16, 64, 1023, 1025])),
    st.tuples(st.just(WRONG_BUILTIN), st.just(1)),
), min_size=1, max_size=4).map(lambda runs: [p for pattern, n in runs for p in [pattern] * n])


@settings(max_examples=40, deadline=None, database=None)
@given(patterns=oversized_packs)
def test_a_pack_past_its_limits_fails_as_the_core_would_fail_the_whole_list(patterns):
    verdict = core_verdict(patterns)
    try:
        library = kinetrope.PatternLibrary(patterns)
    except ValueError as error:
        assert str(error) == verdict
        return
    assert verdict is None
    assert len(library.catalogue()) == len(kinetrope.catalogue()) + len(patterns)
