"""Under CI=true a skip for a missing tool fails the run; elsewhere it stays
a skip with its reason."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

SUPPORT = Path(__file__).parent / "support"


@pytest.fixture(scope="module")
def suite(tmp_path_factory):
    root = tmp_path_factory.mktemp("suite")
    (root / "pytest.ini").write_text("[pytest]\n")
    (root / "test_tools.py").write_text(
        "import pytest\n"
        "def test_needs_cmake():\n    pytest.skip('no cmake')\n"
        "def test_needs_another_python():\n    pytest.skip('no other CPython minor version on this machine')\n"
        "def test_runs():\n    pass\n")
    (root / "test_osc.py").write_text(
        "import pytest\npytest.importorskip('no_such_osc_module')\ndef test_osc():\n    pass\n")
    return root


def run(suite, ci, *files):
    env = {k: v for k, v in os.environ.items() if k != "CI"} | {"PYTHONPATH": str(SUPPORT)}
    if ci is not None:
        env["CI"] = ci
    return subprocess.run([sys.executable, "-m", "pytest", "-p", "ci_skips", "-p", "no:cacheprovider", "-rA",
                           "-c", str(suite / "pytest.ini"), *[str(suite / f) for f in files]], cwd=suite, env=env,
                          capture_output=True, text=True)


def test_in_ci_a_skip_for_a_tool_fails_the_run(suite):
    done = run(suite, "true", "test_tools.py")
    assert done.returncode == 1, done.stdout
    assert done.stdout.splitlines()[-1].strip("= ").startswith("1 failed, 1 passed, 1 skipped"), done.stdout
    assert "skipped under CI=true, where the tool is installed: no cmake" in done.stdout
    # a module that skips as it is imported stops the run too
    done = run(suite, "true", "test_osc.py")
    assert done.returncode != 0 and "where the tool is installed: could not import 'no_such_osc_module'" in done.stdout


@pytest.mark.parametrize("ci", [None, "false"])
def test_elsewhere_skips_stay_skips_with_their_reason(suite, ci):
    done = run(suite, ci, "test_tools.py", "test_osc.py")
    assert done.returncode == 0, done.stdout
    assert "1 passed, 3 skipped" in done.stdout.splitlines()[-1]
    assert "no cmake" in done.stdout and "no_such_osc_module" in done.stdout
