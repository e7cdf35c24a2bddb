"""Independent references for the continuum families whose rules are fixed:
the gesture vocabulary, seven rhythmic families and the harmonic
silhouettes, recomputed here from their stated rules."""

import math

# type: (vector, easing, rise fraction)
GESTURES = {
    "left": ((-0.31, -0.12, 0.0), "cosine", 0.4),
    "right": ((0.29, -0.15, 0.0), "cosine", 0.6),
    "depth": ((0.08, 0.05, 0.32), "smoothstep", 0.5),
    "down": ((0.06, -0.32, 0.12), "smoothstep", 1 / 3),
    "up": ((-0.032, 0.24, -0.072), "cosine", 2 / 3),
}


def signed_distance(pip, onset, period):
    """pip - onset taken around the loop into (-N/2, N/2]."""
    d = (pip - onset) % period
    return d - period if d > period / 2 else d


def envelope(kind, width, d):
    _, easing, s = GESTURES[kind]
    rise, fall = s * width, (1 - s) * width
    if -rise < d <= 0:
        u = -d / rise
    elif 0 < d < fall:
        u = d / fall
    else:
        return 0.0
    if easing == "cosine":
        return math.cos(math.pi * u / 2) ** 2
    v = 1 - u
    return 3 * v * v - 2 * v**3


def render(period, gestures):
    """gestures: (onset, type, weight, width); every gesture adds a·vector·g."""
    out = [[0.0, 0.0, 0.0] for _ in range(period)]
    for onset, kind, weight, width in gestures:
        vector = GESTURES[kind][0]
        for p in range(period):
            g = envelope(kind, width, signed_distance(p, onset, period))
            if g:
                for axis in range(3):
                    out[p][axis] += weight * vector[axis] * g
    return [tuple(s) for s in out]


def ladder(d):
    cycle = ["left", "right", "depth", "down"]
    later = [0.68, 0.76, 0.6]
    gestures = []
    for r, count in enumerate(d):
        width = min(24, 0.75 * 128 / count)
        for j in range(count):
            weight = 1.0 if j == 0 else later[(j - 1) % 3]
            gestures.append((128 * r + 128 * j / count, cycle[(r + j) % 4], weight, width))
    return render(512, gestures)


def dialogue(groups):
    voices = ["left", "right", "down", "depth"]
    gestures, start = [], 0
    for k, g in enumerate(groups):
        for i in range(g):
            gestures.append((32 * (start + i), voices[k], 1.0 if i == 0 else 0.55, 24))
        start += g
        gestures.append((32 * start - 16, "up", 0.5625, 16))
    return render(32 * sum(groups), gestures)


def echo_onsets(spacing, n):
    onsets = [0.0]
    for j in range(n - 1):
        gap = {"shrinking": 32 * (n - j) / n, "expanding": 32 * (j + 1) / n}.get(spacing, 32)
        onsets.append(onsets[-1] + gap)
    return onsets


def echo(spacing, n):
    call_w = [1, 0.83, 0.6889, 0.571787, 0.474583, 0.393904]
    answer_w = [1, 0.688, 0.7396, 0.508845, 0.54700875, 0.376342]
    width = 16 if spacing == "shrinking" else 24
    onsets = echo_onsets(spacing, n)
    calls = ["left", "down", "right", "depth"] if spacing == "crossed" else ["left", "right"]
    gestures = [(o, calls[j % len(calls)], call_w[j], width) for j, o in enumerate(onsets)]
    gestures += [(256 + o, "up" if j % 2 == 0 else "depth", answer_w[j], width) for j, o in enumerate(onsets)]
    return render(512, gestures)


def necklace(word):
    gestures = []
    for j, bit in enumerate(word):
        if bit == "1":
            gestures.append((32 * j, "left", 0.8, 64 / 3))
            if word[j - 1] == "0":
                gestures.append((32 * j + 32 / 3, "depth", 0.5, 16))
        else:
            gestures.append((32 * j, "right", 0.35, 64 / 3))
    return render(512, gestures)


def accent_walk(m, s):
    width = min(24, 0.75 * 256 / m)
    gestures = []
    for b in range(4):
        accents = {(b * s) % m, (2 + b * s) % m}
        for i in range(m):
            onset = 256 * b + 256 * i / m
            kind = "left" if (b + i) % 2 == 0 else "right"
            if i in accents:
                gestures += [(onset, kind, 0.95, width), (onset, "depth", 0.48, 64 / 3)]
            else:
                gestures.append((onset, kind, 0.4, width))
    return render(1024, gestures)


def burst(counts):
    gestures = []
    for start, c, kind in zip((0, 160, 320), counts, ("left", "down", "right")):
        for j in range(c):
            onset = start + j * 96 / c
            gestures.append((onset, kind, round(0.9 - 0.25 * j / (c - 1), 6), 12.8))
            if j % 2 == 0:
                gestures.append((onset + 32 / 3, "depth", 0.42, 12.8))
    gestures.append((496, "up", 1.0, 64 / 3))
    return render(512, gestures)


def triplet(word, variant):
    types = {"L": "left", "R": "right", "D": "depth"}
    second = word if variant == "answer" else word[3:] + word[:3]
    gestures = []
    for half, w in ((0, word), (256, second)):
        for step, symbol in enumerate(w):
            t = half + step * 64 / 3
            if symbol != ".":
                gestures.append((t, types[symbol], 0.95 if step in (0, 6) else 0.65, 16))
            elif variant == "answer":
                gestures.append((t + 32 / 3, "down", 0.6, 16))
    return render(512, gestures)


def silhouette(a, b, c, a2, a3):
    def raw(t):
        return (
            math.cos(a * t) + a2 * math.sin(b * t + 0.3) + a3 * math.cos(c * t),
            0.65 * math.sin(a * t + 0.2) + a3 * math.sin(b * t) - a2 * math.cos(c * t + 0.1),
            0.12 * math.sin((a + b) * t) * math.sin(t),
        )

    largest = max(max(map(abs, raw(2 * math.pi * i / 2048))) for i in range(2048))
    factor = 0.82 / largest
    return [tuple(v * factor for v in raw(2 * math.pi * p / 1024)) for p in range(1024)]


LADDERS = ["2_3_4_6", "3_5_4_2", "2_5_3_7", "4_3_6_5", "2_4_7_3", "3_6_2_5", "5_3_7_4", "6_4_3_2",
           "2_7_4_5", "7_3_5_2", "4_7_3_6", "5_2_6_3", "3_4_5_7", "6_5_4_3", "7_5_3_4", "4_6_7_5"]
DIALOGUES = ["3_4_5", "5_3_4", "3_5_2", "2_5_4", "4_3_2", "3_2_4_5", "5_2_3_4", "2_3_5_3",
             "3_4_3_5", "5_4_2_3", "2_4_5_2", "4_5_3_2", "3_5_4_3", "5_3_2_5", "2_5_3_5", "4_3_5_4"]
BURSTS = ["3_5_2", "4_3_6", "5_2_4", "2_7_3", "3_4_5", "5_3_7", "6_2_5", "4_7_2",
          "7_3_4", "2_5_6", "5_7_3", "3_6_4", "4_5_7", "6_3_5", "7_4_3", "5_6_2"]
ACCENT_WALKS = ["5_1", "5_2", "7_1", "7_2", "7_3", "8_1", "8_3", "9_1",
                "9_2", "9_4", "10_3", "11_2", "11_3", "12_5", "13_3", "13_5"]
NECKLACE_WORDS = ["1001011000101100", "1010001101010010", "1100100100011010", "1011010001001001",
                  "1000110101100010", "1101000100101010", "1010010011100010", "1110001001010010",
                  "1001100010100101", "1100010100100110", "1010100011001001", "1001001111010010",
                  "1100101000101001", "1011000100010110", "1001010010011100", "1110010001010100"]
TRIPLET_WORDS = ["L.RLD.L.R..R", "LD.L.R.DR.D.", "LDR.D.L..LD.", "L.R.DRLD...R",
                 "LD.LD..D..DR", "L..LDR.DRL..", "LDR..R.D.L.R", "L.RL.R..RLD."]
SILHOUETTES = [(1, 2, 3, 0.20, 0.16), (1, 3, 5, 0.35, 0.12), (2, 3, 4, 0.30, 0.18), (2, 5, 7, 0.23, 0.16),
               (1, 4, 7, 0.35, 0.21), (3, 4, 5, 0.28, 0.14), (2, 7, 9, 0.19, 0.12), (3, 5, 8, 0.30, 0.17),
               (1, 2, 5, 0.40, 0.22), (1, 5, 8, 0.27, 0.24), (2, 3, 7, 0.34, 0.20), (3, 7, 10, 0.26, 0.16),
               (2, 4, 9, 0.33, 0.23), (3, 4, 9, 0.29, 0.25), (4, 5, 7, 0.25, 0.21), (4, 7, 11, 0.21, 0.16)]


def numbers(text):
    return [int(n) for n in text.split("_")]


def reference_tables():
    """name -> builder of the expected table, for every fully specified row."""
    refs = {}
    for n in (3, 4, 5, 6):
        for spacing in ("regular", "shrinking", "expanding", "crossed"):
            refs[f"echo_{spacing}_{n}"] = lambda s=spacing, n=n: echo(s, n)
    refs |= {f"ladder_{d}": lambda d=d: ladder(numbers(d)) for d in LADDERS}
    refs |= {f"necklace_{i + 1:02}": lambda w=w: necklace(w) for i, w in enumerate(NECKLACE_WORDS)}
    refs |= {f"accent_walk_{ms}": lambda ms=ms: accent_walk(*numbers(ms)) for ms in ACCENT_WALKS}
    for i, word in enumerate(TRIPLET_WORDS):
        for variant in ("answer", "turnaround"):
            refs[f"triplet_{i + 1:02}_{variant}"] = lambda w=word, v=variant: triplet(w, v)
    refs |= {f"dialogue_{g}": lambda g=g: dialogue(numbers(g)) for g in DIALOGUES}
    refs |= {f"burst_{c}": lambda c=c: burst(numbers(c)) for c in BURSTS}
    refs |= {f"silhouette_harmonic_{i + 1:02}": lambda r=r: silhouette(*r) for i, r in enumerate(SILHOUETTES)}
    return refs
