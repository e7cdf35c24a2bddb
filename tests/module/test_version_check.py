import shutil
import subprocess
import sys
from pathlib import Path

import kinetrope
import pytest

# argv: directory holding the module, and "lazy" to bind symbols on first use
SCRIPT = """
import os, sys
sys.path.insert(0, sys.argv[1])
if sys.argv[2] == "lazy":
    sys.setdlopenflags(os.RTLD_LAZY)
try:
    import kinetrope
except ImportError as error:
    print(str(error).replace(chr(10), " "))
    print("kinetrope" in sys.modules)
else:
    print("imported")
    print(True)
"""


def other_interpreters():
    """CPython 3.10 to 3.13 installations other than the running one."""
    found = {}
    roots = [Path.home() / ".pyenv" / "versions"]
    for minor in (10, 11, 12, 13):
        if minor == sys.version_info.minor:
            continue
        candidates = [str(p) for root in roots for p in sorted(root.glob(f"3.{minor}.*/bin/python3"))]
        candidates.append(shutil.which(f"python3.{minor}"))
        # pyenv shims only answer for the versions pyenv has selected
        for candidate in filter(lambda c: c and "/shims/" not in c, candidates):
            found.setdefault(minor, candidate)
    return sorted(found.items())


@pytest.fixture(scope="module")
def module_copy(tmp_path_factory):
    # A bare .so suffix lets any CPython version try to load the module.
    directory = tmp_path_factory.mktemp("foreign")
    shutil.copy(kinetrope.__file__, directory / "kinetrope.so")
    return directory


def import_under(python, directory, binding):
    done = subprocess.run([python, "-c", SCRIPT, str(directory), binding], capture_output=True, text=True, check=True)
    message, left_behind = done.stdout.splitlines()
    return message, left_behind == "True"


@pytest.mark.parametrize("minor, python", other_interpreters() or [pytest.param(0, "", marks=pytest.mark.skip(
    reason="no other CPython minor version on this machine"))])
def test_import_under_another_minor_version_fails_and_leaves_nothing(module_copy, minor, python):
    # The loader may refuse first (a symbol the other version lacks); lazy
    # binding lets the module's own version check speak.
    message, left_behind = import_under(python, module_copy, "now")
    assert message != "imported" and not left_behind
    message, left_behind = import_under(python, module_copy, "lazy")
    built_for = f"{sys.version_info.major}.{sys.version_info.minor}"
    assert message.startswith(
        f"Python version mismatch: module was compiled for Python {built_for}, "
        f"but the interpreter version is incompatible: 3.{minor}."
    )
    assert not left_behind
