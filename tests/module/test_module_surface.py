import kinetrope
import pytest

from formula_table import FORMULA_NAMES


def test_module_constants():
    assert kinetrope.__doc__ == "Integer-pip rhythmic position functions"
    assert type(kinetrope.PIPS_PER_BEAT) is int and kinetrope.PIPS_PER_BEAT == 64


def test_public_attributes_in_registration_order():
    public = [name for name in vars(kinetrope) if not name.startswith("_")]
    assert public == [
        "PIPS_PER_BEAT", "SampledRecording", "Offset3", "SampledPattern", "PatternLibrary", "sample", "catalogue",
        *FORMULA_NAMES,
    ]


def test_module_is_the_extension_itself():
    assert kinetrope.__file__.endswith(".so") or kinetrope.__file__.endswith(".pyd")


@pytest.mark.parametrize("name", FORMULA_NAMES)
def test_functions_carry_only_their_generated_signature(name):
    doc = getattr(kinetrope, name).__doc__
    assert doc.strip() == f"{name}(arg0: typing.SupportsInt | typing.SupportsIndex) -> kinetrope.Offset3"


@pytest.mark.parametrize(
    "name, signature",
    [
        ("sample", "sample(name: str, pip_count: typing.SupportsInt | typing.SupportsIndex) -> kinetrope.Offset3"),
        ("catalogue", "catalogue() -> list"),
    ],
)
def test_lookup_functions_carry_only_their_generated_signature(name, signature):
    assert getattr(kinetrope, name).__doc__.strip() == signature


def test_offset3_members():
    members = [name for name in vars(kinetrope.Offset3) if not name.startswith("_")]
    assert members == ["x", "y", "z", "as_tuple"]
    assert kinetrope.Offset3.__doc__ is None


def test_offset3_cannot_be_constructed():
    with pytest.raises(TypeError, match=r"^kinetrope\.Offset3: No constructor defined!$"):
        kinetrope.Offset3()


def test_each_call_returns_a_new_object():
    a, b = kinetrope.bounce(16), kinetrope.bounce(16)
    assert a is not b
    assert a != b  # identity equality: the class defines no comparison
    assert a.as_tuple() == b.as_tuple()


def test_as_tuple_is_a_fresh_triple_of_floats():
    o = kinetrope.helix(37)
    t = o.as_tuple()
    assert type(t) is tuple and len(t) == 3
    assert all(type(v) is float for v in t)
    assert t == (o.x, o.y, o.z)
    assert o.as_tuple() is not t


@pytest.mark.parametrize("attribute", ["x", "y", "z", "w", "__dict__"])
def test_offset3_is_immutable(attribute):
    o = kinetrope.circle(8)
    before = o.as_tuple()
    with pytest.raises(AttributeError):
        setattr(o, attribute, 0.5)
    assert o.as_tuple() == before


def test_offset3_repr_is_python_default():
    o = kinetrope.sway(1)
    assert repr(o).startswith("<kinetrope.Offset3 object at 0x")


def test_executing_the_spec_again_reuses_the_completed_module():
    import importlib.util

    again = importlib.util.module_from_spec(kinetrope.__spec__)
    assert again is kinetrope
    kinetrope.__spec__.loader.exec_module(again)
    assert kinetrope.bounce(16).as_tuple() == (0.0, 0.0, 0.0)
