"""Grooves of your own: a drum part (a MIDI file's drum track, a score in
the project's text format, notes played live) turned into the sixteen
motions the built-in beats move by, as host patterns that play, export and
the gallery use like built-ins.

The motion rules are the native engine's (the `kinetrope_grooves` module);
this package reads the parts, names the patterns and keeps a live part
following what is played. Its names are imported on first use, so that the
command's other parts start without the engine.
"""

from __future__ import annotations

import importlib
from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from kinetrope_host.grooves.load import Groove, load_groove
    from kinetrope_host.grooves.patterns import (
        MOTION_LABELS,
        groove_library,
        groove_patterns,
        part_name,
    )

__all__ = ["MOTION_LABELS", "Groove", "groove_library", "groove_patterns", "load_groove", "part_name"]
_HOMES = {"Groove": "load", "load_groove": "load", "MOTION_LABELS": "patterns", "groove_library": "patterns",
          "groove_patterns": "patterns", "part_name": "patterns"}


def __getattr__(name: str) -> object:
    if name not in _HOMES:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    return getattr(importlib.import_module(f"{__name__}.{_HOMES[name]}"), name)
