"""Beats from an audio file: librosa tracks them, a TempoMap follows them.

librosa's tracker (dynamic programming over an onset envelope) gives beat
frames; the tempo it follows is estimated frame by frame (a running median
of librosa's local estimate), so a song that changes tempo is tracked through
the change. Each tracked beat is then moved
to the peak of the onset envelope near it, found on a finer hop and placed
between frames by a parabola through the peak and its neighbours, so a beat
lands within a few milliseconds of its onset rather than on a 12 ms grid.

Downbeat: the first tracked beat is pip 0 (beat 1 of bar 1). The map runs on
before it and after the last beat at the outer beats' tempo (`TempoMap`).
"""

from __future__ import annotations

import os
from dataclasses import dataclass
from typing import Any

from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError

RATE = 22050  # what librosa analyses at by default; enough for onsets
HOP = 256  # onset envelope hop for tracking (11.6 ms)
FINE_HOP = 64  # hop for placing each beat (2.9 ms)
FINE_WINDOW = 512  # window for placing each beat (23 ms)
WEAK = 0.2  # a beat whose onset peak is below this share of the median peak is the tracker running on in silence
TEMPO_SPAN = 8.0  # seconds of librosa's tempo window, and of the median over its estimates
SEARCH = 0.06  # seconds either side of a tracked beat where its onset peak is looked for


@dataclass(frozen=True)
class BeatMap:
    """The tracked beats of a file (seconds from its start), their tempo
    map, and the file's duration in seconds."""

    beats: tuple[float, ...]
    tempo: TempoMap
    duration: float


def _librosa() -> Any:
    try:
        import librosa
    except ImportError:
        raise UserError("beats from audio need librosa: pip install 'kinetrope[audio]'") from None
    return librosa


def load(path: str | os.PathLike[str]) -> Any:
    """The file's samples, mono at RATE; `UserError` if it cannot be read.
    soundfile (libsndfile: WAV, FLAC, Ogg, MP3 and more) reads it, librosa
    resamples it."""
    librosa = _librosa()
    import numpy
    import soundfile  # type: ignore[import-untyped, unused-ignore]

    name = os.fspath(path)
    if not os.path.isfile(name):
        raise UserError(f"cannot read audio file {name}: no such file")
    try:
        samples, rate = soundfile.read(name, dtype="float32", always_2d=True)
    except (soundfile.LibsndfileError, RuntimeError, OSError) as error:
        reason = str(error).strip().splitlines()[0] if str(error).strip() else type(error).__name__
        raise UserError(f"cannot read audio file {name}: {reason}") from None
    mono = numpy.mean(samples, axis=1)
    if len(mono) == 0:
        raise UserError(f"cannot read audio file {name}: it holds no samples")
    return librosa.resample(mono, orig_sr=rate, target_sr=RATE) if rate != RATE else mono


def track(samples: Any, rate: int = RATE) -> list[float]:
    """Beat times in seconds of mono samples."""
    librosa = _librosa()
    import numpy

    envelope = librosa.onset.onset_strength(y=samples, sr=rate, hop_length=HOP)
    local = librosa.feature.tempo(onset_envelope=envelope, sr=rate, hop_length=HOP, aggregate=None,
                                  ac_size=TEMPO_SPAN)
    # Where librosa's autocorrelation window overhangs the start or the end of
    # the file, its local estimate can jump to twice the tempo; there the tempo
    # found a half window in is used. A running median over the window then
    # steadies the estimate and still moves at a tempo change.
    from scipy.ndimage import median_filter  # type: ignore[import-untyped, unused-ignore]

    edge = int(TEMPO_SPAN / 2 * rate / HOP)
    if len(local) > 2 * edge + 1:
        local[:edge] = local[edge]
        local[-edge:] = local[-edge - 1]
    tempo = median_filter(local, size=max(1, 2 * edge), mode="nearest")
    _, frames = librosa.beat.beat_track(onset_envelope=envelope, sr=rate, hop_length=HOP, bpm=tempo,
                                        units="frames", trim=False)
    coarse = librosa.frames_to_time(frames, sr=rate, hop_length=HOP)
    # A short window places the onset: a long one lets its peak trail the attack.
    fine = librosa.onset.onset_strength(y=samples, sr=rate, hop_length=FINE_HOP, n_fft=FINE_WINDOW)
    reach = int(round(SEARCH * rate / FINE_HOP))
    beats = []
    strengths = []
    for time in coarse:
        centre = int(round(time * rate / FINE_HOP))
        low, high = max(centre - reach, 1), min(centre + reach + 1, len(fine) - 1)
        if low >= high:
            continue
        peak = low + int(numpy.argmax(fine[low:high]))
        before, at, after = fine[peak - 1], fine[peak], fine[min(peak + 1, len(fine) - 1)]
        curve = before - 2.0 * at + after
        shift = 0.5 * (before - after) / curve if curve < 0 else 0.0
        beats.append(float((peak + shift) * FINE_HOP / rate))
        strengths.append(float(at))
    if strengths:
        floor = WEAK * float(numpy.median(strengths))
        beats = [beat for beat, strength in zip(beats, strengths) if strength >= floor]
    # Two tracked beats can settle on one onset; keep them strictly increasing.
    kept: list[float] = []
    for beat in beats:
        if not kept or beat > kept[-1] + 0.05:
            kept.append(beat)
    return kept


def beat_map(path: str | os.PathLike[str]) -> BeatMap:
    """The beat map of an audio file; `UserError` if it cannot be read or
    has too few beats to give a tempo."""
    samples = load(path)
    beats = track(samples)
    if len(beats) < 2:
        raise UserError(f"found {len(beats)} beat(s) in audio file {os.fspath(path)}; a tempo needs two or more")
    return BeatMap(tuple(beats), TempoMap.from_beat_times(beats), len(samples) / RATE)
