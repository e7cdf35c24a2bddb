"""Beats and bars from an audio file, as a TempoMap a `TempoClock` follows.

`audio_file` reads and checks the file, `beat_tracking` finds its beats,
meter and first downbeat. The first downbeat is pip 0 (bar 1, beat 1);
beats before it (a pickup) count in with negative pips. The map runs on
before the first beat and after the last at the outer beats' tempo.

The analysis of a file is kept in the user's cache folder under the SHA-256
of the file's content, so the same song starts at once the next time,
whatever its name.
"""

from __future__ import annotations

import hashlib
import json
import os
from dataclasses import dataclass
from pathlib import Path
from typing import Any

from kinetrope_host.clocks.audio_file import RATE, Progress, check_file, load
from kinetrope_host.clocks.beat_tracking import Bars, analyse
from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError

__all__ = ["RATE", "BeatMap", "beat_map", "librosa_module"]

ANALYSIS_VERSION = 5  # bump when the analysis changes, so old cached results are not used
HASH_BLOCK = 1 << 20


@dataclass(frozen=True)
class BeatMap:
    """The beats of a file (seconds from its start), its bars and tempo map,
    and the file's duration in seconds."""

    beats: tuple[float, ...]
    tempo: TempoMap
    duration: float
    downbeat: int = 0  # index in `beats` of bar 1, beat 1
    beats_per_bar: int = 4
    meter: str = "4/4"


def librosa_module() -> Any:
    """The imported librosa module; UserError with the install hint if it is missing."""
    try:
        import librosa
    except ImportError:
        raise UserError("beats from audio need librosa: pip install 'kinetrope[audio]'") from None
    return librosa


def content_key(name: str) -> str:
    """A SHA-256 hex digest of the file's bytes and the analysis version, naming
    its cached beats; UserError if the file cannot be read."""
    digest = hashlib.sha256(f"kinetrope beats {ANALYSIS_VERSION}\n".encode())
    try:
        with open(name, "rb") as source:
            while block := source.read(HASH_BLOCK):
                digest.update(block)
    except OSError as error:
        raise UserError(f"cannot read audio file {name}: {error.strerror or type(error).__name__}") from None
    return digest.hexdigest()


def cache_folder() -> Path:
    """Where analysed beats are cached: `beats` in the user's kinetrope cache directory."""
    from platformdirs import user_cache_dir

    return Path(user_cache_dir("kinetrope")) / "beats"


def _cached(key: str) -> tuple[Bars, float] | None:
    try:
        data = json.loads((cache_folder() / f"{key}.json").read_text())
        found = Bars(tuple(float(b) for b in data["beats"]), int(data["downbeat"]), int(data["beats_per_bar"]),
                     int(data["unit"]))
        return found, float(data["duration"])
    except (OSError, ValueError, KeyError, TypeError):
        # none yet, or unreadable: analyse again
        return None


def _keep(key: str, found: Bars, duration: float) -> None:
    folder = cache_folder()
    data = {"beats": list(found.beats), "downbeat": found.downbeat, "beats_per_bar": found.beats_per_bar,
            "unit": found.unit, "duration": duration}
    try:
        folder.mkdir(parents=True, exist_ok=True)
        partial = folder / f"{key}.json.{os.getpid()}"
        partial.write_text(json.dumps(data))
        partial.replace(folder / f"{key}.json")  # whole or not at all, also with two players at once
    except OSError:
        pass  # a read-only cache costs time next run, nothing else


def analyse_file(path: str | os.PathLike[str], progress: Progress | None = None,
                 cache: bool = True) -> tuple[Bars, float]:
    """Bars of the file and its duration in seconds, from the cache when this
    content was analysed before."""
    name = os.fspath(path)
    check_file(name)
    key = content_key(name) if cache else ""
    if cache and (hit := _cached(key)) is not None:
        return hit
    librosa_module()
    samples = load(name, None if progress is None else lambda share: progress(share * 0.3))
    found = analyse(samples, None if progress is None else lambda share: progress(0.3 + share * 0.6))
    duration = len(samples) / RATE
    if cache and len(found.beats) >= 2:
        _keep(key, found, duration)
    if progress is not None:
        progress(1.0)
    return found, duration


def beat_map(path: str | os.PathLike[str], progress: Progress | None = None, cache: bool = True,
             offset: float = 0.0) -> BeatMap:
    """The beat map of an audio file, every beat moved by `offset` seconds;
    `UserError` if it cannot be read or has too few beats to give a tempo."""
    found, duration = analyse_file(path, progress, cache)
    if len(found.beats) < 2:
        raise UserError(f"found {len(found.beats)} beat(s) in audio file {os.fspath(path)}; "
                        "a tempo needs two or more")
    beats = tuple(beat + offset for beat in found.beats)
    return BeatMap(beats, TempoMap.from_beat_times(beats, downbeat=found.downbeat), duration, found.downbeat,
                   found.beats_per_bar, found.meter)
