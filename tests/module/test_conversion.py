from decimal import Decimal
from fractions import Fraction

import kinetrope
import pytest

from formula_table import FORMULA_NAMES, INT32_MAX, INT32_MIN


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BrokenIndex:
    def __index__(self):
        raise RuntimeError("no index")


class BrokenNumber:
    def __int__(self):
        raise RuntimeError("no int")

    def __float__(self):
        return 1.0


class FloatSubclass(float):
    pass


class IntSubclass(int):
    pass


@pytest.mark.parametrize(
    "argument, same_as",
    [
        (True, 1),
        (False, 0),
        (Index(3), 3),
        (IntSubclass(5), 5),
        (Decimal("3.7"), 3),
        (Decimal("-3.7"), -3),
        (Fraction(7, 2), 3),
        (INT32_MAX, INT32_MAX),
        (INT32_MIN, INT32_MIN),
    ],
)
def test_integer_like_pips_are_accepted(argument, same_as):
    assert kinetrope.bounce(argument).as_tuple() == kinetrope.bounce(same_as).as_tuple()


@pytest.mark.parametrize(
    "argument",
    [
        3.0,
        FloatSubclass(3.0),
        float("nan"),
        float("inf"),
        Decimal("NaN"),
        INT32_MAX + 1,
        INT32_MIN - 1,
        2**64,
        Index(2**31),
        BrokenIndex(),
        BrokenNumber(),
        "3",
        b"3",
        None,
        [3],
        object(),
    ],
    # default reprs carry addresses, which differ between pytest-xdist workers
    ids=lambda v: type(v).__name__ if type(v).__repr__ is object.__repr__ else repr(v),
)
def test_non_integer_or_out_of_range_pips_are_refused(argument):
    with pytest.raises(TypeError):
        kinetrope.bounce(argument)


@pytest.mark.parametrize("name", FORMULA_NAMES)
@pytest.mark.parametrize(
    "args, kwargs",
    [((), {}), ((1, 2), {}), ((), {"pip": 16}), ((), {"arg0": 16})],
    ids=["no-argument", "two-arguments", "keyword-pip", "keyword-arg0"],
)
def test_formula_functions_take_exactly_one_positional_pip(name, args, kwargs):
    with pytest.raises(TypeError):
        getattr(kinetrope, name)(*args, **kwargs)
