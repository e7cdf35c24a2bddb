"""Bar ranges as a user writes them."""

from __future__ import annotations

import re


def parse_bars(text: str) -> tuple[int, int]:
    """`A-B` (or `A`) as the first and last bar, counted from 1."""
    found = re.fullmatch(r"\s*(\d+)\s*(?:-\s*(\d+)\s*)?", text)
    if found is None:
        raise ValueError(f"bars must be A-B or A, counted from 1: {text}")
    first = int(found[1])
    last = int(found[2] or found[1])
    if not 1 <= first <= last:
        raise ValueError(f"bars must be A-B with 1 <= A <= B: {text}")
    return first, last
