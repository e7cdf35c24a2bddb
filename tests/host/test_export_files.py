"""How exports meet the file system: whole files or none (signals too), modes
and links kept, outputs that are no file refused before any work, and JSON
written in flat memory."""

import json
import os
import signal
import stat
import subprocess
import sys
import time

import kinetrope
import pytest
from kinetrope_host.cli import main

LONG = ["helix", "circle", "lfo_breathe", "bounce", "--bpm", "120", "--fps", "60", "--seconds", "3600"]


def export_in_child(args, **options):
    return subprocess.Popen([sys.executable, "-m", "kinetrope_host", "export", *args],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=as_from_a_terminal, **options)


def as_from_a_terminal():
    # A runner started under nohup, or in the background of a shell, hands
    # its children these signals ignored, and a program rightly keeps that.
    for signum in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(signum, signal.SIG_DFL)


@pytest.mark.parametrize("signum, suffix", [(signal.SIGINT, ".csv"), (signal.SIGTERM, ".json"), (signal.SIGHUP, ".glb")])
def test_a_signal_mid_export_leaves_no_file(tmp_path, signum, suffix):
    out = tmp_path / f"song{suffix}"
    child = export_in_child([*LONG, "--out", str(out)])
    deadline = time.monotonic() + 60
    while not any(p.name.endswith(".part") for p in tmp_path.iterdir()):
        assert child.poll() is None and time.monotonic() < deadline, child.communicate()
        time.sleep(0.02)
    time.sleep(0.3)  # well into the frames
    child.send_signal(signum)
    child.communicate(timeout=60)
    assert child.returncode == (130 if signum == signal.SIGINT else -signum)
    assert list(tmp_path.iterdir()) == []


def test_existing_file_keeps_its_mode_and_a_link_writes_through(tmp_path):
    private = tmp_path / "private.csv"
    private.write_text("old")
    private.chmod(0o600)
    target = tmp_path / "real" / "motion.json"
    target.parent.mkdir()
    link = tmp_path / "link.json"
    link.symlink_to(target)  # dangling until the export makes the target
    for out in (private, link):
        assert main(["export", "bounce", "--bpm", "120", "--fps", "10", "--bars", "1", "--out", str(out)]) == 0
    assert stat.S_IMODE(private.stat().st_mode) == 0o600 and private.read_text().startswith("frame,")
    assert link.is_symlink() and json.loads(target.read_text())["patterns"] == ["bounce"]
    assert sorted(p.name for p in target.parent.iterdir()) == ["motion.json"]


@pytest.mark.parametrize(
    "case, words",
    [
        ("fifo", "it is a FIFO, not a regular file"),
        ("device", "it is a device, not a regular file"),
        ("directory", "it is a directory, not a regular file"),
        ("trailing slash", "a file name cannot end in /"),
        ("no such directory", "there is no directory"),
        ("too big", "would hold 1,000,000,000,001 frames x 1 pattern(s) = 1,000,000,000,001 samples; one file holds at most 100,000,000"),
        ("scale past finite", "--scale must be a positive number of metres up to 1e+30: 1e+39"),
        ("float32 times", "too coarse"),
    ],
)
def test_outputs_and_sizes_refused_in_one_line_before_any_work(tmp_path, monkeypatch, capsys, case, words):
    def no_sampling(*args):
        raise AssertionError("sampled before refusing")

    monkeypatch.setattr(kinetrope, "sample", no_sampling)
    out = tmp_path / "x.gltf"
    options = ["--bpm", "120", "--fps", "30", "--seconds", "2"]
    if case == "fifo":
        os.mkfifo(out)
    elif case == "device":
        out.symlink_to("/dev/null")
    elif case == "directory":
        out.mkdir()
    elif case == "no such directory":
        out = tmp_path / "nowhere" / "x.gltf"
    elif case == "too big":
        options = ["--bpm", "120", "--fps", "1e6", "--seconds", "1e6"]
    elif case == "scale past finite":
        options += ["--scale", "1e39"]
    elif case == "float32 times":
        options = ["--bpm", "120", "--fps", "1000", "--seconds", "50000"]
    target = str(out) + ("/" if case == "trailing slash" else "")
    before = sorted(tmp_path.iterdir())
    assert main(["export", "bounce", *options, "--out", target]) == 1
    err = capsys.readouterr().err
    assert err.count("\n") == 1 and words in err, err
    assert sorted(tmp_path.iterdir()) == before


PEAK_RSS = """
import resource, sys
from kinetrope_host.cli import main
main(sys.argv[1:])
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss)
"""


def test_json_memory_stays_flat_over_an_hour(tmp_path):
    peaks = {}
    for seconds in ("60", "3600"):
        out = tmp_path / f"{seconds}.json"
        args = ["export", *LONG[:-1], seconds, "--out", str(out)]
        done = subprocess.run([sys.executable, "-c", PEAK_RSS, *args], capture_output=True, text=True, timeout=600,
                              check=False)
        assert done.returncode == 0, done.stderr
        peaks[seconds] = int(done.stdout.split()[-1]) / 1024  # MiB
        assert json.loads(out.read_text())["header"]["frames"] == int(seconds) * 60 + 1
    # The hour's file is about 60 times the minute's; its memory is not.
    assert peaks["3600"] - peaks["60"] < 16, peaks
