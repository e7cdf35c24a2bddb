"""Beats, bars and meter of mono samples.

Features: one pass over the samples, a block at a time, makes a log-mel
spectrogram (onsets, and the low bands where kick drums are), a chromagram
(where the harmony changes); each beat is then placed on a finer hop
computed near it only. Only these small arrays outlive a block, so analysis
takes the samples plus about a third of their size again, plus a fixed
block's worth (the local tempo is estimated block by block too).

Beats: librosa's dynamic-programming tracker on a frame-by-frame tempo (a
running median of librosa's local estimate, so a tempo change is followed),
each beat moved to the onset peak near it. Then the beat list is made
regular: a gap of about n beats gets its n - 1 missing beats spread evenly
over it, so a missed beat never shifts the bars after it; two beats on one
onset become one.

Bars: for each meter (2, 3 or 4 beats a bar) and each phase, the beats
that would be downbeats are compared with the others: on a change of
harmony (as far as the music is pitched), a sound of their own, the kick
drum and the overall accent; and the backbeat's snare tells strong beats
from weak ones. The strongest contrast gives the meter and the first
downbeat. Two beats a bar are 6/8 where the beat divides in three (onsets
at its thirds rather than its half), else half a 4/4 bar; fast beats in
threes whose groups pair up are the eighths of a 6/8.
"""

from __future__ import annotations

import itertools
from dataclasses import dataclass
from typing import Any

from kinetrope_host.clocks.audio_file import RATE, Progress

HOP = 512  # onset envelope hop for tracking (23 ms; each beat is then placed on the fine hop)
WINDOW = 2048
FINE_HOP = 128  # hop for placing each beat (5.8 ms, and between frames by a parabola)
FINE_WINDOW = 512  # a short window places the onset: a long one lets its peak trail the attack
MELS = 64
FINE_MELS = 32
KICK_MELS = 4  # the lowest mel bands, below about 250 Hz
SNARE_MEL = 40  # mel bands from here up (above about 3 kHz): snare and hats, the backbeat
EDGE = 0.15  # a first or last beat weaker than this share of the median is the tracker running on in silence
COMPOUND_BPM = 150.0  # beats grouped in threes faster than this are the eighths of a 6/8
TEMPO_SPAN = 8.0  # seconds of librosa's tempo window, and of the median over its estimates
TEMPO_BLOCK = 2048  # onset frames (48 s) a block of the local tempo estimate
SEARCH = 0.035  # seconds either side of a tracked beat where its onset peak is looked for
BLOCK_FRAMES = 1024  # coarse frames a block (24 s): the STFT of one block is what analysis holds at once
FLAT_CHROMA = 0.6  # median share of the loudest pitch class the others reach: at this or above, no harmony
PITCHED_CHROMA = 0.35  # at this or below, plainly pitched music
FOUR_BIAS = 1.1  # four beats a bar is the common case: it wins close calls against three
HEARD = 0.05  # onsets between beats at least this share of those on the beats count as a subdivision
TERNARY = 1.3  # onsets at the thirds of a beat this much stronger than at its half: a compound beat


@dataclass(frozen=True)
class Bars:
    """Beat times in seconds, the index of the first downbeat among them,
    beats a bar and the note value of a beat (4: quarter, 8: compound, a
    beat of three eighths)."""

    beats: tuple[float, ...]
    downbeat: int
    beats_per_bar: int
    unit: int

    @property
    def meter(self) -> str:
        return f"{self.beats_per_bar * 3}/8" if self.unit == 8 else f"{self.beats_per_bar}/4"


def _librosa() -> Any:
    from kinetrope_host.clocks.audio import librosa_module

    return librosa_module()


def _segment(samples: Any, start: int, end: int) -> Any:
    """samples[start:end], zeros where that runs past either edge."""
    import numpy

    piece = numpy.zeros(end - start, dtype=numpy.float32)
    low, high = max(start, 0), min(end, len(samples))
    if high > low:
        piece[low - start:high - start] = samples[low:high]
    return piece


def _spectra(samples: Any, hop: int, window: int, first: int, last: int) -> Any:
    """Power spectra of frames first..last-1, each centred on frame * hop, as
    librosa's centred STFT with zero padding frames them."""
    import numpy

    librosa = _librosa()
    piece = _segment(samples, first * hop - window // 2, (last - 1) * hop + window // 2 + (window % 2))
    return numpy.abs(librosa.stft(piece, n_fft=window, hop_length=hop, center=False)) ** 2


@dataclass
class Features:
    """Per-hop onset strengths and chroma of a recording, with its samples, from `features`."""

    onsets: Any  # onset strength, one a HOP
    kick: Any  # onset strength of the lowest bands, one a HOP
    snare: Any  # onset strength of the high bands, one a HOP
    chroma: Any  # 12 x frames
    samples: Any  # kept to place each beat on the fine hop, near the beat only


def features(samples: Any, progress: Progress | None = None) -> Features:
    """Onset, kick, snare and chroma curves of mono `samples` at RATE, one value a HOP."""
    import numpy

    librosa = _librosa()
    frames = 1 + len(samples) // HOP
    mel = librosa.filters.mel(sr=RATE, n_fft=WINDOW, n_mels=MELS)
    chroma_filter = librosa.filters.chroma(sr=RATE, n_fft=WINDOW)
    logmel = numpy.empty((MELS, frames), dtype=numpy.float32)
    chroma = numpy.empty((12, frames), dtype=numpy.float32)
    for first in range(0, frames, BLOCK_FRAMES):
        last = min(first + BLOCK_FRAMES, frames)
        power = _spectra(samples, HOP, WINDOW, first, last)
        logmel[:, first:last] = librosa.power_to_db(mel @ power, top_db=None)
        chroma[:, first:last] = chroma_filter @ power
        if progress is not None:
            progress(last / frames)
    # the 80 dB floor librosa puts under the loudest bin, applied once the loudest is known
    numpy.maximum(logmel, logmel.max() - 80.0, out=logmel)
    onsets = librosa.onset.onset_strength(S=logmel, sr=RATE, hop_length=HOP, n_fft=WINDOW)
    kick = librosa.onset.onset_strength(S=logmel[:KICK_MELS], sr=RATE, hop_length=HOP, n_fft=WINDOW)
    snare = librosa.onset.onset_strength(S=logmel[SNARE_MEL:], sr=RATE, hop_length=HOP, n_fft=WINDOW)
    chroma /= numpy.maximum(chroma.max(axis=0, keepdims=True), 1e-10)
    return Features(onsets, kick, snare, chroma, samples)


def _local_tempo(onsets: Any) -> Any:
    import numpy
    from scipy.ndimage import median_filter  # type: ignore[import-untyped, unused-ignore]

    librosa = _librosa()
    # Block by block: the tempogram holds a window's worth of lags for every
    # frame, several times the samples' size for a whole song. Each block sees
    # a window more on either side, so its estimates are those of one pass.
    window = round(TEMPO_SPAN * RATE / HOP)
    local = numpy.empty(len(onsets))
    for first in range(0, len(onsets), TEMPO_BLOCK):
        last = min(first + TEMPO_BLOCK, len(onsets))
        low, high = max(first - window, 0), min(last + window, len(onsets))
        part = librosa.feature.tempo(onset_envelope=onsets[low:high], sr=RATE, hop_length=HOP, aggregate=None,
                                     ac_size=TEMPO_SPAN)
        local[first:last] = part[first - low:last - low]
    # Where librosa's autocorrelation window overhangs the start or the end,
    # its estimate can jump an octave; there the estimate a half window in is used.
    edge = int(TEMPO_SPAN / 2 * RATE / HOP)
    if len(local) > 2 * edge + 1:
        local[:edge] = local[edge]
        local[-edge:] = local[-edge - 1]
    return median_filter(local, size=max(1, 2 * edge), mode="nearest")


def _fine_onsets(samples: Any, mel: Any, first: int, last: int) -> Any:
    """Onset strength on the fine hop at fine frames first..last-1, timed as
    librosa times its envelope: a frame's rise is put where its window's
    leading edge is."""
    import numpy

    librosa = _librosa()
    lead = FINE_WINDOW // (2 * FINE_HOP)
    logmel = librosa.power_to_db(mel @ _spectra(samples, FINE_HOP, FINE_WINDOW, first - lead - 1, last - lead),
                                 top_db=None)
    numpy.maximum(logmel, logmel.max() - 80.0, out=logmel)
    return numpy.maximum(numpy.diff(logmel, axis=1), 0.0).mean(axis=0)


def _place(coarse: list[float], samples: Any) -> list[float]:
    """Each beat moved to the onset peak within SEARCH of it, found on a fine
    hop computed near the beat only, and placed between frames by a parabola
    through the peak and its neighbours."""
    import numpy

    librosa = _librosa()
    mel = librosa.filters.mel(sr=RATE, n_fft=FINE_WINDOW, n_mels=FINE_MELS)
    reach = round(SEARCH * RATE / FINE_HOP)
    placed = []
    for time in coarse:
        low = round(time * RATE / FINE_HOP) - reach - 1
        fine = _fine_onsets(samples, mel, low, low + 2 * reach + 3)
        peak = 1 + int(numpy.argmax(fine[1:-1]))
        before, at, after = fine[peak - 1], fine[peak], fine[peak + 1]
        curve = before - 2.0 * at + after
        shift = 0.5 * (before - after) / curve if curve < 0 else 0.0
        placed.append(float((low + peak + shift) * FINE_HOP / RATE) if at > 0 else float(time))
    return placed


def regular(beats: list[float]) -> list[float]:
    """Beats with the gaps filled from the local beat period and doubled
    beats merged, so that beat n is always the nth beat of the music."""
    import numpy

    if len(beats) < 3:
        return beats
    kept = [beats[0]]
    periods = numpy.diff(beats)
    for index, beat in enumerate(beats[1:]):
        near = periods[max(index - 4, 0):index + 5]
        period = float(numpy.median(near))
        gap = beat - kept[-1]
        if gap < 0.5 * period:
            continue
        missing = round(gap / period) - 1
        start = kept[-1]
        kept.extend(start + gap * k / (missing + 1) for k in range(1, missing + 1))
        kept.append(beat)
    return kept


def _trim_edges(beats: list[float], onsets: Any) -> list[float]:
    """Drops the beats at either end that have no onset under them: the
    tracker runs on into the silence before and after the music."""
    import numpy

    strength = [_peak_near(onsets, beat, 0.05) for beat in beats]
    if not strength:
        return beats
    floor = EDGE * float(numpy.median(strength))
    first = next((i for i, value in enumerate(strength) if value >= floor), len(beats))
    last = next((i for i in range(len(beats) - 1, -1, -1) if strength[i] >= floor), -1)
    return beats[first:last + 1]


def track(found: Features) -> list[float]:
    """Beat times in seconds, regular (see `regular`)."""
    librosa = _librosa()
    _, frames = librosa.beat.beat_track(onset_envelope=found.onsets, sr=RATE, hop_length=HOP,
                                        bpm=_local_tempo(found.onsets), units="frames", trim=False)
    coarse = librosa.frames_to_time(frames, sr=RATE, hop_length=HOP)
    return regular(_place(_trim_edges(list(coarse), found.onsets), found.samples))


def _at_beats(envelope: Any, beats: list[float], hop: int) -> Any:
    """The envelope's peak within a sixteenth of a beat either side of each beat."""
    import numpy

    frames = numpy.round(numpy.array(beats) * RATE / hop).astype(int)
    reach = max(1, round(numpy.median(numpy.diff(beats)) / 4 * RATE / hop / 2))
    return numpy.array([envelope[max(f - reach, 0):f + reach + 1].max(initial=0.0) for f in frames])


def _beat_chroma(chroma: Any, beats: list[float]) -> list[Any]:
    """The mean chroma of each beat, from the first frame whose window holds
    its onset (half a window before it) to the next beat's."""
    import numpy

    lead = WINDOW // (2 * HOP)
    edges = numpy.clip(numpy.round(numpy.array(beats) * RATE / HOP).astype(int) - lead, 0, chroma.shape[1] - 1)
    return [chroma[:, a:max(b, a + 1)].mean(axis=1) for a, b in zip(edges, [*edges[1:], chroma.shape[1]])]


def _harmony_change(means: list[Any]) -> Any:
    """For each beat, how far the harmony of the beat that starts there is
    from the one before it (0 for the first beat)."""
    import numpy

    return numpy.array([0.0] + [_distance(a, b) for a, b in itertools.pairwise(means)])


def _distinct(means: list[Any]) -> Any:
    """For each beat, how far its pitch content is from the whole track's: a
    bar marked by a different sound on beat 1 (a higher click, a bell)."""
    import numpy

    overall = numpy.mean(means, axis=0)
    return numpy.array([_distance(overall, mean) for mean in means])


def _distance(a: Any, b: Any) -> float:
    import numpy

    norm = float(numpy.linalg.norm(a) * numpy.linalg.norm(b))
    return 1.0 - float(a @ b) / norm if norm > 0 else 0.0


def _standard(values: Any) -> Any:
    import numpy

    spread = float(numpy.std(values))
    return (values - numpy.mean(values)) / spread if spread > 1e-9 else numpy.zeros_like(values)


def _contrast(cues: list[Any], meter: int, phase: int) -> float:
    """How much more the beats at `phase` of each bar of `meter` beats stand
    out on the cues than the other beats, in standard deviations."""
    import numpy

    total = 0.0
    for cue in cues:
        on = cue[phase::meter]
        off = numpy.delete(cue, numpy.arange(phase, len(cue), meter))
        if len(on) and len(off):
            total += float(numpy.mean(on) - numpy.mean(off))
    return total


def _ternary(onsets: Any, beats: list[float]) -> bool:
    """Whether the onsets between beats fall on thirds rather than on the
    half. Each window runs on an eighth of a beat past its place: a soft
    attack peaks late."""
    thirds = half = on_beats = 0.0
    for here, there in itertools.pairwise(beats):
        span = there - here
        thirds += sum(_peak_after(onsets, here + share * span, span / 8) for share in (1 / 3, 2 / 3)) / 2
        half += _peak_after(onsets, here + span / 2, span / 8)
        on_beats += _peak_after(onsets, here, span / 8)
    # with nothing between the beats the ratio is of noise: thirds must be heard
    return bool(thirds > TERNARY * half and thirds > HEARD * on_beats)


def _peak_after(onsets: Any, at: float, reach: float) -> float:
    low = max(int(at * RATE / HOP), 0)
    return float(onsets[low:max(int((at + reach) * RATE / HOP) + 1, low + 1)].max(initial=0.0))


def _peak_near(onsets: Any, at: float, reach: float) -> float:
    low = max(int((at - reach) * RATE / HOP), 0)
    high = max(int((at + reach) * RATE / HOP) + 1, low + 1)
    return float(onsets[low:high].max(initial=0.0))


def _cues(beats: list[float], found: Features) -> tuple[list[Any], Any]:
    """What marks a downbeat, one value a beat: the harmony changing, the
    kick drum, the overall accent (a crash on bar 1), a sound of its own; and the backbeat's
    snare, which tells the strong beats of a bar from the weak ones but not
    bar 1 from beat 3 (so a crash, loud in the high bands, cannot mislead it)."""
    import numpy

    # Chroma of drums alone is flat (every pitch class near the loudest) and its
    # "changes" follow the drum pattern, not the harmony: it counts only as far
    # as the music is pitched.
    flatness = float(numpy.median(found.chroma.mean(axis=0)))
    pitched = min(max((FLAT_CHROMA - flatness) / (FLAT_CHROMA - PITCHED_CHROMA), 0.0), 1.0)
    means = _beat_chroma(found.chroma, beats)
    downbeat = [pitched * _standard(_harmony_change(means)), _standard(_at_beats(found.kick, beats, HOP)),
                0.5 * _standard(_at_beats(found.onsets, beats, HOP)),
                0.5 * pitched * _standard(_distinct(means))]
    return downbeat, -0.5 * _standard(_at_beats(found.snare, beats, HOP))


def _best_grouping(cues: tuple[list[Any], Any], meters: tuple[int, ...]) -> tuple[float, int, int]:
    downbeat, backbeat = cues
    best = (float("-inf"), 4, 0)
    for meter in meters:
        strong = 3 if meter == 3 else 2
        for phase in range(meter):
            score = _contrast(downbeat, meter, phase) * (FOUR_BIAS if meter == 4 else 1.0)
            score += _contrast([backbeat], strong, phase % strong)
            if score > best[0]:
                best = (score, meter, phase)
    return best


def bars(beats: list[float], found: Features) -> Bars:
    """The meter and first downbeat of regular beats."""
    import numpy

    if len(beats) < 8:
        return Bars(tuple(beats), 0, 4, 4)
    cues = _cues(beats, found)
    _, meter, phase = _best_grouping(cues, (2, 3, 4))
    if meter == 3 and 60.0 / float(numpy.median(numpy.diff(beats))) > COMPOUND_BPM:
        # Fast beats in threes: the tracker may have followed the eighths of a
        # 6/8. Bars of two groups of three standing out more than single groups
        # say so; the beats are then the groups.
        groups = beats[phase::3]
        score_six, _, phase_six = _best_grouping(_cues(groups, found), (2,))
        score_three, _, _ = _best_grouping(_cues(groups, found), (3,))
        if score_six > score_three and len(groups) >= 8:
            return Bars(tuple(groups), phase_six, 2, 8)
    if meter == 2 and _ternary(found.onsets, beats):
        return Bars(tuple(beats), phase, 2, 8)
    if meter == 2:
        # Two beats a bar in duple time is most often half a 4/4 bar whose beats
        # 1 and 3 sound alike: called 4/4, its bar 1 the likelier of the two.
        _, meter, phase = _best_grouping(cues, (4,))
    return Bars(tuple(beats), phase, meter, 4)


def analyse(samples: Any, progress: Progress | None = None) -> Bars:
    """The beats and bars of mono `samples` at RATE."""
    found = features(samples, progress)
    return bars(track(found), found)
