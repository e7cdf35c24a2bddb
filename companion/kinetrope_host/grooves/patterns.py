"""A drum part's motions as host patterns: one `kinetrope.SampledPattern`
per motion, named `<part>_<motion>`, gathered in a `PatternLibrary`."""

from __future__ import annotations

import re
from collections.abc import Sequence

import kinetrope
import kinetrope_grooves

from kinetrope_host.errors import UserError

#: What each motion does, as the built-in beats describe it.
MOTION_LABELS: dict[str, str] = {
    "bounce": "Kick-led bounce",
    "step": "Snare side-step",
    "orbit": "Percussion orbit",
    "glide": "Bass-and-phrase glide",
    "surge": "Forward surge",
    "recoil": "Backbeat recoil",
    "flutter": "Upper-percussion flutter",
    "dive": "Bass-led dive",
    "pendulum": "Weighted pendulum",
    "figure8": "Woven figure eight",
    "box": "Rounded corner tour",
    "corkscrew": "Closed corkscrew",
    "spiral": "Breathing spiral",
    "slalom": "Drum slalom",
    "spring": "Causal spring",
    "ricochet": "Directional ricochet",
}
# A pattern name holds at most 128 bytes; the part leaves room for the
# longest "_<motion>".
MAX_PART_NAME = 128 - 1 - max(len(motion) for motion in MOTION_LABELS)


def part_name(stem: str) -> str:
    """A pattern-name prefix from a file stem: lower case, every run of
    other characters than a-z, 0-9 and _ one underscore, starting with a
    letter ("groove_" put in front otherwise), short enough for any motion."""
    name = re.sub(r"[^a-z0-9_]+", "_", stem.lower()).strip("_")
    if not name[:1].isalpha():
        name = "groove_" + name if name else "groove"
    return name[:MAX_PART_NAME].rstrip("_")


def description(name: str, motion: str) -> str:
    """`<part> — <motion label>`, as a pattern's catalogue row says it."""
    return f"{name} \u2014 {MOTION_LABELS[motion]}"


def check_motions(motions: Sequence[str]) -> list[str]:
    """The motions asked for, every one known; all sixteen for none."""
    for motion in motions:
        if motion not in MOTION_LABELS:
            raise UserError(f"unknown motion: {motion}; known: {', '.join(MOTION_LABELS)}")
    return list(dict.fromkeys(motions)) if motions else list(MOTION_LABELS)


def groove_patterns(part: kinetrope_grooves.DrumPart, name: str,
                    motions: Sequence[str] = ()) -> list[kinetrope.SampledPattern]:
    """The part's motions (all sixteen for none), one sample a pip over the
    part's length, named `<name>_<motion>`."""
    rendered = kinetrope_grooves.render(part, check_motions(motions))
    return [kinetrope.SampledPattern(f"{name}_{suffix}", description(name, suffix), samples)
            for suffix, _dimensions, samples in rendered]


def groove_library(part: kinetrope_grooves.DrumPart, name: str,
                   motions: Sequence[str] = ()) -> kinetrope.PatternLibrary:
    """`groove_patterns` gathered in a library; a name a built-in already
    has is a `UserError`."""
    try:
        return kinetrope.PatternLibrary(groove_patterns(part, name, motions))
    except ValueError as error:
        raise UserError(f"cannot name the motions {name}_*: {error}") from None
