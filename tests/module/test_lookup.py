import kinetrope
import pytest
from builtin_tables import registry_rows, table
from formula_table import FORMULA_NAMES, INT32_MAX, INT32_MIN

REGISTRY_NAMES = [row["name"] for row in registry_rows()]
SORTED_NAMES = sorted(REGISTRY_NAMES)
EDGE_PIPS = [INT32_MIN, INT32_MIN + 1, -1, 0, 1, 16, 300, INT32_MAX - 1, INT32_MAX]


@pytest.mark.parametrize("name", FORMULA_NAMES)
@pytest.mark.parametrize("pip", EDGE_PIPS)
def test_formula_names_dispatch_to_their_functions(name, pip):
    assert kinetrope.sample(name, pip).as_tuple() == getattr(kinetrope, name)(pip).as_tuple()


def test_arguments_can_be_passed_by_keyword():
    assert kinetrope.sample(name="bounce", pip_count=16).as_tuple() == (0.0, 0.0, 0.0)
    assert kinetrope.sample("lfo_breathe", pip_count=300).as_tuple() == table("lfo_breathe")[44]


@pytest.mark.parametrize("name", [SORTED_NAMES[0], SORTED_NAMES[len(SORTED_NAMES) // 2], SORTED_NAMES[-1]])
def test_names_across_the_index_are_found(name):
    assert kinetrope.sample(name, 0).as_tuple() == table(name)[0]


@pytest.mark.parametrize("encode", [str, lambda n: n.encode(), lambda n: bytearray(n.encode())])
def test_text_bytes_and_bytearray_names_agree(encode):
    assert kinetrope.sample(encode("lfo_breathe"), 300).as_tuple() == table("lfo_breathe")[44]


@pytest.mark.parametrize(
    "name",
    [
        "Bounce",  # case matters for formula names
        "LFO_BREATHE",  # and for registry names
        "lfo_breath",  # a proper prefix of a registry name
        "lfo_breathe ",  # trailing blank
        " lfo_breathe",
        "bounc",  # formula length table: same length as helix, no match
        "bouncy",  # same length as bounce
        "",  # empty
        "a",  # sorts before every name
        "zzz",  # sorts after every name
        "caf\u00e9",  # non-ASCII text travels as UTF-8
        "rudiment_double_paradiddle_twice",  # 32 bytes, sorts between two names
        "rudiment_double_paradiddle" + "_" * 7,  # 33 bytes: longer than any name
        "rudiment_double_paradiddle" + "x" * 200,
    ],
)
def test_unknown_names_are_refused_with_the_name_byte_for_byte(name):
    with pytest.raises(ValueError) as raised:
        kinetrope.sample(name, 0)
    assert str(raised.value) == "Unknown dance rudiment: " + name


LOOKUPS = [kinetrope.sample, kinetrope.PatternLibrary().sample]


@pytest.mark.parametrize("lookup", LOOKUPS)
@pytest.mark.parametrize("name, shown", [
    ("lfo_breathe\0", "lfo_breathe\0"),
    ("\0bounce", "\0bounce"),
    (b"bounce\0\0x", "bounce\0\0x"),
    # bytes that are not UTF-8 come back as surrogate escapes
    (b"\xff\xfe", "\udcff\udcfe"),
    (b"ok\0\xc3", "ok\0\udcc3"),
])
def test_the_unknown_name_message_carries_every_byte_of_the_name(lookup, name, shown):
    with pytest.raises(ValueError) as raised:
        lookup(name, 0)
    assert type(raised.value) is ValueError
    assert str(raised.value) == "Unknown dance rudiment: " + shown
    if isinstance(name, bytes):
        assert str(raised.value).encode("utf-8", "surrogateescape") == b"Unknown dance rudiment: " + name


def test_an_unknown_bytes_name_is_reported_as_its_text():
    with pytest.raises(ValueError, match=r"^Unknown dance rudiment: nope$"):
        kinetrope.sample(b"nope", 0)


@pytest.mark.parametrize(
    "args",
    [
        (None, 0),
        (1, 0),
        ("bounce", 1.5),
        ("bounce", 2.0),
        ("bounce", "0"),
        ("bounce", None),
        ("bounce", INT32_MAX + 1),
        ("bounce", INT32_MIN - 1),
        ("bounce",),
        (),
    ],
)
def test_bad_arguments_raise_type_error(args):
    with pytest.raises(TypeError, match="incompatible function arguments"):
        kinetrope.sample(*args)


def test_integer_conversion_is_implicit_for_the_pip():
    class Pip:
        def __index__(self):
            return 300

    assert kinetrope.sample("lfo_breathe", Pip()).as_tuple() == table("lfo_breathe")[44]
    assert kinetrope.sample("lfo_breathe", True).as_tuple() == table("lfo_breathe")[1]


def test_native_lookup_agrees_with_python(native_program):
    names = [*FORMULA_NAMES, *SORTED_NAMES[:3], *SORTED_NAMES[-3:], "Bounce", "lfo_breath", "zzz"]
    cases = [(name, pip) for name in names for pip in (INT32_MIN, -1, 0, 300, INT32_MAX)]
    output = native_program("consumer.cpp", "".join(f"lookup {n} {p}\n" for n, p in cases)).splitlines()
    for (name, pip), line in zip(cases, output, strict=True):
        try:
            expected = " ".join(v.hex() for v in kinetrope.sample(name, pip).as_tuple())
        except ValueError as error:
            expected = f"error {error}"
        got = line if line.startswith("error") else " ".join(float.fromhex(v).hex() for v in line.split())
        assert got == expected, (name, pip)


def test_native_sampler_and_table_are_the_lookup(native_program):
    pips = [INT32_MIN, -64, 0, 44, 300, INT32_MAX]
    lines = native_program("consumer.cpp", "".join(f"breathe {p}\n" for p in pips)).splitlines()
    for pip, through_sampler, through_table in zip(pips, lines[::2], lines[1::2], strict=True):
        assert through_sampler == through_table
        assert (
            tuple(float.fromhex(v) for v in through_sampler.split()) == kinetrope.sample("lfo_breathe", pip).as_tuple()
        )
