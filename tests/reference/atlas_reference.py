"""The atlas collection as its family table and name lists compose it, and
independent references of every family whose rule is fully fixed."""

import math

from shapes import euclid as euclidean_onsets
from shapes import keyframes, pulses

sin, cos, pi, tanh, sqrt = math.sin, math.cos, math.pi, math.tanh, math.sqrt

WAVES = [
    ("pinched", "Pinched sine"), ("shouldered", "Shouldered sine"), ("folded", "Folded sine"),
    ("double_fold", "Double-fold wave"), ("rounded_square", "Rounded square"),
    ("soft_rectifier", "Soft rectified swell"), ("skew_warp", "Phase-skew sweep"), ("scoop_warp", "Scooped return"),
    ("shelf_wave", "Shelf and scoop"), ("notched", "Notched crest"), ("bottle", "Bottle-neck swell"),
    ("reed", "Reed flutter"), ("unequal_peaks", "Unequal double crest"), ("ripple_return", "Rippled recovery"),
    ("soft_teeth", "Soft triple teeth"), ("warped_fold", "Warped wave fold"),
]
ENV_KEYS = {
    "lift_hold_drop": ("Lift, hold, settle", [(0, 0), (64, -0.8), (192, -0.8), (256, 0.2), (320, 0)]),
    "inhale_exhale": ("Long inhale, short exhale", [(0, 0), (320, -0.8), (384, 0.1), (448, 0)]),
    "triple_swell": ("Three unequal swells", [(0, 0), (64, -0.8), (128, 0), (192, -0.5), (256, 0), (384, -0.3)]),
    "rising_echo": ("Rising echo ladder",
                    [(0, 0), (64, -0.25), (128, 0), (192, -0.5), (256, 0), (320, -0.8), (384, 0)]),
    "falling_echo": ("Falling echo ladder", [(0, 0), (64, -0.8), (128, 0), (192, -0.45), (256, 0), (320, -0.15)]),
    "anticipation": ("Backward anticipation", [(0, 0), (64, 0.35), (128, 0), (192, -0.82), (256, -0.82), (384, 0.12)]),
    "plateau_scoop": ("Plateau then scoop", [(0, 0), (64, -0.7), (256, -0.7), (320, -0.3), (384, 0.4)]),
    "hesitant": ("Hesitant reach", [(0, 0), (64, -0.3), (128, -0.2), (192, -0.5), (256, -0.4), (320, -0.8)]),
    "double_hold": ("Two-height hold", [(0, 0), (64, -0.4), (192, -0.4), (256, -0.8), (384, -0.8)]),
    "swell_recoil": ("Deep swell and recoil", [(0, 0), (192, -0.8), (256, 0.5), (320, -0.2), (384, 0.08)]),
    "late_release": ("Late release", [(0, 0), (256, -0.8), (384, -0.8), (448, 0.25)]),
    "split_attack": ("Split attack", [(0, 0), (32, -0.6), (64, -0.2), (128, -0.8), (320, -0.2)]),
    "suspended": ("Suspended answer", [(0, 0), (64, -0.75), (128, 0), (256, 0), (384, -0.55), (448, -0.55)]),
    "valley_peaks": ("Valley between peaks", [(0, 0), (64, -0.7), (192, -0.3), (256, -0.82), (384, 0.2)]),
    "four_breaths": ("Four breathing accents",
                     [(0, 0), (64, -0.7), (128, 0), (192, -0.5), (256, 0), (320, -0.8), (384, 0), (448, -0.3)]),
    "return_stair": ("Stepped soft recovery",
                     [(0, 0), (128, -0.8), (192, -0.8), (256, -0.5), (320, -0.5), (384, -0.2), (448, -0.2)]),
}
CONTOURS = ["up_down", "pendulum", "octave", "unequal", "question", "answer", "ratchet", "stairs"]
NOISE = [f"drift_{k}" for k in (5, 7, 9, 11)] + [f"orbit_{k}" for k in (6, 8, 10, 12)]
NOISE += [f"ripple_{k}" for k in (5, 7, 9, 11)] + [f"depth_{k}" for k in (6, 8, 10, 12)]
WEAVES = [(1, 3), (1, 4), (1, 5), (2, 5), (2, 7), (3, 4), (3, 5), (3, 7),
          (3, 8), (4, 5), (4, 7), (4, 9), (5, 6), (5, 7), (5, 8), (5, 9)]
ROSES = [3, 6, 7, 8, 9, 10, 11, 12]
SCALLOPS = [2, 3, 4, 5, 6, 7, 8, 9]
SPIROS = {(3, 1): 0.45, (4, 1): 0.60, (5, 2): 0.75, (5, 1): 0.55,
          (7, 2): 0.65, (7, 3): 0.70, (8, 3): 0.60, (9, 4): 0.80}
TORI = [(2, 5), (2, 7), (3, 4), (3, 5), (3, 7), (4, 5), (4, 7), (5, 6)]
SPACE_WEAVES = [(1, 2, 3), (1, 3, 4), (2, 3, 4), (2, 3, 7), (2, 5, 7), (3, 4, 5), (3, 5, 7), (4, 5, 7)]
MECHS = [
    ("piston_short", "Short-rod piston", 2), ("piston_long", "Long-rod piston", 2), ("offset_crank", "Offset crank", 2),
    ("scotch_yoke", "Yoke with rocking linkage", 2), ("whitworth", "Quick-return linkage study", 2),
    ("elliptic_cam", "Elliptic cam follower", 2), ("two_lobe_cam", "Two-lobe cam follower", 2),
    ("three_lobe_cam", "Three-lobe cam follower", 2), ("escapement", "Soft escapement study", 2),
    ("paddle", "Paddle-wheel tip", 2), ("wobble_plate", "Wobble-plate trace", 3), ("rocking_beam", "Rocking beam", 2),
    ("coupled_cranks", "Coupled cranks", 2), ("crank_rocker", "Crank and rocker study", 3),
    ("piston_balance", "Piston and balance mass", 3), ("cam_return", "Cam rise and return", 2),
]
EUCLIDS = [(2, 5), (3, 7), (3, 10), (4, 9), (4, 11), (5, 9), (5, 11), (5, 13),
           (5, 14), (6, 13), (7, 12), (7, 15), (7, 17), (8, 19), (9, 20), (11, 24)]
POLYS = [(2, 5), (2, 7), (2, 9), (3, 5), (3, 7), (3, 8), (3, 10), (4, 5),
         (4, 7), (4, 9), (5, 6), (5, 7), (5, 8), (5, 9), (6, 7), (7, 8)]
METERS = [(2, 3), (3, 2), (3, 2, 2), (2, 3, 2), (3, 4), (4, 3), (2, 2, 2, 3), (2, 3, 2, 2), (3, 2, 3, 2),
          (3, 3, 2, 3), (2, 2, 3, 2, 3), (3, 3, 3, 2), (4, 3, 3), (3, 4, 4), (2, 3, 3, 2, 3), (3, 3, 3, 4)]
SWING_RATIOS = [(3, 5), (2, 3), (5, 7), (3, 4)]
SWING_KINDS = ["push", "answer", "skip", "shuffle"]
STICKINGS = ["RLRRLRLL", "RRLRLLRL", "RLLRLRRL", "RRLLRLRL", "RLRLRRLL", "RRRLLLRL", "RLLLRRRL", "RRLRRLLL",
             "RLRRLLRL", "RRLLRLLR", "RLRLLRRL", "RRRLRLLL", "RRRRLRLL", "RRLLLRRL", "RLRRRLLL", "RRLRLLLR"]
GESTURES = [
    ("side_reach", "side reach", 2), ("cross_reach", "cross and reach", 2), ("low_scoop", "low scoop", 2),
    ("high_arc", "high arc", 2), ("corner_taps", "corner taps", 2), ("diagonal_touch", "diagonal touch", 2),
    ("box_return", "box and centre", 2), ("zigzag_lift", "zigzag lift", 2), ("duck_sway", "duck and sway", 2),
    ("push_pull", "push and pull", 3), ("reach_depth", "reach through depth", 3), ("bow_turn", "bow and turn", 3),
    ("heel_toe", "heel-toe abstract", 2), ("hop_answer", "hop and answer", 2), ("spiral_reach", "spiral reach", 3),
    ("diamond_depth", "depth diamond", 3),
]


def joined(values):
    return "_".join(map(str, values))


def atlas_rows():
    """(name, period, dims, description) of all 256 rows, in registry order."""
    rows = []
    rows += [(f"wave_{s}", 512, 1, label + "; a continuous shaped control wave, mapped to horizontal displacement.")
             for s, label in WAVES]
    rows += [(f"env_{s}", 512, 2, label + " over an eight-beat phrase; smooth, resting joins.")
             for s, (label, _) in ENV_KEYS.items()]
    rows += [(f"seq_{c}_{t}", 512, 2,
              f"A programmed position sequence with {t} segment durations and softened transitions.")
             for c in CONTOURS for t in ("even", "lilt")]
    rows += [(f"noise_{n}", 1024, 3 if n.startswith("depth") else 2,
              f"Indexed SHA-256 control points in a closed {n.split('_')[0]} path. No mutable random state.")
             for n in NOISE]
    rows += [(f"orbit_harmonic_{j:02d}", 512, 2,
              "An ellipse combined with unequal horizontal and vertical harmonic ripples.") for j in range(1, 17)]
    rows += [(f"weave_{a}_{b}", 1024, 2,
              f"{a} horizontal and {b} vertical cycles; a phase-offset, closed 16-beat traversal.")
             for a, b in WEAVES]
    rows += [(f"polar_rose_{k}", 1024, 2,
              "A complete signed-radius rose traversal; odd-petal roses use a half-turn parameter.") for k in ROSES]
    rows += [(f"polar_scallop_{k}", 1024, 2,
              "A positive-radius scalloped loop; no centre crossings, with an asymmetrically bent lobe.")
             for k in SCALLOPS]
    for side in ("inside", "outside"):
        rows += [(f"spiro_{side}_{R}_{r}", 1024, 2,
                  f"A closed {side}-rolling circle trace, with pen radius smaller than the rolling radius.")
                 for R, r in SPIROS]
    rows += [(f"space_torus_{joined(pq)}", 1024, 3,
              "A genuine XYZ closed torus-knot trajectory. The demo uses an oblique projection.") for pq in TORI]
    rows += [(f"space_weave_{joined(abc)}", 1024, 3,
              "Three coprime-frequency coordinate lanes with distinct phase offsets.") for abc in SPACE_WEAVES]
    rows += [(f"mech_{s}", 512, d,
              label + "; an original kinematic-style position study, not an engineering simulation.")
             for s, label, d in MECHS]
    rows += [(f"euclid_{k}_{n}", 32 * n, 2,
              "Evenly distributed accents with alternating sides; first onset is the phrase accent.")
             for k, n in EUCLIDS]
    rows += [(f"poly_{a}_{b}", 512, 3,
              "Two independent pulse trains share an eight-beat boundary. Each right-lane gesture includes depth.")
             for a, b in POLYS]
    rows += [(f"meter_{joined(g)}", 32 * sum(g), 3,
              "Group starts lean alternately left and right; quieter subdivisions mark the eighth-note grid.")
             for g in METERS]
    rows += [(f"swing_{kind}_{a}_{b}", 512, 2 if kind == "answer" else 3,
              f"Eight-beat {kind} score with offbeats at {a}/{b} of each beat; peaks follow the score.")
             for a, b in SWING_RATIOS for kind in SWING_KINDS]
    rows += [(f"stick_study_{j:02d}", 512, 2,
              "Original R/L movement study with accented group leads, followed by its hand-swapped answer. "
              "Not an official rudiment transcription.") for j in range(1, 17)]
    rows += [(f"gesture_{s}", 512, d, f"An original single-point {label} gesture. Abstract motion, not a full-body "
              "dance or biomechanical recording.") for s, label, d in GESTURES]
    return rows


# Reference rules, each returning the table as (x, y, z) per pip.
def formula(period, shape):
    return padded(shape(p, 2 * pi * p / period) for p in range(period))


def norm(samples):
    largest = max(abs(v) for s in samples for v in s)
    return [tuple(v * (0.82 / largest) for v in s) for s in samples]


def padded(samples):
    return [tuple(s) + (0.0,) * (3 - len(s)) for s in samples]


WAVE_RULES = {
    "pinched": lambda t: 0.82 * sin(t) ** 3,
    "shouldered": lambda t: 0.69 * sin(t) + 0.31 * sin(3 * t),
    "folded": lambda t: sin(2.2 * sin(t)),
    "double_fold": lambda t: sin(3.8 * sin(t)),
    "rounded_square": lambda t: tanh(2 * sin(t)),
    "skew_warp": lambda t: sin(t + 0.7 * sin(t)),
    "notched": lambda t: sin(t) - 0.36 * sin(3 * t) + 0.12 * cos(5 * t),
    "bottle": lambda t: sin(t) / (0.58 + 0.18 * cos(2 * t)),
    "reed": lambda t: sin(t) * (0.85 + 0.4 * cos(7 * t)),
    "unequal_peaks": lambda t: 0.67 * sin(t) + 0.4 * sin(2 * t + 0.8),
    "ripple_return": lambda t: sin(t) + 0.09 * sin(5 * t) * (1 + cos(t)),
    "soft_teeth": lambda t: tanh(1.8 * (sin(t) + 0.4 * sin(3 * t))),
}

EXACT_SEQ_X = {
    "pendulum": [0, 0.82, 0, -0.82, 0, 0.41, 0, -0.41],
    "octave": [0, 0.82, 0.205, 0.66625, -0.205, -0.82, -0.41, -0.66625],
    "ratchet": [0, 0.3075, 0, 0.615, 0, 0.82, 0, -0.3075],
    "stairs": [-0.82, -0.41, 0, 0.41, 0.82, 0.82, 0, -0.82],
}
RIPPLE_DEPTHS = [0.18, 0.22, 0.25, 0.28, 0.25, 0.20, 0.15, 0.13, 0.34, 0.31, 0.29, 0.26, 0.23, 0.20, 0.17, 0.14]


def seq_even(contour):
    x = keyframes(512, [(64 * j, v) for j, v in enumerate(EXACT_SEQ_X[contour])])
    y = keyframes(512, [(64 * j, 0.287 * sin(2 * pi * j / 8)) for j in range(8)])
    return norm(padded(zip(x, y)))


def orbit_harmonic(j):
    m = (j - 1) % 8 + 1
    psi = 0 if j <= 8 else 0.5 + 0.3 * (j - 9)
    c = RIPPLE_DEPTHS[j - 1]
    return norm(formula(512, lambda p, t: (cos(t) + c * cos((m + 1) * t + psi),
                                           0.72 * sin(t) - c * sin((m + 2) * t - psi))))


def polar_rose(k):
    def point(p, t):
        if k % 2:
            phi = pi * p / 1024
            r = 0.82 * cos(k * phi)
            return r * cos(phi), r * sin(phi)
        r = 0.82 * cos(k / 2 * t)
        return r * cos(t), r * sin(t)
    return norm(formula(1024, point))


def polar_scallop(k):
    def point(p, t):
        r = 0.58 + 0.24 * cos(k * t + 0.2 * sin(t))
        return r * cos(t), r * sin(t)
    return norm(formula(1024, point))


def spiro(side, R, r):
    d = SPIROS[R, r] * r
    if side == "inside":
        shape = lambda p, t: ((R - r) * cos(r * t) + d * cos((R - r) * t), (R - r) * sin(r * t) - d * sin((R - r) * t))
    else:
        shape = lambda p, t: ((R + r) * cos(r * t) - d * cos((R + r) * t), (R + r) * sin(r * t) - d * sin((R + r) * t))
    return norm(formula(1024, shape))


def space_torus(pt, q):
    def point(p, t):
        rho = 0.29 + 0.1 * cos(q * t)
        return rho * cos(pt * t), rho * sin(pt * t), 0.21 * sin(q * t)
    return norm(formula(1024, point))


MECH_RULES = {
    "piston_short": lambda p, t: (0.82 * (cos(t) + sqrt(4 - sin(t) ** 2) - 2), 0.246 * sin(t)),
    "piston_long": lambda p, t: (0.82 * (cos(t) + sqrt(16 - sin(t) ** 2) - 4), 0.205 * sin(2 * t)),
    "scotch_yoke": lambda p, t: (0.82 * cos(t), 0.287 * sin(t) + 0.1476 * sin(3 * t)),
    "two_lobe_cam": lambda p, t: (0.3 * sin(t), 0.2 * cos(t) + 0.55 * cos(2 * t)),
    "three_lobe_cam": lambda p, t: (0.125 * sin(t), 0.1 * cos(t) + 0.5 * cos(3 * t)),
    "paddle": lambda p, t: (cos(t) + 0.23 * cos(4 * t), sin(t) + 0.23 * sin(4 * t)),
    "wobble_plate": lambda p, t: (0.82 * cos(t), 0.287 * sin(t), 0.41 * sin(2 * t + 0.3)),
    "coupled_cranks": lambda p, t: (cos(t) + 0.35 * cos(3 * t + 0.6), sin(t) - 0.35 * sin(3 * t + 0.6)),
    "piston_balance": lambda p, t: (0.82 * cos(t), 0.41 * sin(2 * t), 0.205 * sin(t)),
}


def euclid(k, n):
    events = []
    for j, step in enumerate(euclidean_onsets(k, n)):
        s = 1 if j == 0 else 0.75
        events.append((32 * step, ((-1) ** j * 0.75 * s, -0.32 * s, 0), 24))
    return pulses(32 * n, events)


def poly(a, b):
    left = [(j * 512 / a, tuple(v * (1 if j == 0 else 0.65) for v in (-0.62, -0.26, 0)), 22.4) for j in range(a)]
    right = [(j * 512 / b, tuple(v * (1 if j == 0 else 0.65) for v in (0.62, -0.26, 0.22)), 22.4) for j in range(b)]
    return pulses(512, left + right)


def meter(groups):
    events, start = [], 0
    for j, g in enumerate(groups):
        events.append((32 * start, ((-1) ** j * 0.72, -0.33, 0), 19.2))
        events += [(32 * (start + i), (0, -0.1134, 0.0504), 32 / 3) for i in range(1, g)]
        start += g
    return pulses(32 * start, events)


def swing(kind, a, b):
    off = 64 * a / b
    events = []
    for beat in range(8):
        s = 1 if beat % 2 == 0 else -1
        vector = (0.585, -0.216, 0) if beat in (0, 4) else (s * 0.4225, -0.156, 0)
        if not (kind == "skip" and beat in (2, 6)):
            events.append((64 * beat, vector, 12.8))
        if kind in ("push", "skip"):
            events.append((64 * beat + off, (0.075, -0.15, 0.09), 8))
        if (kind == "answer" and beat >= 4) or kind == "shuffle":
            events.append((64 * beat + off, (-s * 0.325, -0.12, 0), 12.8))
        if kind == "shuffle" and beat in (3, 7):
            events.append((64 * beat + off / 2, (0.0525, -0.105, 0.063), 6.4))
    return pulses(512, events)


def stick_study(number):
    sticking = STICKINGS[number - 1]
    events = []
    for j in range(16):
        hand = sticking[j % 8] if j < 8 else {"R": "L", "L": "R"}[sticking[j % 8]]
        side = 1 if hand == "R" else -1
        vector = (0.74 * side, -0.34) if j % 4 == 0 else (0.407 * side, -0.187)
        events.append((32 * j, vector + (0,), 12))
    return pulses(512, events)


def exact_references():
    """name -> function computing its reference table."""
    refs = {}
    for shape, rule in WAVE_RULES.items():
        refs[f"wave_{shape}"] = lambda rule=rule: norm(formula(512, lambda p, t: (rule(t),)))
    for shape, (_, keys) in ENV_KEYS.items():
        refs[f"env_{shape}"] = lambda keys=keys: padded((0.0, y) for y in keyframes(512, keys))
    for contour in EXACT_SEQ_X:
        refs[f"seq_{contour}_even"] = lambda contour=contour: seq_even(contour)
    for j in range(1, 17):
        refs[f"orbit_harmonic_{j:02d}"] = lambda j=j: orbit_harmonic(j)
    for a, b in WEAVES:
        refs[f"weave_{a}_{b}"] = lambda a=a, b=b: norm(
            formula(1024, lambda p, t: (0.8 * sin(a * t + 0.37), 0.65 * sin(b * t))))
    for k in ROSES:
        refs[f"polar_rose_{k}"] = lambda k=k: polar_rose(k)
    for k in SCALLOPS:
        refs[f"polar_scallop_{k}"] = lambda k=k: polar_scallop(k)
    for side in ("inside", "outside"):
        for R, r in SPIROS:
            refs[f"spiro_{side}_{R}_{r}"] = lambda side=side, R=R, r=r: spiro(side, R, r)
    for pt, q in TORI:
        refs[f"space_torus_{pt}_{q}"] = lambda pt=pt, q=q: space_torus(pt, q)
    for a, b, c in SPACE_WEAVES:
        refs[f"space_weave_{a}_{b}_{c}"] = lambda a=a, b=b, c=c: norm(
            formula(1024, lambda p, t: (sin(a * t), 0.8 * sin(b * t + 0.4), 0.7 * cos(c * t + 0.7))))
    for name, rule in MECH_RULES.items():
        refs[f"mech_{name}"] = lambda rule=rule: norm(formula(512, rule))
    for k, n in EUCLIDS:
        refs[f"euclid_{k}_{n}"] = lambda k=k, n=n: euclid(k, n)
    for a, b in POLYS:
        refs[f"poly_{a}_{b}"] = lambda a=a, b=b: poly(a, b)
    for groups in METERS:
        refs[f"meter_{joined(groups)}"] = lambda groups=groups: meter(groups)
    for a, b in SWING_RATIOS:
        for kind in SWING_KINDS:
            refs[f"swing_{kind}_{a}_{b}"] = lambda kind=kind, a=a, b=b: swing(kind, a, b)
    for j in range(1, 17):
        refs[f"stick_study_{j:02d}"] = lambda j=j: stick_study(j)
    return refs
