"""Argument types that refuse a value out of range with one line, the way
argparse reports any other bad argument."""

from __future__ import annotations

import argparse
import math
from collections.abc import Callable
from typing import TypeVar

T = TypeVar("T")


def checked(convert: Callable[[str], T], accept: Callable[[T], bool], wanted: str) -> Callable[[str], T]:
    """An argparse type: `convert`, then refuse what `accept` rejects, saying what was wanted."""

    def parse(text: str) -> T:
        try:
            value = convert(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"must be {wanted}: {text}") from None
        if not accept(value):
            raise argparse.ArgumentTypeError(f"must be {wanted}: {text}")
        return value

    return parse


def whole_in(low: int, high: int) -> Callable[[str], int]:
    """A whole number from `low` to `high`, both included."""
    return checked(int, lambda v: low <= v <= high, f"a whole number from {low} to {high}")


def number_in(low: float, high: float) -> Callable[[str], float]:
    """A number from `low` to `high`, both included."""
    return checked(float, lambda v: low <= v <= high, f"a number from {low:g} to {high:g}")


positive_number = checked(float, lambda v: math.isfinite(v) and v > 0.0, "a positive number")
positive_count = checked(int, lambda v: v > 0, "a positive whole number")
port_number = checked(int, lambda v: 1 <= v <= 65535, "a UDP port, 1 to 65535")
finite_number = checked(float, math.isfinite, "a finite number")
