"""Beats, bars and meter of mono samples.

Features: one pass over the samples, a block at a time, makes a log-mel
spectrogram (onsets), the amplitude of its lowest and highest bands (kick
and snare), a chromagram (where the harmony changes); each beat is then placed on a finer hop
computed near it only. Only these small arrays outlive a block, so analysis
takes the samples plus about a third of their size again, plus a fixed
block's worth (the local tempo is estimated block by block too).

Beats: librosa's dynamic-programming tracker on a frame-by-frame tempo (a
running median of librosa's local estimate, so a tempo change is followed),
at the metrical level where kick and snare take turns (the estimate, or
one related to it by 2, 3/2 or 4/3 either way; a section at another level
than the song's brought back to it), the drifting outer beats put back in
step, each beat moved to the onset peak near it. Then the beat list is made
regular: a gap of about n beats gets its n - 1 missing beats spread evenly
over it, so a missed beat never shifts the bars after it; two beats on one
onset become one.

Bars: for each meter (2, 3 or 4 beats a bar) and each phase, the beats
that would be downbeats are compared with the others: on a change of
harmony (as far as the music is pitched), a sound of their own, the kick
drum, and what sounds there now and then only (a crash, a fill's end); and
the backbeat's snare tells strong beats from weak ones. The strongest
contrast gives the meter and the first downbeat. Beats that divide in
three (onsets at both thirds rather than the half) are 6/8's, two a bar;
else two beats a bar are half a 4/4 bar; fast beats in threes whose groups
pair up are the eighths of a 6/8.
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
DISTINCT_WEIGHT = 0.25  # a sound of its own on beat 1 (an accented click); songs' bars mislead it more often
BASS_SHARE = 0.25  # the lowest bands' share of the power from which a kick counts fully (clicks: 2 %, drums 85 %+)
PHRASE_WEIGHT = 2.0  # a crash or a fill's end now and then, on the same beat: bar 1, whatever else sounds there
HEARD = 0.05  # onsets between beats at least this share of those on the beats count as a subdivision
TERNARY = 1.3  # onsets at the thirds of a beat this much stronger than at its half: a compound beat
LEVELS = (1 / 2, 2 / 3, 3 / 4, 4 / 3, 3 / 2, 2)  # tempo ratios of the levels next to the estimate's
SECTION_LEVELS = (1 / 2, 2 / 3, 3 / 2, 2)  # ...of which a section is at one to the main tempo (4:3 steps happen)
BACKBEAT_GAIN = 1.0  # another level must show kick and snare taking turns this much more plainly...
BACKBEAT_CLEAR = 1.8  # ...and this plainly at least (standard deviations) to be taken for the beat
BACKBEAT_LEVEL = 1.5  # ...with kick and snare each about this much louder on their own beats (shares of their mean)
MIN_BPM, MAX_BPM = 40.0, 240.0  # the levels considered for a beat
JUMP = 0.05  # the local tempo changing this much from one frame to the next starts a new section of it
EDGE_BEATS = 4  # beats at either end the tracker may let drift
OPENING_BEATS = 16  # beats at the start the tracker may take to lock on where a song opens off the beat
STEADY_RUN = 8  # beats on one line that make a steady run either side of a tempo change
STEADY = 0.8  # share of the beats after those within SEARCH of one grid: a steady tempo
SAME = 0.04  # tempi this close (a share) are the same; a ratio this close to a level's is that level


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
    kick_rise: Any  # rise of the lowest bands' amplitude, one a HOP: how loud a kick is, where
    snare_rise: Any  # the same of the high bands: a snare far over a hat (onset strength, a log, rates them alike)
    bass: float  # the lowest bands' share of the power: where it is small there is no kick (a click track)
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
    low = numpy.empty(frames, dtype=numpy.float32)
    high = numpy.empty(frames, dtype=numpy.float32)
    total = 0.0
    for first in range(0, frames, BLOCK_FRAMES):
        last = min(first + BLOCK_FRAMES, frames)
        power = _spectra(samples, HOP, WINDOW, first, last)
        bands = mel @ power
        low[first:last] = bands[:KICK_MELS].sum(axis=0)
        high[first:last] = bands[SNARE_MEL:].sum(axis=0)
        total += float(bands.sum())
        logmel[:, first:last] = librosa.power_to_db(bands, top_db=None)
        chroma[:, first:last] = chroma_filter @ power
        if progress is not None:
            progress(last / frames)
    # the 80 dB floor librosa puts under the loudest bin, applied once the loudest is known
    numpy.maximum(logmel, logmel.max() - 80.0, out=logmel)
    onsets = librosa.onset.onset_strength(S=logmel, sr=RATE, hop_length=HOP, n_fft=WINDOW)
    chroma /= numpy.maximum(chroma.max(axis=0, keepdims=True), 1e-10)
    bass = float(low.sum(dtype=numpy.float64)) / total if total > 0 else 0.0
    return Features(onsets, _rise(low), _rise(high), bass, chroma, samples)


def _rise(power: Any) -> Any:
    """The positive change of a band's amplitude from frame to frame, timed
    as librosa times its onset strength (a frame's rise put where its
    window's leading edge is)."""
    import numpy

    rise = numpy.maximum(numpy.diff(numpy.sqrt(power)), 0.0)
    return numpy.concatenate([numpy.zeros(1 + WINDOW // (2 * HOP)), rise])[:len(power)]


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
    return _same_level(median_filter(local, size=max(1, 2 * edge), mode="nearest"))


def _same_level(tempo: Any) -> Any:
    """The tempo curve with sections heard at another metrical level brought
    back to the song's: a section at half, twice, 2/3 or 3/2 of the main
    tempo (the median), or at any ratio of `LEVELS` to the same tempo on both
    sides of it. Songs rarely change tempo by such ratios; a syncopated
    pattern makes the estimate do so often."""
    import numpy

    jumps = numpy.flatnonzero(numpy.abs(numpy.diff(numpy.log(tempo))) > numpy.log(1 + JUMP))
    edges = [0, *(jumps + 1).tolist(), len(tempo)]
    levels = [float(numpy.median(tempo[a:b])) for a, b in itertools.pairwise(edges)]
    main = float(numpy.median(tempo))
    tempo = tempo.copy()
    for index, here in enumerate(levels):
        ratio = _level_ratio(here / main, SECTION_LEVELS)
        if ratio is None and 0 < index < len(levels) - 1 and _level_ratio(levels[index + 1] / levels[index - 1],
                                                                           (1.0,)):
            ratio = _level_ratio(here / levels[index - 1], LEVELS)
        if ratio is not None:
            tempo[edges[index]:edges[index + 1]] /= ratio
    return tempo


def _level_ratio(ratio: float, levels: tuple[float, ...]) -> float | None:
    """The level of `levels` within `SAME` of `ratio`, or None."""
    import numpy

    nearest = min(levels, key=lambda level: abs(numpy.log(ratio / level)))
    return nearest if abs(numpy.log(ratio / nearest)) <= numpy.log(1 + SAME) else None


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


def _follow(found: Features, bpm: Any) -> list[float]:
    """librosa's tracker along the tempo curve `bpm`: beat times in seconds."""
    librosa = _librosa()
    _, frames = librosa.beat.beat_track(onset_envelope=found.onsets, sr=RATE, hop_length=HOP, bpm=bpm,
                                        units="frames", trim=False)
    return [float(t) for t in librosa.frames_to_time(frames, sr=RATE, hop_length=HOP)]


def _backbeat(found: Features, beats: list[float], scale: str = "spread") -> float:
    """How plainly kick and snare take turns beat by beat (kick on one beat,
    snare on the next): the drums' own word for which pulse is the beat. In
    standard deviations (`scale` "spread"), or in shares of their mean level
    ("level"), where a small steady difference (an accented click) stays small."""
    import numpy

    if len(beats) < 8:
        return 0.0
    kick, snare = _at_beats(found.kick_rise, beats, HOP), _at_beats(found.snare_rise, beats, HOP)
    if scale == "spread":
        kick, snare = standard(kick), standard(snare)
    else:
        kick, snare = kick / max(float(numpy.mean(kick)), 1e-12), snare / max(float(numpy.mean(snare)), 1e-12)
    return max(float(kick[p::2].mean() - kick[1 - p::2].mean() + snare[1 - p::2].mean() - snare[p::2].mean())
               for p in (0, 1))


def _metrical_level(found: Features, tempo: Any) -> list[float]:
    """Beats at the level of the metre the drums play the backbeat on. The
    tempo estimate often lands on the eighths (a slow rock beat at twice its
    tempo) or on two eighths of a 6/8 (its beat at 3:2); where one of the
    levels related to it by these ratios has kick and snare taking turns far
    more plainly, that level is the beat. Music without such drums keeps the
    estimate."""
    import numpy

    tracked = _follow(found, tempo)
    floor = _backbeat(found, tracked) + BACKBEAT_GAIN
    best, best_score = tracked, max(floor, BACKBEAT_CLEAR)
    for ratio in LEVELS:
        bpm = tempo * ratio
        if not MIN_BPM <= float(numpy.median(bpm)) <= MAX_BPM:
            continue
        beats = _follow(found, bpm)
        if (score := _backbeat(found, beats)) > best_score and _backbeat(found, beats, "level") >= BACKBEAT_LEVEL:
            best, best_score = beats, score
    return best


def _straighten_edges(beats: list[float], found: Features) -> list[float]:
    """The tracker's outer beats drift (no music past them holds them in
    step). Walking out from the `EDGE_BEATS`th beat from either end, each
    beat further than `SEARCH` from a step (the median of the next beats in)
    past the one inside it is dropped if that step falls outside the
    recording, or put on it if a stronger onset is there; a slowing at the
    very end keeps its beats."""
    import numpy

    if len(beats) < 4 * EDGE_BEATS:
        return beats
    duration = len(found.samples) / RATE
    beats = list(beats)
    dropped = set()
    last = len(beats) - 1 - EDGE_BEATS
    for inner, way, held in ((EDGE_BEATS, -1, beats[EDGE_BEATS:3 * EDGE_BEATS + 1]),
                             (last, 1, beats[last - 2 * EDGE_BEATS:last + 1])):
        step = way * float(numpy.median(numpy.diff(held)))
        for index in range(inner + way, inner + way * (EDGE_BEATS + 1), way):
            expected = beats[index - way] + step
            if abs(beats[index] - expected) <= SEARCH:
                continue
            if not 0.0 <= expected <= duration:
                dropped.add(index)
            elif _peak_near(found.onsets, expected, SEARCH) > _peak_near(found.onsets, beats[index], SEARCH):
                beats[index] = expected
    return [beat for index, beat in enumerate(beats) if index not in dropped]


def _steady_opening(beats: list[float]) -> list[float]:
    """A song opening off the beat (a pickup, a syncopated intro) holds the
    tracker on the offbeat, or at another tempo, for a few bars until it
    slips onto the beat. Where the beats after the first `OPENING_BEATS`
    keep a steady grid, and the first ones its tempo, each of the first
    further than `SEARCH` from that grid extended back is put on it."""
    import numpy

    if len(beats) < 2 * OPENING_BEATS:
        return beats
    later = numpy.arange(OPENING_BEATS, 2 * OPENING_BEATS)
    times = numpy.take(beats, later)
    step, start = _line(later, times)
    # fitted again without the beats off it (one the tracker let slip)
    near = numpy.abs(times - (start + step * later)) <= SEARCH
    if near.mean() < STEADY:
        return beats  # the tempo moves (rubato, a change): there is no grid to extend
    step, start = _line(later[near], times[near])
    # the tracker's steps come in whole frames: a frame more or less is the same tempo
    opening = float(numpy.median(numpy.diff(beats[:OPENING_BEATS + 1])))
    if abs(opening - step) > SAME * step + HOP / RATE:
        return beats  # an opening at its own tempo
    grid = start + step * numpy.arange(OPENING_BEATS)
    opened = [float(at) if abs(beat - at) > SEARCH else beat for beat, at in zip(beats, grid)]
    return [beat for beat in opened if beat >= -SEARCH] + beats[OPENING_BEATS:]


def _line(indices: Any, times: Any) -> tuple[float, float]:
    """The least-squares line through beat times by their index: (step, time of index 0)."""
    offsets = indices - indices.mean()
    step = float(offsets @ (times - times.mean()) / (offsets @ offsets))
    return step, float(times.mean() - step * indices.mean())


def _steady_runs(beats: list[float]) -> list[tuple[int, int, float]]:
    """Runs of beats on one line (each within SEARCH / 2 of the line through
    the run), as (first, last, step), of `STEADY_RUN` beats or more."""
    import numpy

    def on_line(first: int, last: int) -> bool:
        held = numpy.arange(first, last + 1)
        step, start = _line(held, numpy.take(beats, held))
        return bool(numpy.abs(numpy.take(beats, held) - (start + step * held)).max() <= SEARCH / 2)

    runs, first = [], 0
    for last in range(len(beats) + 1):
        if last < len(beats) and (last - first < 2 or on_line(first, last)):
            continue
        if last - first >= STEADY_RUN:
            held = numpy.arange(first, last)
            runs.append((first, last - 1, _line(held, numpy.take(beats, held))[0]))
        first = last
    return runs


def _bridge_changes(beats: list[float], onsets: Any) -> list[float]:
    """Between two steady runs at a tempo change the tracker slides from one
    tempo to the other, a beat or two short. The beats between them are put
    on the first run's grid and then the second's, as many as fit the gap
    (ending within SEARCH of the second run's first beat); where several
    counts fit (three beats of 96 last four of 128), the one whose beats
    fall on the strongest onsets."""
    import numpy

    result = list(beats)
    for (_, end, before), (start, _, after) in reversed(list(itertools.pairwise(_steady_runs(beats)))):
        gap = beats[start] - beats[end]
        fits = [(count, early) for count in range(1, round(gap / min(before, after)) + 2)
                for early in range(count + 1)
                if abs(gap - early * before - (count - early) * after) < SEARCH]
        if not fits:
            continue  # no count fits: the tracker's beats stand
        bridges = [_bridge(beats[end], before, after, count, early) for count, early in fits]
        result[end + 1:start] = max(bridges, key=lambda bridge: float(
            numpy.mean([_peak_near(onsets, at, SEARCH) for at in bridge] or [0.0])))
    return result


def _bridge(last: float, before: float, after: float, count: int, early: int) -> list[float]:
    """The `count` - 1 beats after the beat at `last`: `early` steps of
    `before`, then steps of `after`."""
    change = last + early * before
    return [last + k * before for k in range(1, min(early, count - 1) + 1)] + \
        [change + k * after for k in range(1, count - early)]


def _opening_beat(beats: list[float], samples: Any) -> list[float]:
    """The beats with one added on the recording's very first sound, where
    the step before the first beat falls: the onset strength sees no rise
    there (nothing sounds before it), so the tracker never puts a beat
    there. It must sound at least half as loud as the beats do."""
    import numpy

    if len(beats) < 4:
        return beats
    expected = 2 * beats[0] - beats[1]
    if not -SEARCH <= expected <= WINDOW / RATE:
        return beats

    def loudness(at: float) -> float:
        low = max(round((at - SEARCH) * RATE), 0)
        return float(numpy.abs(samples[low:round((at + SEARCH) * RATE)]).max(initial=0.0))

    typical = float(numpy.median([loudness(beat) for beat in beats[:16]]))
    return [max(expected, 0.0), *beats] if loudness(expected) >= 0.5 * typical else beats


def track(found: Features) -> list[float]:
    """Beat times in seconds, regular (see `regular`)."""
    coarse = _metrical_level(found, _local_tempo(found.onsets))
    coarse = _straighten_edges(_bridge_changes(_steady_opening(coarse), found.onsets), found)
    coarse = _opening_beat(_trim_edges(coarse, found.onsets), found.samples)
    return regular(_place(coarse, found.samples))


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


def standard(values: Any) -> Any:
    """The values less their mean, over their spread: cues of different
    loudness compared on one scale (all zeros for values that never vary)."""
    import numpy

    spread = float(numpy.std(values))
    return (values - numpy.mean(values)) / spread if spread > 1e-9 else numpy.zeros_like(values)


def contrast(cues: list[Any], meter: int, phase: int) -> float:
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
    """Whether the onsets between beats fall on both thirds rather than on
    the half (a swung beat, long-short, sounds at its second third only). Each
    window runs on an eighth of a beat past its place: a soft attack peaks
    late."""
    thirds = half = on_beats = 0.0
    for here, there in itertools.pairwise(beats):
        span = there - here
        thirds += min(_peak_after(onsets, here + share * span, span / 8) for share in (1 / 3, 2 / 3))
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


@dataclass(frozen=True)
class _Cues:
    """What marks a downbeat, one value a beat."""

    downbeat: list[Any]  # the harmony changing, the kick drum, a sound of its own
    backbeat: Any  # the snare, negated: tells the strong beats from the weak ones but not bar 1 from beat 3
    high: Any  # the high bands' rise: a crash or a fill's end, now and then, on bar 1


def _cues(beats: list[float], found: Features) -> _Cues:
    """The cues of `beats`; the drums' weighed by their amplitude's rise, so
    a snare counts over a hat and a kick after a snare still counts."""
    import numpy

    # Chroma of drums alone is flat (every pitch class near the loudest) and its
    # "changes" follow the drum pattern, not the harmony: it counts only as far
    # as the music is pitched.
    flatness = float(numpy.median(found.chroma.mean(axis=0)))
    pitched = min(max((FLAT_CHROMA - flatness) / (FLAT_CHROMA - PITCHED_CHROMA), 0.0), 1.0)
    means = _beat_chroma(found.chroma, beats)
    snare = standard(_at_beats(found.snare_rise, beats, HOP))
    # A kick only as far as there is bass: the lowest bands of a click track
    # hold only what its clicks leak into them.
    bass = min(found.bass / BASS_SHARE, 1.0)
    downbeat = [pitched * standard(_harmony_change(means)), bass * standard(_at_beats(found.kick_rise, beats, HOP)),
                DISTINCT_WEIGHT * pitched * standard(_distinct(means))]
    # Without drums the high bands are loudest on the accented beats, bar 1
    # first: there is a backbeat only as far as kick and snare take turns.
    drums = bass * min(max(_backbeat(found, beats), 0.0), 1.0)
    return _Cues(downbeat, -0.5 * drums * snare, snare)


def now_and_then(values: Any, meter: int) -> Any:
    """How far each beat's value rises over the same beat of the two bars
    either side (their median): what the bar's own pattern does not explain."""
    import numpy

    shifted = numpy.full((4, len(values)), numpy.nan)
    for row, bars_away in enumerate((-2, -1, 1, 2)):
        step = bars_away * meter
        if step < 0:
            shifted[row, -step:] = values[:step]
        else:
            shifted[row, :-step] = values[step:]
    return numpy.maximum(values - numpy.nanmedian(shifted, axis=0), 0.0)


def _best_grouping(cues: _Cues, meters: tuple[int, ...]) -> tuple[float, int, int]:
    best = (float("-inf"), 4, 0)
    for meter in meters:
        strong = 3 if meter == 3 else 2
        extra = now_and_then(cues.high, meter)
        for phase in range(meter):
            score = contrast(cues.downbeat, meter, phase) + PHRASE_WEIGHT * contrast([extra], meter, phase)
            score = score * (FOUR_BIAS if meter == 4 else 1.0) + contrast([cues.backbeat], strong, phase % strong)
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
    groups = beats[phase::3]
    if meter == 3 and 60.0 / float(numpy.median(numpy.diff(beats))) > COMPOUND_BPM and len(groups) >= 8:
        # Fast beats in threes: the tracker may have followed the eighths of a
        # 6/8. Bars of two groups of three standing out more than single groups
        # say so; the beats are then the groups.
        group_cues = _cues(groups, found)
        score_six, _, phase_six = _best_grouping(group_cues, (2,))
        score_three, _, _ = _best_grouping(group_cues, (3,))
        if score_six > score_three:
            return Bars(tuple(groups), phase_six, 2, 8)
    if meter in (2, 4) and _ternary(found.onsets, beats):
        # beats in threes paired or in fours: 6/8 (twelve eighths a bar are rare, and two bars of it the same)
        _, _, phase = _best_grouping(cues, (2,))
        return Bars(tuple(beats), phase, 2, 8)
    if meter == 2:
        # Two beats a bar in duple time is most often half a 4/4 bar whose beats
        # 1 and 3 sound alike: called 4/4, its bar 1 the likelier of the two.
        _, meter, phase = _best_grouping(cues, (4,))
    return Bars(tuple(beats), phase, meter, 4)


def analyse(samples: Any, progress: Progress | None = None) -> Bars:
    """The beats and bars of mono `samples` at RATE."""
    from threadpoolctl import threadpool_limits  # type: ignore[import-untyped, unused-ignore]

    # The matrix products here are small: BLAS's threads cost more than they
    # save, many times more on a busy machine.
    with threadpool_limits(limits=1, user_api="blas"):
        found = features(samples, progress)
        return bars(track(found), found)
