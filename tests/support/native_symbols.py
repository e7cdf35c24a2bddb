"""The module file's dynamic symbol table, demangled."""

import shutil
import subprocess

import kinetrope
import pytest


def exported_symbols():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("no nm to read the dynamic symbol table")
    listing = subprocess.run([nm, "-D", "--defined-only", "-C", kinetrope.__file__],
                             capture_output=True, text=True, check=True).stdout
    return {line.split(" ", 2)[2] for line in listing.splitlines()}
