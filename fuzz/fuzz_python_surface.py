"""Fuzzes the module's Python surface: the fuzzer's bytes become Python
objects, hostile ones included (lengths that change or lie, elements that
mutate their container or initialise an instance, instances never
initialised, names with NUL and bytes that are not UTF-8, bytearray names
resized by the pip's conversion, inputs far past the limits), which are
passed to every function, constructor, method and property, and instances
are pickled and copied; kinetrope_grooves, the grooves engine's module, alike,
and the companion's drum-part reader given MIDI files' bytes, mutated.
Only the modules' own failures may come out, a result
holds only values the caller supplied or the catalogue defines, and nothing
may crash. A broken property raises, and the fuzzer keeps the input.

    python fuzz/fuzz_python_surface.py [libFuzzer options] [corpus ...]
    python fuzz/fuzz_python_surface.py --replay COUNT     (no atheris needed)

The replay form runs COUNT inputs drawn from a fixed seed, for tools such as
Valgrind that cannot host the fuzzer.
"""

import atexit
import copy
import io
import math
import os
import pickle
import random
import shutil
import struct
import sys
import tempfile

import kinetrope
import kinetrope_grooves

CLASSES = (kinetrope.Offset3, kinetrope.SampledPattern, kinetrope.PatternLibrary, kinetrope.SampledRecording)
FIXED = {
    "Invalid pattern name", "A pattern requires 1..65535 samples (one per pip)",
    "Pattern samples must be finite and within [-1, 1]", "Too many patterns", "Empty/moved-from pattern",
    "Pattern pack is too large", "Invalid identifier", "A finite positive BPM and beat origin are required",
    "Empty recording or recording resource limit exceeded", "Duplicate axis", "Ragged recording", "Invalid sample",
}
UNKNOWN = "Unknown dance rudiment: "
NAMED = (UNKNOWN, "Duplicate pattern name: ", "Cannot override default pattern: ")
NAMES = ["bounce", "helix", "lfo_breathe", "five_stroke_roll", "own", "p", "x", "y", ""]
NUMBERS = [0.0, -0.0, 0.5, -1.0, 1.0, 1.0000000000000002, math.nan, math.inf, 5e-324, 0, 1, -1, 2**31, -2**31 - 1]


class HostileError(Exception):
    """Raised by a hostile object itself; must come through unchanged."""


class Bytes:
    """Reads the fuzzer's bytes; past the end everything is zero."""

    def __init__(self, data):
        self.data, self.at = data, 0

    def byte(self):
        self.at += 1
        return self.data[self.at - 1] if self.at <= len(self.data) else 0

    def pick(self, options):
        return options[self.byte() % len(options)]

    def blob(self, most):
        n = self.byte() % (most + 1)
        out = self.data[self.at:self.at + n]
        self.at += n
        return bytes(out)

    def double(self):
        raw = self.blob(8).ljust(8, b"\0")
        return struct.unpack("<d", raw)[0]


class Lying:
    """A sequence whose __len__ comes from a list of lies, in turn."""

    def __init__(self, items, lengths):
        self.items, self.lengths, self.calls = items, lengths, 0

    def __len__(self):
        self.calls += 1
        return self.lengths[self.calls % len(self.lengths)]

    def __getitem__(self, i):
        if i >= len(self.items):
            raise IndexError
        return self.items[i]


class Mutator:
    """An element whose conversion changes the list that holds it."""

    def __init__(self, action, value):
        self.action, self.value, self.owner = action, value, []

    def _act(self):
        if self.action == 0:
            self.owner.clear()
        elif self.action == 1:
            self.owner.append(self.value)
        elif self.action == 2:
            del self.owner[:1]
        else:
            raise HostileError("mutator")
        return self.value

    def __float__(self):
        return float(self._act())

    def __index__(self):
        return int(self._act())


VALID_ARGS = {
    kinetrope.SampledPattern: ("again", "d", [(0.5, 0, 0)]),
    kinetrope.PatternLibrary: ([],),
    kinetrope.SampledRecording: ("again", ["x"], [[0.5]], 120.0),
}


class Reinitialises:
    """A number whose conversion initialises an instance (maybe the one being
    initialised); a refusal must be TypeError, and is swallowed."""

    def __init__(self, target, value):
        self.target, self.value = target, value

    def _init(self):
        cls = next(c for c in VALID_ARGS if isinstance(self.target, c))
        try:
            cls.__init__(self.target, *VALID_ARGS[cls])
        except TypeError:
            pass
        return self.value

    def __float__(self):
        return float(self._init())

    def __index__(self):
        return int(self._init())


class Resizes:
    """A pip whose conversion changes the bytearray given as the name."""

    def __init__(self, name, action, value):
        self.name, self.action, self.value = name, action, value

    def __index__(self):
        if self.action == 0:
            self.name.clear()
        elif self.action == 1:
            del self.name[len(self.name) // 2:]
        elif self.action == 2:
            self.name.extend(b"\xff" * 70000)
        else:
            self.name[:] = b"bounce"
        return self.value


# Past every limit by one, made of shared references so that building them
# costs the fuzzer nothing: patterns, the sample budget, recording values,
# identifier length.
LARGE = [kinetrope.SampledPattern(f"large{i}", "d", [(0.5, 0, 0)] * 65535) for i in range(17)]
LONG_ROW = [0.0] * 8388609
LONG_NAME = "a" * 2**20
# Each in the parameter it is past the limit of: anywhere else it is refused
# with TypeError, whose message pybind11 makes from repr() of every argument.
PAST_LIMITS = [
    (lambda: kinetrope.PatternLibrary([LARGE[0]] * 1025), "Too many patterns"),
    (lambda: kinetrope.PatternLibrary([LARGE[0]] * 2), "Duplicate pattern name: large0"),
    (lambda: kinetrope.PatternLibrary(LARGE), "Pattern pack is too large"),
    (lambda: kinetrope.SampledPattern("p", "d", [(0.5, 0, 0)] * 65536),
     "A pattern requires 1..65535 samples (one per pip)"),
    (lambda: kinetrope.SampledPattern(LONG_NAME, "d", [(0.5, 0, 0)]), "Invalid pattern name"),
    (lambda: kinetrope.SampledRecording("r", ["x"], [LONG_ROW] * 3, 120.0), "Ragged recording"),
    (lambda: kinetrope.SampledRecording("r", ["x"], [[0.5]] * 2 + [LONG_ROW], 120.0), "Ragged recording"),
    (lambda: kinetrope.SampledRecording("r", ["x", "y"], [LONG_ROW[:4194304]] + [[0.0, 0.0]] * 4194304, 120.0),
     "Empty recording or recording resource limit exceeded"),
    (lambda: kinetrope.SampledRecording("r", [LONG_NAME] * 1500, [[0.0]], 120.0), "Invalid identifier"),
    (lambda: kinetrope.SampledRecording("r", [bytearray(LONG_NAME.encode())] * 3, [[0.0]], 120.0),
     "Invalid identifier"),
    (lambda: kinetrope.SampledRecording(LONG_NAME, ["x"], [[0.0]], 120.0), "Invalid identifier"),
]


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def bare(cls):
    return cls.__new__(cls)


class Builder:
    """Turns bytes into a Python object; `supplied` collects every float a
    built object could legitimately hold."""

    def __init__(self, data):
        self.b = Bytes(data)
        self.supplied = set()

    def number(self):
        value = self.b.pick(NUMBERS) if self.b.byte() % 2 else self.b.double()
        if isinstance(value, float) or -2**53 <= value <= 2**53:
            self.supplied.add(float(value))
        return value

    def text(self):
        kind = self.b.byte() % 5
        if kind == 0:
            return self.b.pick(NAMES)
        raw = self.b.blob(12)
        if kind == 1:
            return raw
        if kind == 2:
            return bytearray(raw)
        if kind == 3:
            return self.b.pick(NAMES) + raw.decode("latin-1")  # NUL and non-ASCII
        return raw.decode("utf-8", "surrogateescape")  # lone surrogates: refused

    def value(self, depth=0):
        kind = self.b.byte() % (14 if depth < 3 else 6)
        if kind == 5 and self.b.byte() % 4 == 0:
            return self.reinitialises()
        if kind == 0:
            return self.number()
        if kind == 1:
            return self.text()
        if kind == 2:
            return bare(self.b.pick(CLASSES))
        if kind == 3:
            return self.b.pick([None, object(), type, kinetrope.Offset3, {1: 2}, {1, 2}, range(3)])
        if kind == 4:
            value = self.b.pick([0, 3, -1, 2**31, 2**63])
            self.supplied.add(float(value))
            return Index(value)
        if kind == 5:
            return Mutator(self.b.byte() % 4, self.number())
        items = [self.value(depth + 1) for _ in range(self.b.byte() % 5)]
        shape = kind - 6
        if shape == 0:
            return items
        if shape == 1:
            return tuple(items)
        if shape == 2:
            return (item for item in items)
        if shape == 3:
            return Lying(items, [self.b.pick([0, 1, 2, 3, 4, 2**40, 2**62]) for _ in range(1 + self.b.byte() % 3)])
        if shape == 4:
            mutator = Mutator(self.b.byte() % 4, self.number())
            items = [*items, mutator, *items]
            mutator.owner = items
            return items
        if shape == 5:
            return {i: v for i, v in enumerate(items)}.values()
        if shape == 6:
            return [self.pattern()]
        return [[self.number() for _ in range(3)] for _ in range(1 + self.b.byte() % 3)]

    def reinitialises(self):
        cls = self.b.pick(list(VALID_ARGS))
        target = bare(cls) if self.b.byte() % 2 else built_instance(cls, self)
        return Reinitialises(target, self.b.pick([0, 1, 0.5]))

    def pattern(self):
        if self.b.byte() % 2:
            return bare(kinetrope.SampledPattern)
        samples = [[self.number() for _ in range(3)] for _ in range(1 + self.b.byte() % 3)]
        try:
            return kinetrope.SampledPattern(self.b.pick(NAMES), "d", samples)
        except ValueError:
            return kinetrope.SampledPattern("own", "d", [(0.5, 0, 0)])


def check_error(error, args):
    kind = type(error)
    if kind is TypeError or kind is HostileError:
        return
    message = str(error)
    if kind is ValueError:
        if message in FIXED:
            return
        if message.startswith(UNKNOWN):
            # the whole name, every byte of it
            names = [a.encode() if isinstance(a, str) else bytes(a) for a in args
                     if isinstance(a, (bytes, bytearray)) or (isinstance(a, str) and not _has_surrogate(a))]
            raw = message.encode("utf-8", "surrogateescape")
            assert any(raw == UNKNOWN.encode() + n for n in names), message
            return
        assert message.startswith(NAMED), message
        return
    if kind is IndexError and message == "Pip outside non-looping recording":
        return
    if kind is UnicodeDecodeError:
        return  # reading back a description given as bytes that are not UTF-8
    raise AssertionError(f"unexpected {kind.__name__}: {message}")


def _has_surrogate(text):
    try:
        text.encode()
    except UnicodeEncodeError:
        return True
    return False


def in_range(values):
    return all(isinstance(v, float) and math.isfinite(v) and -1.0 <= v <= 1.0 for v in values)


def check_result(result, supplied, from_host):
    values = result.as_tuple() if isinstance(result, kinetrope.Offset3) else result
    if isinstance(values, (tuple, list)) and values and isinstance(values[0], float):
        assert in_range(values), values
        if from_host:
            assert all(v in supplied for v in values), (values, supplied)


COPIES = [*(lambda o, p=p: pickle.dumps(o, p) for p in range(pickle.HIGHEST_PROTOCOL + 1)),
          *(lambda o, p=p: o.__reduce_ex__(p) for p in range(pickle.HIGHEST_PROTOCOL + 1)),
          lambda o: o.__reduce__(), copy.copy, copy.deepcopy,
          lambda o: type(o).__mro__[-2](), lambda o: type(o).__mro__[-2](o)]


def copy_instance(build):
    """Pickling or copying any instance, built or not, is a TypeError."""
    cls = build.b.pick(CLASSES)
    instance = bare(cls) if build.b.byte() % 2 else built_instance(cls, build)
    try:
        build.b.pick(COPIES)(instance)
    except TypeError:
        return
    raise AssertionError(f"{cls.__name__} was copied")


def initialise_again(build):
    """__init__ on a bare or built instance, with a number converted on the
    way that initialises the same instance: it is built at most once."""
    cls = build.b.pick(list(VALID_ARGS))
    was_built = build.b.byte() % 2
    instance = built_instance(cls, build) if was_built else bare(cls)
    hook = Reinitialises(instance, 1)
    args = list(VALID_ARGS[cls])
    if cls is kinetrope.SampledPattern:
        args[2] = [(0.5, hook, 0)]
    elif cls is kinetrope.SampledRecording:
        args[3] = hook
    try:
        cls.__init__(instance, *args)
        assert not was_built, "initialised twice"
    except TypeError:
        pass


def resized_name(build):
    """A bytearray name changed by the pip's conversion is read as it was."""
    raw = build.b.pick([b"bounce", b"own", b"helix"]) if build.b.byte() % 2 else build.b.blob(40)
    name = bytearray(raw)
    lookup = kinetrope.sample if build.b.byte() % 2 else built_instance(kinetrope.PatternLibrary, build).sample
    pip = build.b.pick([0, 1, -1, 300])
    try:
        result = lookup(name, Resizes(name, build.b.byte() % 4, pip))
    except ValueError as error:
        assert str(error).encode("utf-8", "surrogateescape") == UNKNOWN.encode() + raw, str(error)
        return
    assert result.as_tuple() == lookup(raw, pip).as_tuple()


def past_a_limit(build):
    """An input one past a limit fails with the core's message, at once."""
    call, message = build.b.pick(PAST_LIMITS)
    try:
        call()
    except ValueError as error:
        assert str(error) == message, (str(error), message)
        return
    raise AssertionError(f"accepted: {message}")


GROOVE_VOICES = ["kick", "clap", "hat", "bass", "cowbell", ""]
GROOVE_SCORES = ["bars 1\nkick 9...9...9...9...\n", "meter 7/8\nbars 2\nhat @ 0:5 256/3:0.5~20 ", "meter 3/4\n",
                 "bars 1\nswing 0.6\n", ""]


def groove_event(build):
    fields = [build.b.pick(GROOVE_VOICES) if build.b.byte() % 2 else build.value(),
              *(build.number() if build.b.byte() % 4 else build.value() for _ in range(2 + build.b.byte() % 3))]
    return tuple(fields) if build.b.byte() % 2 else fields


def groove_part(build):
    kind = build.b.byte() % 4
    if kind == 0:
        text = build.b.pick(GROOVE_SCORES) + build.b.blob(60).decode("latin-1")
        return kinetrope_grooves.parse_score(text if build.b.byte() % 2 else build.text())
    if kind == 1:
        events = [groove_event(build) for _ in range(build.b.byte() % 6)] if build.b.byte() % 2 else build.value()
        return kinetrope_grooves.DrumPart(build.b.pick([1, 2, 0, 1025, True, Index(2), 1.0]),
                                          build.b.pick([4, 7, 3, 0, 33]), build.b.pick([4, 8, 3, 16, 0]), events)
    if kind == 2:
        return bare(kinetrope_grooves.DrumPart)
    receiver = bare(kinetrope_grooves.DrumPart) if build.b.byte() % 2 else kinetrope_grooves.DrumPart(1, 4, 4, [])
    member = vars(kinetrope_grooves.DrumPart)[build.b.pick(["bars", "events", "score_text", "period_pips"])]
    return (member.fget if isinstance(member, property) else member)(receiver)


def grooves_input(build):
    """kinetrope_grooves given hostile arguments: a TypeError, a hostile
    object's own error or a one-line ValueError; a part it makes reads back
    from its score text, and its motions stay within [-1, 1]."""
    try:
        part = groove_part(build)
        if not isinstance(part, kinetrope_grooves.DrumPart) or part.period_pips > 4096:
            return
        assert kinetrope_grooves.parse_score(part.score_text()) == part
        motions = build.b.pick([None, ["bounce", "ricochet"], ("spring",), ["twirl"]]) if build.b.byte() % 2 \
            else build.value()
        for _, _, samples in kinetrope_grooves.render(part, motions):
            assert len(samples) == part.period_pips and all(in_range(s) for s in samples)
    except (TypeError, HostileError):
        return
    except ValueError as error:
        assert str(error) and "\n" not in str(error), str(error)


def seed_midi():
    """A small drum track with the meta events the reader follows."""
    import mido

    track = mido.MidiTrack([mido.MetaMessage("time_signature", numerator=7, denominator=8),
                            mido.MetaMessage("set_tempo", tempo=500000),
                            mido.Message("control_change", channel=9, control=11, value=90)])
    for step, note in enumerate([36, 42, 38, 46, 36, 49, 51]):
        track += [mido.Message("note_on", channel=9, note=note, velocity=40 + 12 * step, time=0 if step else 5),
                  mido.Message("note_off", channel=9, note=note, time=48)]
    track.append(mido.Message("note_on", channel=1, note=40, velocity=100))
    song = mido.MidiFile(ticks_per_beat=96)
    song.tracks.append(track)
    data = io.BytesIO()
    song.save(file=data)
    return data.getvalue()


SEED_MIDI = seed_midi()
MIDI_FOLDER = tempfile.mkdtemp(prefix="fuzz_midi_")
atexit.register(shutil.rmtree, MIDI_FOLDER, True)
MIDI_PATH = os.path.join(MIDI_FOLDER, "part.mid")


def midi_input(build):
    """A MIDI file's bytes, the seed's with some changed, cut or grown: the
    reader makes a part whose motions stay within [-1, 1], or says why not
    in one line."""
    from kinetrope_host.errors import UserError
    from kinetrope_host.grooves.load import load_groove

    data = bytearray(SEED_MIDI)
    for _ in range(build.b.byte() % 8):
        data[(build.b.byte() << 8 | build.b.byte()) % len(data)] = build.b.byte()
    cut = build.b.byte()
    data = data[:len(data) - cut] if cut < 64 else data + build.b.blob(40)
    with open(MIDI_PATH, "wb") as handle:
        handle.write(data)
    try:
        part = load_groove(MIDI_PATH).part
    except UserError as error:
        assert str(error) and "\n" not in str(error), str(error)
        return
    if part.period_pips <= 4096:
        for _, _, samples in kinetrope_grooves.render(part, ["bounce", "step"]):
            assert all(in_range(s) for s in samples)


def test_one_input(data):
    build = Builder(data)
    target = build.b.byte() % 18
    if target == 17:
        return midi_input(build)
    if target == 16:
        return grooves_input(build)
    if target >= 12:
        return [copy_instance, initialise_again, resized_name, past_a_limit][target - 12](build)
    args = [build.value() for _ in range(1 + build.b.byte() % 3)]
    from_host = False
    if target == 0:
        call = getattr(kinetrope, build.b.pick(["bounce", "helix", "loam_background", "flam", "five_stroke_roll"]))
    elif target == 1:
        call = kinetrope.sample
    elif target == 2:
        call = kinetrope.catalogue
    elif target in (3, 4):
        call, from_host = kinetrope.SampledPattern, True
        args = [build.text(), build.text(), build.value()]
    elif target == 5:
        call = kinetrope.PatternLibrary
    elif target == 6:
        call, from_host = kinetrope.SampledRecording, True
        args = [build.text(), build.value(), build.value(), build.value(), build.value(), build.value()]
    else:
        # a member, with a receiver that is sometimes a built object
        cls = build.b.pick(CLASSES)
        members = [n for n in vars(cls) if not n.startswith("_")]
        name = build.b.pick(members)
        attribute = vars(cls)[name]
        call = attribute.fget if isinstance(attribute, property) else attribute
        receiver = args[0] if build.b.byte() % 2 else built_instance(cls, build)
        args = [receiver, *args[1:]]
    try:
        result = call(*args)
    except Exception as error:  # noqa: BLE001: every type is checked
        check_error(error, args)
        return
    if isinstance(result, (kinetrope.SampledPattern, kinetrope.SampledRecording)):
        count = result.period_pips if isinstance(result, kinetrope.SampledPattern) else result.sample_count
        start = 0 if isinstance(result, kinetrope.SampledPattern) else result.start_pip
        for pip in range(start, start + min(count, 64)):
            check_result(result.sample(pip), build.supplied, True)
    elif isinstance(result, kinetrope.PatternLibrary):
        result.catalogue()
    elif not from_host:
        check_result(result, build.supplied, False)


def built_instance(cls, build):
    if cls is kinetrope.Offset3:
        return kinetrope.bounce(build.b.byte())
    if cls is kinetrope.SampledPattern:
        return kinetrope.SampledPattern("own", "d", [(0.5, -0.5, 0.0), (0.25, 0.0, 1.0)])
    if cls is kinetrope.PatternLibrary:
        return kinetrope.PatternLibrary([kinetrope.SampledPattern("own", "d", [(0.5, -0.5, 0.0)])])
    return kinetrope.SampledRecording("take", ["x", "y"], [[0.5, -0.5], [1.0, 0.0]], 120.0, 0.0, -1)


def replay(count):
    rng = random.Random(20261209)
    for _ in range(count):
        test_one_input(bytes(rng.randrange(256) for _ in range(rng.randrange(1, 200))))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--replay":
        replay(int(sys.argv[2]))
        print(f"replayed {sys.argv[2]} inputs")
    else:
        import atheris

        # Coverage of this file's own branches guides the fuzzer towards new
        # object shapes; the module itself is checked by the sanitizers.
        # Only this file is instrumented: all of the standard library would
        # cost minutes at start under the sanitizers.
        for name, item in list(globals().items()):
            if isinstance(item, type) and item.__module__ == __name__:
                for attr, member in list(vars(item).items()):
                    if callable(member) and hasattr(member, "__code__"):
                        setattr(item, attr, atheris.instrument_func(member))
            elif callable(item) and getattr(item, "__module__", None) == __name__ and hasattr(item, "__code__"):
                globals()[name] = atheris.instrument_func(item)
        atheris.Setup(sys.argv, globals()["test_one_input"])
        atheris.Fuzz()
