"""Objects that lie to the conversions: lengths that change or lie upward,
instances that were never initialised. Each is refused (or converted from
what it really yields) without reading memory the object never wrote."""

import kinetrope
import pytest
from kinetrope import Offset3, PatternLibrary, SampledPattern, SampledRecording


class Shrinking:
    """Says it has three elements, then fewer; yields none."""

    def __init__(self, honest_calls):
        self.calls, self.honest_calls = 0, honest_calls

    def __len__(self):
        self.calls += 1
        return 3 if self.calls <= self.honest_calls else 0

    def __getitem__(self, i):
        raise IndexError


class Claims:
    """A sequence claiming `length` elements that really yields `items`
    (endlessly when items is None); counts the elements read."""

    def __init__(self, length, items=None, item=(0.5, 0, 0)):
        self.length, self.items, self.item, self.read = length, items, item, 0

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        if self.items is not None and i >= len(self.items):
            raise IndexError
        self.read += 1
        return self.item if self.items is None else self.items[i]


class Growing(list):
    """A list whose third element adds a fourth while it is converted."""

    def __init__(self):
        super().__init__([0.0, 0.0, Grows(self)])


class Grows:
    def __init__(self, owner):
        self.owner = owner

    def __float__(self):
        self.owner.append(0.0)
        return 0.0


class Clears:
    def __init__(self, owner):
        self.owner = owner

    def __float__(self):
        self.owner.clear()
        return 0.25


@pytest.mark.parametrize("triple", [
    Shrinking(1), Shrinking(2), Shrinking(10),
    Claims(3, [0.5]), Claims(3, [0.5, 0.5, 0.5, 0.5]), Claims(2, [0.5, 0.5, 0.5, 0.5]),
    Growing(),
], ids=["shrinks-1", "shrinks-2", "empty", "short", "long", "claims-fewer", "grows"])
def test_a_triple_is_exactly_the_three_elements_it_yields(triple):
    with pytest.raises(TypeError):
        SampledPattern("p", "d", [triple])


def test_a_triple_emptied_by_its_own_element_keeps_what_it_yielded():
    triple = [0.5, 0.0, 0.0]
    triple[1] = Clears(triple)
    # the list iterator stops at the cleared list: two elements, refused
    with pytest.raises(TypeError):
        SampledPattern("p", "d", [triple])


@pytest.mark.parametrize("length", [0, 1, 2**40, 2**59, 2**62])
def test_a_lying_length_is_not_trusted_the_real_elements_are_converted(length):
    pattern = SampledPattern("p", "d", Claims(length, [(0.5, 0, 0), (0, 0.25, 0)]))
    assert pattern.period_pips == 2
    assert [pattern.sample(i).as_tuple() for i in range(2)] == [(0.5, 0.0, 0.0), (0.0, 0.25, 0.0)]
    library = PatternLibrary(Claims(length, [pattern]))
    assert library.sample("p", 1).y == 0.25
    recording = SampledRecording("r", Claims(length, ["x", "y"]), Claims(length, [Claims(length, [0.5, -0.5])]), 120.0)
    assert recording.dimensions == ["x", "y"] and recording.sample(0) == [0.5, -0.5]


@pytest.mark.parametrize("make, limit, message", [
    (lambda items: SampledPattern("p", "d", items), 65535, "A pattern requires 1..65535 samples (one per pip)"),
    (lambda items: PatternLibrary(items), 1024, "Too many patterns"),
])
@pytest.mark.parametrize("endless", ["sequence", "generator"])
def test_an_endless_container_is_read_one_past_its_limit_and_refused(make, limit, message, endless):
    item = SampledPattern("p", "d", [(0, 0, 0)]) if limit == 1024 else (0, 0, 0)
    source = Claims(2**62, item=item)
    items = source if endless == "sequence" else (source[0] for _ in iter(int, 1))
    with pytest.raises(ValueError) as raised:
        make(items)
    assert str(raised.value) == message
    assert source.read == limit + 1


def test_an_endless_recording_row_is_refused_as_ragged():
    with pytest.raises(ValueError, match="^Ragged recording$"):
        SampledRecording("r", ["x"], [[0.5], Claims(2**62, item=0.5)], 120.0)


def bare(cls):
    return cls.__new__(cls)


class PatternChild(SampledPattern):
    pass


PATTERN = SampledPattern("p", "d", [(0.5, 0, 0)])
USES = {
    "Offset3.x": lambda: bare(Offset3).x,
    "Offset3.y": lambda: bare(Offset3).y,
    "Offset3.z": lambda: bare(Offset3).z,
    "Offset3.as_tuple": lambda: bare(Offset3).as_tuple(),
    "SampledPattern.name": lambda: bare(SampledPattern).name,
    "SampledPattern.description": lambda: bare(SampledPattern).description,
    "SampledPattern.period_pips": lambda: bare(SampledPattern).period_pips,
    "SampledPattern.sample": lambda: bare(SampledPattern).sample(3),
    "subclass.sample": lambda: bare(PatternChild).sample(3),
    "PatternLibrary.sample": lambda: bare(PatternLibrary).sample("bounce", 0),
    "PatternLibrary.catalogue": lambda: bare(PatternLibrary).catalogue(),
    "PatternLibrary(bare)": lambda: PatternLibrary([bare(SampledPattern)]),
    "PatternLibrary(built, bare subclass)": lambda: PatternLibrary([PATTERN, bare(PatternChild)]),
    "SampledRecording.name": lambda: bare(SampledRecording).name,
    "SampledRecording.dimensions": lambda: bare(SampledRecording).dimensions,
    "SampledRecording.sample_count": lambda: bare(SampledRecording).sample_count,
    "SampledRecording.bpm": lambda: bare(SampledRecording).bpm,
    "SampledRecording.beat_zero_seconds": lambda: bare(SampledRecording).beat_zero_seconds,
    "SampledRecording.start_pip": lambda: bare(SampledRecording).start_pip,
    "SampledRecording.sample": lambda: bare(SampledRecording).sample(0),
}


@pytest.mark.parametrize("use", USES.values(), ids=USES.keys())
def test_an_instance_that_was_never_initialised_is_refused(use):
    # a freed instance of the same size leaves memory a bare one could reuse
    freed = SampledPattern("p", "d", [(0.75, 0.75, 0.75)] * 8)
    del freed
    with pytest.raises(TypeError, match=r"^kinetrope\.\w+ object was not initialised$"):
        use()


def test_a_bare_instance_can_still_be_initialised_and_then_used():
    pattern = bare(SampledPattern)
    pattern.__init__("p", "d", [(0.5, 0, 0)])
    assert pattern.sample(0).x == 0.5
    assert PatternLibrary([pattern]).sample("p", 0).x == 0.5


PROPERTIES = [(cls, name) for cls in (Offset3, SampledPattern, SampledRecording)
              for name, member in vars(cls).items() if isinstance(member, property)]


@pytest.mark.parametrize("cls, name", PROPERTIES, ids=[f"{c.__name__}.{n}" for c, n in PROPERTIES])
def test_a_property_read_on_none_is_refused(cls, name):
    with pytest.raises(TypeError):
        vars(cls)[name].fget(None)
