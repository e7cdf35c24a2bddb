"""A native consumer configured, built and run through the installed CMake
package, with nothing but the environment's prefix on CMAKE_PREFIX_PATH."""

import importlib.metadata
import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import kinetrope
import pytest

CONSUMER_DIR = Path(__file__).parent / "cmake_consumer"
CONFIG_DIR = Path(sys.prefix) / "share" / "cmake" / "kinetrope"
VERSION = importlib.metadata.version("kinetrope")


def tool(name: str) -> str | None:
    """The environment's own copy first (the test extra installs it), then PATH."""
    own = Path(sysconfig.get_path("scripts")) / name
    return str(own) if own.exists() else shutil.which(name)


def configure(build_dir: Path, prefix: Path, *options: str, source_dir: Path = CONSUMER_DIR
              ) -> subprocess.CompletedProcess[str]:
    cmake = tool("cmake")
    if cmake is None:
        pytest.skip("no cmake")
    if not sysconfig.get_config_var("Py_ENABLE_SHARED"):
        pytest.skip("this interpreter has no shared libpython to link against")
    generator = ["-G", "Ninja", f"-DCMAKE_MAKE_PROGRAM={tool('ninja')}"] if tool("ninja") else []
    command = [cmake, "-S", str(source_dir), "-B", str(build_dir), *generator,
               f"-DCMAKE_PREFIX_PATH={prefix}", "-DCMAKE_BUILD_TYPE=Release", *options]
    return subprocess.run(command, capture_output=True, text=True)


@pytest.fixture(scope="module")
def consumer(tmp_path_factory):
    build_dir = tmp_path_factory.mktemp("cmake_consumer")
    configured = configure(build_dir, Path(sys.prefix))
    assert configured.returncode == 0, configured.stdout + configured.stderr
    subprocess.run([tool("cmake"), "--build", str(build_dir)], check=True, capture_output=True, text=True)
    return build_dir / "consumer"


def test_consumer_samples_exactly_as_python(consumer):
    last_table = kinetrope.catalogue()[-1]["name"]
    cases = [("bounce", 16), ("helix", -1), ("five_stroke_roll", 2**31 - 1), ("lfo_breathe", 300), (last_table, 12345)]
    args = [str(part) for case in cases for part in case] + ["no_such_pattern", "0"]
    lines = subprocess.run([consumer, *args], capture_output=True, text=True, check=True).stdout.splitlines()

    assert len(lines) == len(cases) + 2
    for (name, pip), line in zip(cases, lines):
        assert tuple(float.fromhex(v) for v in line.split()) == kinetrope.sample(name, pip).as_tuple(), name
    assert lines[-2] == "error Unknown dance rudiment: no_such_pattern"
    assert int(lines[-1]) == len(kinetrope.catalogue())


def fake_prefix_without_module(tmp_path: Path) -> Path:
    """A prefix holding the package files and headers but no module file."""
    prefix = tmp_path / "prefix"
    shutil.copytree(CONFIG_DIR, prefix / "share" / "cmake" / "kinetrope")
    (prefix / "include").mkdir()
    return prefix


REFUSED_VERSION = f"version: {VERSION} The version found is not compatible"


@pytest.mark.parametrize(
    "make_prefix, options, message",
    [
        (lambda tmp: Path(sys.prefix), ["-DKINETROPE_WANTED_VERSION=99"], REFUSED_VERSION),
        (lambda tmp: Path(sys.prefix), ["-DKINETROPE_WANTED_VERSION=0.0"], REFUSED_VERSION),
        (fake_prefix_without_module, [], f"{Path(kinetrope.__file__).name} is not installed under"),
    ],
    ids=["newer-version", "older-minor-version", "no-module-file"],
)
def test_package_refuses_what_it_cannot_provide(tmp_path, make_prefix, options, message):
    configured = configure(tmp_path / "build", make_prefix(tmp_path), *options)
    output = " ".join((configured.stdout + configured.stderr).split())
    assert configured.returncode != 0
    assert message in output


def test_readme_example_builds_with_the_readme_cmake_lists(tmp_path):
    readme = (Path(__file__).parents[2] / "README.md").read_text()
    blocks = re.findall(r"^```cmake\n(.*?)^```$", readme, re.S | re.M)
    cmake_lists = next(b for b in blocks if "find_package(kinetrope" in b)
    # The C++ example is the block right above those lists.
    demo = re.search(r"^```cpp\n(.*?)^```$\s*^```cmake\n" + re.escape(cmake_lists), readme, re.S | re.M).group(1)
    (tmp_path / "CMakeLists.txt").write_text(cmake_lists)
    (tmp_path / "demo.cpp").write_text(demo)
    configured = configure(tmp_path / "build", Path(sys.prefix), source_dir=tmp_path)
    assert configured.returncode == 0, configured.stdout + configured.stderr
    subprocess.run([tool("cmake"), "--build", str(tmp_path / "build")], check=True, capture_output=True, text=True)
    demo_exe = tmp_path / "build" / "demo"
    lines = subprocess.run([demo_exe], capture_output=True, text=True, check=True).stdout.splitlines()
    assert lines[0].split()[0] == "255"
    assert int(lines[1].split()[2]) == len(kinetrope.catalogue())
