"""The README as a newcomer follows it: every shell block runs, in order, in
a fresh folder (what the commands write lands under its build/), with short
--bars; every Python block runs, and a line whose comment shows its result
(`# 416`, `# (0.70..., 0.0, 0.0)`, `# ValueError: ...`) gives that result."""

import ast
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).parents[2]
README = REPO / "README.md"
BLOCK = re.compile(r"^```(\w+)\n(.*?)^```$", re.S | re.M)
# Blocks that another test runs: the test command is this suite itself, and
# tests/docs/test_site.py builds the documentation with the README's command.
RUN_ELSEWHERE = ("python3 -m pytest", "mkdocs build")
ERROR_COMMENT = re.compile(r"#\s*(\w+Error): (.+)$")


def blocks(language):
    return [code for kind, code in BLOCK.findall(README.read_text()) if kind == language]


def runnable(block):
    """The block as the test runs it: installs left out (done once before),
    every `kinetrope play` shortened to one bar, background jobs ended with it."""
    text = re.sub(r"^python3 -m pip install \S+ && ", "", block.replace("\\\n", " "), flags=re.M)
    lines = []
    for line in text.splitlines():
        if line.startswith("kinetrope play"):
            line = re.sub(r"--bars \d+", "--bars 1", line)
            if "--bars" not in line and "--frames" not in line:
                command, background, _ = re.match(r"(.*?)(\s*&)?(\s*#.*)?$", line).groups()
                line = f"{command} --bars 1{background or ''}"
        lines.append(line)
    return "trap 'kill $(jobs -p) 2>/dev/null || true' EXIT\n" + "\n".join(lines) + "\n"


def run_shell_blocks(folder):
    """Runs every shell block in `folder`, in README order; returns the failures."""
    (folder / "examples").symlink_to(REPO / "examples")
    (folder / "data").symlink_to(REPO / "data")
    # The C++ section's program and CMake project, as its shell blocks expect them.
    (folder / "demo.cpp").write_text(blocks("cpp")[0])
    (folder / "CMakeLists.txt").write_text(blocks("cmake")[0])
    env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy",
               PATH=f"{Path(sys.executable).parent}{os.pathsep}{os.environ['PATH']}")
    failures = []
    for block in blocks("sh"):
        if any(elsewhere in block for elsewhere in RUN_ELSEWHERE):
            continue
        done = subprocess.run(["bash", "-euo", "pipefail", "-c", runnable(block)], cwd=folder, env=env,
                              capture_output=True, text=True, timeout=600)
        if done.returncode != 0:
            failures.append(f"{block}exit {done.returncode}\n{done.stderr[-2000:]}")
    return failures


def shown_result(comment):
    """The value a comment shows, if it starts with one (`# 2048.0, a float`)."""
    for candidate in (comment, *(comment.split(sep)[0] for sep in (";", ":", ", "))):
        try:
            return True, ast.literal_eval(candidate.strip())
        except (ValueError, SyntaxError):
            continue
    return False, None


def check_statement(statement, source, namespace):
    line = source.splitlines()[statement.end_lineno - 1]
    comment = line.split("#", 1)[1].strip() if "#" in line else ""
    code = compile(ast.Module([statement], []), "README.md", "exec")
    if expected := ERROR_COMMENT.search(line):
        with pytest.raises(Exception) as raised:
            exec(code, namespace)
        assert type(raised.value).__name__ == expected[1] and str(raised.value).startswith(expected[2]), line
        return
    if isinstance(statement, ast.Expr) or (isinstance(statement, ast.Assign) and len(statement.targets) == 1
                                           and isinstance(statement.targets[0], ast.Name)):
        value_code = compile(ast.Expression(statement.value), "README.md", "eval")
        value = eval(value_code, namespace)
        if isinstance(statement, ast.Assign):
            namespace[statement.targets[0].id] = value
        shows, shown = shown_result(comment)
        if shows:
            assert value == pytest.approx(shown, abs=1e-9), line
        return
    exec(code, namespace)


def test_every_block_runs_as_printed(tmp_path, monkeypatch):
    # One test, in one folder: the Python blocks may read what the shell blocks wrote.
    assert run_shell_blocks(tmp_path) == []
    written = {p.relative_to(tmp_path).as_posix() for p in tmp_path.rglob("*") if p.is_file()}
    assert {"build/gallery/index.html", "build/gallery.png", "build/motion.glb", "build/song.mid", "build/song.csv",
            "build/view.png", "build/clicks.wav", "build/sketch/index.html", "build/pygame_window.png"} <= written
    assert all(p.startswith("build/") or p in ("demo.cpp", "CMakeLists.txt", "demo") for p in written), written
    monkeypatch.chdir(tmp_path)
    namespace = {}
    for source in blocks("python"):
        for statement in ast.parse(source).body:
            check_statement(statement, source, namespace)
