import os
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import kinetrope
import pytest

# Under CI=true a skip for a missing tool is a failure.
pytest_plugins = ["ci_skips", "browser"]

NATIVE_DIR = Path(__file__).parent / "native"


def installed_include_dir() -> Path:
    """Where the package installs its public C++ headers."""
    return Path(sys.prefix) / "include"


def python_link_flags() -> list[str]:
    """The module resolves interpreter symbols at load time, so a native
    program linking it must also link the interpreter's shared library."""
    if not sysconfig.get_config_var("Py_ENABLE_SHARED"):
        pytest.skip("this interpreter has no shared libpython to link against")
    libdir = sysconfig.get_config_var("LIBDIR")
    version = sysconfig.get_config_var("LDVERSION")
    return [f"-L{libdir}", f"-lpython{version}", f"-Wl,-rpath,{libdir}"]


@pytest.fixture(scope="session")
def native_program(tmp_path_factory):
    """Compiles a C++ source from tests/native against the installed headers
    and module file; returns a function that runs it on given input."""
    compiler = shutil.which("c++") or shutil.which("g++")
    if compiler is None:
        pytest.skip("no C++ compiler")
    build_dir = tmp_path_factory.mktemp("native")
    built = {}

    def run(source_name: str, stdin: str) -> str:
        if source_name not in built:
            exe = build_dir / Path(source_name).stem
            command = [
                compiler, "-std=c++20", "-O2", "-Wall", "-Wextra", "-Werror",
                str(NATIVE_DIR / source_name), "-o", str(exe),
                f"-I{installed_include_dir()}", kinetrope.__file__,
                *python_link_flags(),
            ]
            subprocess.run(command, check=True, capture_output=True, text=True)
            built[source_name] = exe
        # The hardening run puts the programs under Valgrind this way.
        runner = os.environ.get("KINETROPE_NATIVE_RUNNER", "").split()
        done = subprocess.run([*runner, built[source_name]], input=stdin, capture_output=True, text=True, check=True)
        return done.stdout

    return run


REPO_DIR = Path(__file__).parent.parent
GENERATOR_DIR = REPO_DIR / "src" / "catalogue" / "generator"


@pytest.fixture(scope="session")
def generator_build(tmp_path_factory):
    """Compiles the table generator's sources (and the core it reads the
    formula names from) once; returns a function linking a program from them
    plus one extra source: the generator's own main, or a test driver."""
    compiler = shutil.which("c++") or shutil.which("g++")
    if compiler is None:
        pytest.skip("no C++ compiler")
    build_dir = tmp_path_factory.mktemp("generator")
    flags = ["-std=c++20", "-O1", "-ffp-contract=off", f"-I{REPO_DIR / 'include'}", f"-I{REPO_DIR / 'src'}"]
    library = [s for s in GENERATOR_DIR.rglob("*.cpp") if s != GENERATOR_DIR / "main.cpp"]
    library += sorted((REPO_DIR / "src" / "core").glob("*.cpp"))
    objects = []
    for source in sorted(library):
        obj = build_dir / f"{source.parent.name}_{source.stem}.o"
        subprocess.run([compiler, *flags, "-c", str(source), "-o", str(obj)], check=True)
        objects.append(str(obj))

    def link(main_source: Path) -> Path:
        exe = build_dir / main_source.stem
        if not exe.exists():
            subprocess.run([compiler, *flags, str(main_source), *objects, "-o", str(exe)], check=True)
        return exe

    return link


@pytest.fixture(scope="session", autouse=True)
def private_cache_home(tmp_path_factory):
    """No test (nor a command it starts) writes into the user's own cache."""
    with pytest.MonkeyPatch.context() as patch:
        patch.setenv("XDG_CACHE_HOME", str(tmp_path_factory.mktemp("cache-home")))
        yield
