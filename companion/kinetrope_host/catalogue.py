"""The built-in catalogue with each row's collection and family, name
resolution with "did you mean" suggestions, and a word search.

The module lists its rows in a fixed order: the fifteen formula patterns, then
the six collections one after the other with fixed sizes, and inside the
systematic collections one family after another. So collection and family
follow from a row's place and name, with no header to parse.
"""

from __future__ import annotations

import difflib
import functools
from collections.abc import Iterable, Sequence
from dataclasses import dataclass

import kinetrope

from kinetrope_host.errors import UserError

FORMULA = "formula"
# Table-backed collections in listing order, with their sizes.
COLLECTIONS: tuple[tuple[str, int], ...] = (
    ("initial", 28),
    ("expansion", 24),
    ("atlas", 256),
    ("continuum", 320),
    ("club", 144),
    ("dancefloor", 944),
)
_FORMULA_MOVES = 8  # the first eight formula rows are moves, the other seven drum rudiments

# Families named by the prefix their rows' names share (longest prefix first
# where one is a prefix of another).
_ATLAS_FAMILIES = (
    "wave", "env", "seq", "noise", "orbit_harmonic", "weave", "polar_rose", "polar_scallop",
    "spiro_inside", "spiro_outside", "space_torus", "space_weave", "mech", "euclid", "poly",
    "meter", "swing", "stick_study", "gesture",
)
_CONTINUUM_FAMILIES = (
    "ribbon", "contour_shaped", "silhouette_harmonic", "spline", "tour", "scan", "reach", "surface",
    "braid", "arm_coupled", "dwell_phrase", "packet", "canon", "echo", "ladder", "necklace",
    "accent_walk", "triplet", "dialogue", "burst",
)
# The grooves of club and dancefloor move by one of these motions, the last
# part of the name (beat_<groove>_<motion>); the motion is the family.
MOTIONS = (
    "bounce", "step", "orbit", "glide", "surge", "recoil", "flutter", "dive",
    "pendulum", "figure8", "box", "corkscrew", "spiral", "slalom", "spring", "ricochet",
)


@dataclass(frozen=True)
class Row:
    """A catalogue row with its place in the catalogue."""

    name: str
    description: str
    period_pips: int
    dimensions: int
    collection: str
    family: str


def _family(collection: str, index: int, name: str) -> str:
    if collection == FORMULA:
        return "move" if index < _FORMULA_MOVES else "rudiment"
    if collection in ("initial", "expansion"):
        # Authored one by one; the first word of the name says what kind.
        return name.split("_", 1)[0]
    if collection in ("club", "dancefloor", HOST):
        motion = name.rsplit("_", 1)[-1]
        return motion if motion in MOTIONS else collection
    families = _ATLAS_FAMILIES if collection == "atlas" else _CONTINUUM_FAMILIES
    matches = [family for family in families if name.startswith(family + "_")]
    return max(matches, key=len) if matches else collection


@functools.cache
def rows() -> tuple[Row, ...]:
    """Every built-in row, in the module's listing order."""
    listing = kinetrope.catalogue()
    places: list[str] = [FORMULA] * (len(listing) - sum(size for _, size in COLLECTIONS))
    for collection, size in COLLECTIONS:
        places.extend([collection] * size)
    return tuple(
        Row(entry["name"], entry["description"], entry["period_pips"], entry["dimensions"], place,
            _family(place, index, entry["name"]))
        for index, (entry, place) in enumerate(zip(listing, places))
    )


@functools.cache
def _by_name() -> dict[str, Row]:
    return {row.name: row for row in rows()}


#: The collection of patterns a host made (`use_patterns`).
HOST = "host"


@dataclass(frozen=True)
class _HostPatterns:
    library: kinetrope.PatternLibrary
    rows: dict[str, Row]


# Swapped whole (one assignment), so a frame loop sampling it while a live
# groove replaces it sees the old set or the new one, never a mix.
_host: _HostPatterns | None = None


def use_patterns(library: kinetrope.PatternLibrary | None) -> None:
    """Makes the library's own patterns known by name beside the built-ins
    (to `row`, `resolve`, `sample` and everything built on them: play,
    export, the gallery); None forgets them. A later call replaces the set."""
    global _host
    if library is None:
        _host = None
        return
    own = library.catalogue()[len(rows()):]
    found = {entry["name"]: Row(entry["name"], entry["description"], entry["period_pips"], entry["dimensions"],
                                HOST, _family(HOST, 0, entry["name"])) for entry in own}
    _host = _HostPatterns(library, found)


def host_rows() -> tuple[Row, ...]:
    """The rows of the patterns made known with `use_patterns`, in its order."""
    current = _host
    return () if current is None else tuple(current.rows.values())


def sample(name: str, pip: int) -> kinetrope.Offset3:
    """`name` at a whole pip, a host pattern or a built-in."""
    current = _host
    if current is None:
        return kinetrope.sample(name, pip)
    return current.library.sample(name, pip)


def row(name: str) -> Row:
    """The row of a pattern (built in or made known with `use_patterns`);
    `UserError` with suggestions if unknown."""
    current = _host
    if current is not None and name in current.rows:
        return current.rows[name]
    return _by_name()[resolve(name)]


def collections() -> tuple[str, ...]:
    """Every collection name in listing order, `formula` first."""
    return (FORMULA, *(name for name, _ in COLLECTIONS))


def suggestions(name: str, count: int = 3) -> list[str]:
    """The known names nearest to `name`, best first."""
    names = [*_by_name(), *(entry.name for entry in host_rows())]
    lowered = name.lower()
    if lowered in _by_name():
        return [lowered]
    return difflib.get_close_matches(lowered, names, n=count, cutoff=0.6)


def resolve(name: str) -> str:
    """`name` if it is a built-in pattern or one made known with
    `use_patterns`; otherwise `UserError` naming it, with the nearest names
    suggested."""
    current = _host
    if name in _by_name() or (current is not None and name in current.rows):
        return name
    message = f"Unknown dance rudiment: {name}"
    near = suggestions(name)
    if near:
        message += f" (did you mean {', '.join(near)}?)"
    raise UserError(message)


def search(words: str | Iterable[str], collection: str | None = None) -> list[Row]:
    """Rows in which every word (case ignored) appears in the name, the
    description, the collection or the family; all rows for no words. A
    collection narrows the result; an unknown one is a `UserError`."""
    if collection is not None and collection not in collections():
        near = difflib.get_close_matches(collection, collections(), n=1)
        hint = f" (did you mean {near[0]}?)" if near else ""
        raise UserError(f"unknown collection: {collection}{hint}; known: {', '.join(collections())}")
    wanted: Sequence[str] = words.split() if isinstance(words, str) else [w for word in words for w in word.split()]
    wanted = [word.lower() for word in wanted]
    found = []
    for entry in rows():
        if collection is not None and entry.collection != collection:
            continue
        text = f"{entry.name} {entry.description} {entry.collection} {entry.family}".lower()
        if all(word in text for word in wanted):
            found.append(entry)
    return found
