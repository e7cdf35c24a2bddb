"""Writes the seed corpora in fuzz/corpus/<harness>/: inputs in each harness's
byte format (see the comment at the top of each harness) that reach every
check and limit, so fuzzing starts from the edges instead of finding them.

    python3 fuzz/make_seeds.py
"""

import hashlib
import struct
from pathlib import Path

CORPUS = Path(__file__).parent / "corpus"
INT_MAX, INT_MIN = 2**31 - 1, -2**31

# Pip pickers: an edge index below 8, a small signed byte, or a raw 32-bit pip.
PIP_EDGES = {0: 0, -1: 1, 1: 2, INT_MAX: 3, INT_MIN: 4, INT_MAX - 1: 5, INT_MIN + 1: 6, 64: 7}


def pip(value):
    if value in PIP_EDGES:
        return bytes([PIP_EDGES[value]])
    if -128 <= value <= 127:
        return bytes([8, value & 0xFF])
    return bytes([200]) + struct.pack("<i", value)


# Value pickers: an edge index below 16, a 16-bit step in [-1, 1], or raw bits.
VALUE_EDGES = ["0", "-0", "1", "-1", "above1", "below-1", "below1", "nan", "inf", "-inf", "tiny", "-tiny",
               "max", "0.5", "-0.5", "2"]


def value(v):
    if isinstance(v, str):
        return bytes([VALUE_EDGES.index(v)])
    if -1.0 <= v <= 1.0 and round((v + 1) / 2 * 65535) == (v + 1) / 2 * 65535:
        return bytes([100]) + struct.pack("<H", int((v + 1) / 2 * 65535))
    return bytes([240]) + struct.pack("<d", v)


def text(b):
    b = b.encode() if isinstance(b, str) else b
    return bytes([len(b)]) + b


def sample_seeds():
    seeds = []
    for name in [b"bounce", b"lfo_breathe", b"", b"Bounce", b"lfo_breath", b"lfo_breathe ", b"zzz",
                 b"accent_walk_10_3", b"weave_5_9", b"\0bounce", b"single_stroke_roll", b"multiple_bounce_roll",
                 b"loam_background", "caf\u00e9".encode(), b"\xff\xfe"]:
        for p in (0, -1, INT_MAX, INT_MIN, 300):
            seeds.append(b"\0" + pip(p) + name)
    # Catalogue rows by index, kept, cut, appended to and changed.
    for row in (0, 7, 14, 15, 16, 51, 52, 1000, 1730, 65535):
        for mode in (1, 2, 3, 4):
            seeds.append(bytes([mode]) + pip(row * 17 - 500) + struct.pack("<H", row) + bytes([mode, 3, ord("x")]))
    return seeds


def triple(x, y, z):
    return value(x) + value(y) + value(z)


def pattern_seed(name, samples, description="made by the host", pips=(0, -1, 100, INT_MIN)):
    body = text(name) + text(description) + bytes([len(samples)]) + b"".join(triple(*s) for s in samples)
    return body + b"".join(pip(p) for p in pips)


def long_pattern_seed(name, large_index, cycle):
    body = text(name) + text("long") + bytes([255, large_index, len(cycle) - 1])
    return body + b"".join(triple(*s) for s in cycle) + pip(INT_MAX) + pip(INT_MIN)


def sampled_pattern_seeds():
    ramp = [(i / 8, 0.0, 0.0) for i in range(8)]
    seeds = [pattern_seed(n, ramp) for n in ["a", "a_b9", "a" * 128, "a" * 129, "", "Abc", "1abc", "_x", "a-b",
                                             "a b", "caf\u00e9"]]
    seeds += [
        pattern_seed("p", []),
        pattern_seed("", []),
        pattern_seed("p", [("1", "-1", "below1"), ("0", "0", "0")]),
        pattern_seed("p", [("0", "0.5", "0")]),
        pattern_seed("p", [("0", "-0", "-0")]),
        pattern_seed("p", [("0", "0", "tiny")]),
        pattern_seed("p", [("0.5", "0", "0"), ("0", "0", "-0.5")]),
        pattern_seed("p", [("above1", "0", "0")]),
        pattern_seed("p", [("0", "below-1", "0")]),
        pattern_seed("p", [("0", "0", "nan")]),
        pattern_seed("p", [("inf", "0", "0")]),
        pattern_seed("p", [("0", "-inf", "0")]),
        pattern_seed("p", [(0.25, 0.0, 0.0)] * 100, pips=(100, -1, INT_MIN, 250)),
        pattern_seed("p", [(1e-300, 0.0, 0.0)], description=b"\xff\xfe not UTF-8"),
    ]
    seeds += [long_pattern_seed("p", i, [("0.5", "0", "0")]) for i in range(6)]
    seeds += [long_pattern_seed("p", 1, [("0", "0", "0"), ("nan", "0", "0")]),
              long_pattern_seed("", 1, [("nan", "0", "0")])]
    return seeds


def fresh(name_byte, length, unit=(255, 0, 128)):
    return bytes([0, name_byte, length - 1, *unit])


def builtin(row, change=0, at=0, component=0):
    plan = bytes([1]) + struct.pack("<H", row) + bytes([change]) + struct.pack("<H", at)
    return plan + (bytes([component]) if change == 2 else b"")


def moved(name_byte):
    return bytes([2, name_byte])


def long(length_index, unit=(200, 100, 0)):
    return bytes([3, length_index, *unit])


LARGE_COUNTS = [1024, 1025, 1023, 1099, 600, 100, 64, 48]


def count(n):
    return bytes([n]) if n < 32 else bytes([255, LARGE_COUNTS.index(n)])


def pack(specs, pips=(0, 250, -1)):
    return count(len(specs)) + b"".join(specs) + b"".join(pip(p) for p in pips)


def pattern_library_seeds():
    return [
        pack([]),
        pack([fresh(0, 1), fresh(1, 16), fresh(2, 3)]),
        pack([fresh(0, 1), fresh(0, 2)]),
        pack([fresh(0, 4), moved(1), fresh(0, 2)]),
        pack([builtin(0), builtin(15), builtin(51)]),
        pack([builtin(15), builtin(15)]),
        pack([builtin(7, change=1)]),
        pack([builtin(20, change=2, at=5, component=1)]),
        pack([builtin(20, change=2, at=0, component=2)]),
        pack([builtin(3, change=3)]),
        pack([builtin(3, change=4, at=9)]),
        pack([fresh(0, 2), builtin(16, change=1), fresh(0, 3)]),
        pack([builtin(1730), builtin(52), fresh(5, 5)]),
        pack([long(0)] * 16 + [long(2)]),
        pack([long(0)] * 16 + [long(3)]),
        pack([long(5)] * 1024),
        pack([long(5)] * 1024 + [long(5)]),
        pack([fresh(i % 8, 1) for i in range(8)] + [moved(0)] * 1017),
        pack([fresh(i % 8, 1) for i in range(8)] + [moved(0)] * 92),
        count(1024),
        count(1025),
        count(1023) + builtin(15),
    ]


AXES = ["x", "y", "z", "pan", "tilt", "a_b9", "X", "1x", "_x", "a-b", "", "x ", "z"]
TIMES = {120.0: 0, 0.0: 1, -120.0: 2, 1e-308: 3, 3.4e-307: 4, 3.3e-307: 5, "nan": 6, "inf": 7, "-inf": 8,
         "tiny": 9, -3.5: 10, "max": 11}


def recording_seed(name, axes, rows, bpm=120.0, origin=0.0, start=0, ragged=255, pips=(96, 95, 97, 120)):
    axis_bytes = bytes(AXES.index(a) if isinstance(a, str) else a for a in axes)
    if -128 <= start <= 127:
        start_bytes = bytes([150, start & 0xFF])
    elif INT_MAX - 63 <= start:
        start_bytes = bytes([INT_MAX - start])
    elif start <= INT_MIN + 127 and start - INT_MIN >= 64:
        start_bytes = bytes([start - INT_MIN])
    else:
        start_bytes = bytes([250]) + struct.pack("<i", start)
    body = text(name) + bytes([len(axes)]) + axis_bytes + bytes([TIMES[bpm], TIMES[origin]]) + start_bytes
    body += bytes([len(rows), ragged]) + b"".join(value(v) for row in rows for v in row)
    return body + bytes(pips)


def sampled_recording_seeds():
    xy = ["x", "y"]
    rows = [(i / 10, -i / 10) for i in range(10)]
    return [
        recording_seed("take", xy, rows),
        recording_seed("take", ["x"], [(0.5,)] * 20, start=-10),
        recording_seed("take", ["x", "y", "z"], [(1.0, -1.0, 0.0)], start=INT_MAX - 1),
        recording_seed("take", ["x"], [(0.0,)], start=INT_MAX),
        recording_seed("take", ["x"], [(0.0,)] * 3, start=INT_MAX - 3),
        recording_seed("take", ["x"], [(0.0,)] * 5, start=INT_MIN + 64),
        recording_seed("Take", xy, rows, bpm="nan"),
        recording_seed("take", [], rows, bpm="nan"),
        recording_seed("take", [], [(0.0, 0.0, 0.0)]),
        recording_seed("take", xy, []),
        recording_seed("take", ["x", "x"], rows),
        recording_seed("take", ["x", "X"], rows),
        recording_seed("take", ["1x"], [(0.0,)]),
        recording_seed("take", [200], [(0.0,)]),
        recording_seed("take", [201], [(0.0,)]),
        recording_seed("take", xy, rows, ragged=3),
        recording_seed("take", xy, rows, ragged=4),
        recording_seed("take", xy, [("above1", 0.0)] + rows, ragged=5),
        recording_seed("take", xy, [("nan", 0.0)] + rows),
        recording_seed("take", xy, rows, bpm=0.0),
        recording_seed("take", xy, rows, bpm=-120.0),
        recording_seed("take", xy, rows, bpm="inf"),
        recording_seed("take", xy, rows, bpm=1e-308),
        recording_seed("take", xy, rows, bpm=3.4e-307),
        recording_seed("take", xy, rows, bpm="tiny"),
        recording_seed("take", xy, rows, bpm="max"),
        recording_seed("take", xy, rows, origin=-3.5),
        recording_seed("take", xy, rows, origin="nan"),
        recording_seed("take", xy, rows, origin="-inf"),
        recording_seed("a" * 128, ["pan", "tilt"], rows),
        recording_seed("a" * 129, ["pan", "tilt"], rows),
        recording_seed("", xy, rows),
        recording_seed("take", ["x", "y", "z", "pan", "tilt", "a_b9", "a-b"], [(0.0,) * 7]),
        recording_seed("take", ["x"], [("1",), ("-1",), ("below1",), ("above1",)]),
    ]


def write(harness, seeds):
    folder = CORPUS / harness
    folder.mkdir(parents=True, exist_ok=True)
    for old in folder.iterdir():
        old.unlink()
    for seed in seeds:
        (folder / hashlib.sha1(seed).hexdigest()[:16]).write_bytes(seed)


if __name__ == "__main__":
    write("sample", sample_seeds())
    write("sampled_pattern", sampled_pattern_seeds())
    write("pattern_library", pattern_library_seeds())
    write("sampled_recording", sampled_recording_seeds())
