"""The companion package is typed: strict mypy finds nothing in it."""

import subprocess
import sys

from optional import need

need("mypy")


def test_companion_passes_strict_mypy(tmp_path):
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / "cache"),
                           "-p", "kinetrope_host"], capture_output=True, text=True, cwd=tmp_path)
    assert done.returncode == 0, done.stdout + done.stderr
