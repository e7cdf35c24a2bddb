"""Helpers shared by the tests of host-made patterns, libraries and recordings."""

import re
import weakref

import pytest


def raises_exactly(exception, message):
    return pytest.raises(exception, match=f"^{re.escape(message)}$")


def ramp(count):
    """Samples whose x tells their pip, so a result names the sample it came from."""
    return [(i / count, 0.0, 0.0) for i in range(count)]


def assert_refused_without_leftover(cls, args, exception, message):
    """A refused construction raises exactly, and the half-made Python object
    is gone once the exception is: nothing else holds on to it."""
    refs = []

    class Watched(cls):
        def __init__(self, *given):
            refs.append(weakref.ref(self))
            super().__init__(*given)

    with raises_exactly(exception, message):
        Watched(*args)
    assert refs and refs[0]() is None
