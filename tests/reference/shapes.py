"""Shared reference shapes (keyframe track, pulse score, Euclidean onsets),
written independently of the generator."""

import itertools
from math import cos, pi


def smootherstep(u):
    return 6 * u**5 - 15 * u**4 + 10 * u**3


def keyframes(period, keys):
    keys = [*keys, (period, keys[0][1])]
    track = []
    for p in range(period):
        (pa, va), (pb, vb) = next((a, b) for a, b in itertools.pairwise(keys) if a[0] <= p < b[0])
        track.append(va + (vb - va) * smootherstep((p - pa) / (pb - pa)))
    return track


def pulses(period, events, dims=2):
    out = [[0.0] * 3 for _ in range(period)]
    for onset, vector, width in events:
        for p in range(period):
            d = (p - onset) % period
            d = d - period if d > period / 2 else d
            if abs(d) < width:
                for i, v in enumerate(vector):
                    out[p][i] += v * cos(pi * d / (2 * width)) ** 2
    return [tuple(s) for s in out]


def euclid(k, n):
    return [i for i in range(n) if i * k % n < k]
