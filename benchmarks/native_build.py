"""Compiles a benchmark program against the installed headers and module."""

import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

import kinetrope

ROOT = Path(__file__).resolve().parent.parent


def compile_native(source: Path, exe: Path, *extra: str) -> Path:
    compiler = shutil.which("c++") or shutil.which("g++")
    libdir = sysconfig.get_config_var("LIBDIR")
    version = sysconfig.get_config_var("LDVERSION")
    subprocess.run(
        [compiler, "-std=c++20", "-O2", str(source), "-o", str(exe), f"-I{Path(sys.prefix) / 'include'}",
         f"-I{ROOT / 'tests' / 'native'}", *extra, kinetrope.__file__,
         f"-L{libdir}", f"-lpython{version}", f"-Wl,-rpath,{libdir}"],
        check=True,
    )
    return exe
