import fcntl
import os
import shutil
import subprocess
import sys
import sysconfig
from concurrent.futures import ThreadPoolExecutor
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
    flags = ["-std=c++20", "-O1", "-ffp-contract=off", f"-I{REPO_DIR / 'include'}", f"-I{REPO_DIR / 'src'}"]
    library = [s for s in GENERATOR_DIR.rglob("*.cpp") if s != GENERATOR_DIR / "main.cpp"]
    library += sorted((REPO_DIR / "src" / "core").glob("*.cpp"))
    # The grooves engine, less its renderer, which needs the generated fits.
    library += sorted(s for s in (REPO_DIR / "src" / "grooves").glob("*.cpp") if s.stem != "render")
    objects = shared_objects(tmp_path_factory, compiler, flags, sorted(library))
    build_dir = tmp_path_factory.mktemp("generator")

    def link(main_source: Path) -> Path:
        exe = build_dir / main_source.stem
        if not exe.exists():
            subprocess.run([compiler, *flags, str(main_source), *map(str, objects), "-o", str(exe)], check=True)
        return exe

    return link


def shared_objects(tmp_path_factory, compiler: str, flags: list[str], sources: list[Path]) -> list[Path]:
    """Compiles the sources once per test run: the first worker compiles them
    on every core while the others wait, then all link the same objects."""
    run_dir = tmp_path_factory.getbasetemp()
    if os.environ.get("PYTEST_XDIST_WORKER"):
        run_dir = run_dir.parent  # shared by this run's workers alone
    build_dir = run_dir / "generator-objects"
    build_dir.mkdir(exist_ok=True)
    objects = [build_dir / f"{source.parent.name}_{source.stem}.o" for source in sources]
    with open(build_dir / ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not (build_dir / ".done").exists():
            def compile_one(pair):
                source, obj = pair
                subprocess.run([compiler, *flags, "-c", str(source), "-o", str(obj)], check=True)

            with ThreadPoolExecutor(os.cpu_count() or 1) as pool:
                list(pool.map(compile_one, zip(sources, objects)))
            (build_dir / ".done").touch()
    return objects


@pytest.fixture(scope="session", autouse=True)
def private_cache_home(tmp_path_factory):
    """No test (nor a command it starts) writes into the user's own cache."""
    with pytest.MonkeyPatch.context() as patch:
        patch.setenv("XDG_CACHE_HOME", str(tmp_path_factory.mktemp("cache-home")))
        yield
