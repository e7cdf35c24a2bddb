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
        start = int(round(at * RATE))
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
