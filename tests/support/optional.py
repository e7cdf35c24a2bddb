"""Optional dependencies of the companion's tests: skipped with a reason on a
machine without them, but required in CI, which installs them all."""

import importlib
import os

import pytest


def need(module: str):
    if os.environ.get("CI") == "true":
        return importlib.import_module(module)
    return pytest.importorskip(module, reason=f"{module} is not installed (pip install '.[test]')")
