"""Access to the built-in table-backed patterns, derived from what the module
and its installed headers declare, so no count here goes stale."""

import re
from functools import cache

import kinetrope
from conftest import installed_include_dir
from formula_table import FORMULA_NAMES

DECLARED_SAMPLER = re.compile(r"^KINETROPE_API kinetrope::Offset3 sample_(\w+)\(int pip\);$")
NAMESPACE = re.compile(r"^namespace kinetrope_(\w+) \{$")


def registry_rows():
    """Catalogue rows of the table-backed patterns, in registry order."""
    return kinetrope.catalogue()[len(FORMULA_NAMES) :]


@cache
def declared_patterns():
    """(collection, name) of every sampler the installed header declares."""
    header = installed_include_dir() / "kinetrope" / "collections.hpp"
    declared, collection = [], None
    for line in header.read_text().splitlines():
        if match := NAMESPACE.match(line):
            collection = match[1]
        elif match := DECLARED_SAMPLER.match(line):
            declared.append((collection, match[1]))
    return declared


@cache
def table(name):
    """The whole stored table of a pattern, one (x, y, z) per pip."""
    period = next(row["period_pips"] for row in kinetrope.catalogue() if row["name"] == name)
    return tuple(kinetrope.sample(name, pip).as_tuple() for pip in range(period))


def axis(name, index):
    return [sample[index] for sample in table(name)]
