"""Click and drum tracks made from known beat times, for the beat tracker."""

import numpy

RATE = 44100


def steady_beats(bpm, seconds, first=0.5):
    return list(numpy.arange(first, seconds - 0.3, 60.0 / bpm))


def changing_beats(before, after, seconds, change_at, first=0.5):
    """Beats at `before` BPM until `change_at` seconds, then at `after`."""
    beats, at = [], first
    while at < seconds - 0.3:
        beats.append(at)
        at += 60.0 / (before if at < change_at else after)
    return beats


def render(beats, seconds, kind, seed=0):
    """`kind` "click": short sine clicks, higher on every fourth beat;
    "drums": a pitched-down kick on odd beats, kick and snare noise on even
    ones, a closed hat on every offbeat."""
    rng = numpy.random.default_rng(seed)
    track = numpy.zeros(int(seconds * RATE))

    def add(at, sound):
        start = round(at * RATE)
        end = min(start + len(sound), len(track))
        track[start:end] += sound[:end - start]

    for index, at in enumerate(beats):
        if kind == "click":
            t = numpy.arange(int(0.01 * RATE)) / RATE
            add(at, numpy.sin(2 * numpy.pi * (1500 if index % 4 == 0 else 1000) * t) * numpy.exp(-t / 0.002))
        else:
            t = numpy.arange(int(0.15 * RATE)) / RATE
            pitch = 50 + 100 * numpy.exp(-t / 0.03)
            kick = numpy.sin(2 * numpy.pi * numpy.cumsum(pitch) / RATE) * numpy.exp(-t / 0.08)
            if index % 2:
                kick = 0.3 * kick + 0.6 * rng.standard_normal(len(t)) * numpy.exp(-t / 0.05)
            add(at, kick)
    if kind == "drums":
        t = numpy.arange(int(0.03 * RATE)) / RATE
        for here, there in zip(beats, beats[1:]):
            add((here + there) / 2, 0.2 * rng.standard_normal(len(t)) * numpy.exp(-t / 0.005))
    return 0.8 * track / numpy.max(numpy.abs(track))


# A corpus with exact ground truth: drum scores rendered here, and songs
# written as MIDI (a beat's tempo event at every beat, so any beat times can
# be asked for) and rendered by fluidsynth with the General MIDI soundfont.

SOUNDFONT = "/usr/share/sounds/sf2/FluidR3_GM.sf2"


def rubato_beats(bpm, seconds, depth=0.12, period_beats=16, first=0.5, slow_end=True):
    """Beats whose tempo swells and ebbs by `depth` over `period_beats`, and
    slows by a quarter over the last eighth of the track (a ritardando)."""
    beats, at, index = [], first, 0
    while at < seconds - 0.3:
        beats.append(at)
        tempo = bpm * (1 + depth * numpy.sin(2 * numpy.pi * index / period_beats))
        if slow_end and at > seconds * 7 / 8:
            tempo *= 0.75
        at += 60.0 / tempo
        index += 1
    return beats


def _hit(kind, rng):
    t = numpy.arange(int((0.25 if kind in ("kick", "crash") else 0.12) * RATE)) / RATE
    if kind == "kick":
        return numpy.sin(2 * numpy.pi * numpy.cumsum(50 + 100 * numpy.exp(-t / 0.03)) / RATE) * numpy.exp(-t / 0.08)
    if kind == "snare":
        return 0.25 * numpy.sin(2 * numpy.pi * 190 * t) * numpy.exp(-t / 0.05) + \
            0.6 * rng.standard_normal(len(t)) * numpy.exp(-t / 0.05)
    if kind == "crash":
        return 0.5 * rng.standard_normal(len(t)) * numpy.exp(-t / 0.15)
    return 0.15 * rng.standard_normal(len(t)) * numpy.exp(-t / 0.008)  # closed hat


# Patterns: per bar, (position in beats, instrument); "beats" of a 6/8 bar are its two dotted quarters.
GROOVES = {
    "four": [(b, "kick") for b in range(4)] + [(1, "snare"), (3, "snare")] + [(b + 0.5, "hat") for b in range(4)],
    "rock": [(0, "kick"), (2, "kick"), (2.5, "kick"), (1, "snare"), (3, "snare")] + [(b / 2, "hat") for b in range(8)],
    "break": [(0, "kick"), (1.75, "kick"), (2.5, "kick"), (1, "snare"), (3, "snare"), (3.75, "snare"),
              (2.25, "snare")] + [(b / 2, "hat") for b in range(8)],
    "swing": [(0, "kick"), (2, "kick"), (1, "snare"), (3, "snare")] + [(b, "hat") for b in range(4)]
    + [(b + 2 / 3, "hat") for b in range(4)],
    "waltz": [(0, "kick"), (1, "snare"), (2, "snare")] + [(b + 0.5, "hat") for b in range(3)],
    "six_eight": [(0, "kick"), (1, "snare")] + [(b / 3, "hat") for b in range(6)],
}
BEATS_PER_BAR = {"waltz": 3, "six_eight": 2}


def render_groove(beats, seconds, groove, pickup=0, seed=0):
    """Drums along `beats` (seconds); beat `pickup` is the first downbeat,
    a crash marks every fourth bar. Positions between beats follow the local
    beat length."""
    rng = numpy.random.default_rng(seed)
    per_bar = BEATS_PER_BAR.get(groove, 4)
    track = numpy.zeros(int(seconds * RATE))
    sounds = {name: _hit(name, rng) for name in ("kick", "snare", "hat", "crash")}
    beats = numpy.asarray(beats)
    period = float(numpy.median(numpy.diff(beats)))
    extended = numpy.concatenate([beats, beats[-1] + period * numpy.arange(1, per_bar + 2)])
    for bar_start in range(pickup - per_bar * ((pickup + per_bar - 1) // per_bar), len(beats), per_bar):
        for position, name in GROOVES[groove] + ([(0, "crash")] if (bar_start - pickup) % (4 * per_bar) == 0 else []):
            index = bar_start + int(position)
            if index < 0:
                continue
            at = extended[index] + (position % 1) * (extended[index + 1] - extended[index])
            start = round(at * RATE)
            end = min(start + len(sounds[name]), len(track))
            if start < len(track):
                track[start:end] += sounds[name][:end - start]
    return 0.8 * track / numpy.max(numpy.abs(track))


def write_song_midi(beats, path, per_bar=4, compound=False, pickup=0, seed=0):
    """A small song as MIDI: a bass note on each downbeat, chords on the
    beats (a piano), a melody of eighths, the harmony changing every bar
    through I-vi-IV-V. A tempo event at each beat places the beats at
    `beats` (seconds); beat `pickup` is the first downbeat."""
    import mido

    rng = numpy.random.default_rng(seed)
    ticks = 480
    song = mido.MidiFile(ticks_per_beat=ticks)
    track = mido.MidiTrack()
    song.tracks.append(track)
    track.append(mido.Message("program_change", program=0, channel=0))
    track.append(mido.Message("program_change", program=32, channel=1))
    track.append(mido.Message("program_change", program=73, channel=2))
    roots = [60, 57, 53, 55]
    events = []  # (tick, order, message)
    first = beats[0]
    events.append((0, 0, mido.MetaMessage("set_tempo", tempo=round(first * 1e6))))  # silence before beat 0
    for index in range(len(beats) - 1):
        tick = (index + 1) * ticks
        events.append((tick, 0, mido.MetaMessage("set_tempo", tempo=round((beats[index + 1] - beats[index]) * 1e6))))
    for index in range(len(beats)):
        tick = (index + 1) * ticks
        bar, in_bar = divmod(index - pickup, per_bar)
        root = roots[bar % 4]
        chord = [root, root + (3 if root in (57,) else 4), root + 7]
        loud = 90 if in_bar == 0 else 60
        notes = [(tick, 0, n, loud, ticks - 20) for n in chord]
        if in_bar == 0:
            notes.append((tick, 1, root - 24, 100, ticks * per_bar - 30))
        steps = 3 if compound else 2
        scale = [0, 2, 4, 5, 7, 9, 11, 12]
        for step in range(steps):
            pitch = root + 12 + scale[int(rng.integers(0, len(scale)))]
            notes.append((tick + step * ticks // steps, 2, pitch, 70, ticks // steps - 10))
        for start, channel, note, velocity, length in notes:
            events.append((start, 1, mido.Message("note_on", note=note, velocity=velocity, channel=channel)))
            events.append((start + length, 0, mido.Message("note_off", note=note, velocity=0, channel=channel)))
    events.sort(key=lambda event: (event[0], event[1]))
    now = 0
    for tick, _, message in events:
        track.append(message.copy(time=tick - now))
        now = tick
    song.save(path)


def render_song(beats, seconds, wav_path, per_bar=4, compound=False, pickup=0):
    """The song of `write_song_midi` rendered by fluidsynth to `wav_path` (mono would
    do, fluidsynth writes stereo), cut to `seconds`."""
    import subprocess

    import soundfile

    midi = str(wav_path) + ".mid"
    write_song_midi(beats, midi, per_bar, compound, pickup)
    subprocess.run(["fluidsynth", "-ni", "-q", "-g", "0.8", "-r", str(RATE), "-F", str(wav_path), SOUNDFONT, midi],
                   check=True, capture_output=True, timeout=300)
    samples, rate = soundfile.read(wav_path)
    soundfile.write(wav_path, samples[:int(seconds * rate)], rate)


# Hydrogen's demo songs, rendered by its command-line player: the beats are
# its grid (48 ticks a beat, a pattern of 192 ticks a 4/4 bar, from the
# song's first tick), so the truth is the song's tempo.

HYDROGEN_SONGS = "/usr/share/hydrogen/data/demo_songs"


def render_hydrogen(song, wav_path, seconds=None):
    """Demo song `song` (its file name without .h2song) rendered to
    `wav_path`, cut to `seconds`; returns its true beat times. Hydrogen
    writes its settings under HOME: it gets the wav's folder."""
    import os
    import subprocess
    from xml.etree import ElementTree

    import soundfile

    path = f"{HYDROGEN_SONGS}/{song}.h2song"
    bpm = float(ElementTree.parse(path).getroot().findtext("bpm"))
    home = os.path.dirname(os.path.abspath(wav_path))
    # -d alsa: the export needs no sound card, but the default driver search waits on each
    subprocess.run(["h2cli", "-s", path, "-d", "alsa", "-r", str(RATE), "-o", str(wav_path)], check=True,
                   capture_output=True, timeout=300, env={**os.environ, "HOME": home})
    samples, rate = soundfile.read(wav_path)
    if seconds is not None:
        samples = samples[:int(seconds * rate)]
        soundfile.write(wav_path, samples, rate)
    return list(numpy.arange(0.0, len(samples) / rate - 0.1, 60.0 / bpm))
