"""The tempo map of a standard MIDI file, so exported motion lines up with
the song the file came from."""

from __future__ import annotations

import os
from typing import Any

from kinetrope_host.clocks.tempo import TempoMap
from kinetrope_host.errors import UserError

#: What a MIDI file plays at before its first tempo event.
DEFAULT_BPM = 120.0


def open_song(path: str | os.PathLike[str], lacks: str, lacks_in_frames: str) -> Any:
    """The file as a mido MidiFile, or one line saying why it cannot be read:
    `lacks` says what a type 2 file has no single one of, `lacks_in_frames`
    what a file timed in SMPTE frames has not."""
    try:
        import mido  # type: ignore[import-untyped, unused-ignore]
    except ImportError:
        raise UserError("MIDI files need mido: pip install 'kinetrope[midi]'") from None

    name = os.fspath(path)
    try:
        song = mido.MidiFile(name)
    except OSError as exc:
        raise UserError(f"cannot read MIDI file {name}: {exc.strerror or exc}") from None
    except EOFError:
        raise UserError(f"{name} is not a readable standard MIDI file: it ends inside a track") from None
    except (ValueError, KeyError, IndexError) as exc:
        raise UserError(f"{name} is not a readable standard MIDI file: {exc}") from None
    if song.type == 2:
        raise UserError(f"{name} is a type 2 MIDI file (independent sequences), which {lacks}")
    if song.ticks_per_beat <= 0:
        raise UserError(f"{name} counts time in SMPTE frames, not beats; it has no {lacks_in_frames}")
    return song


def tempo_changes(path: str | os.PathLike[str]) -> list[tuple[float, float]]:
    """(beat, bpm) for every tempo change of the file, the first at beat 0."""
    name = os.fspath(path)
    song = open_song(path, "has no single tempo map", "tempo map")
    import mido  # type: ignore[import-untyped, unused-ignore]  # opened above, so installed
    # In types 0 and 1 tempo events apply to the whole song wherever they
    # sit, so gather them from every track by absolute tick.
    found: dict[int, int] = {}
    for track in song.tracks:
        tick = 0
        for message in track:
            tick += message.time
            if message.type == "set_tempo":
                found[tick] = message.tempo  # a later event at the same tick wins
    if not found:
        raise UserError(f"{name} has no tempo: it holds no set_tempo event")
    changes = [(tick / song.ticks_per_beat, float(mido.tempo2bpm(found[tick]))) for tick in sorted(found)]
    if changes[0][0] > 0:
        changes.insert(0, (0.0, DEFAULT_BPM))
    # Drop events that do not change the tempo; they add nothing to the map.
    merged = [changes[0]]
    for beat, bpm in changes[1:]:
        if bpm != merged[-1][1]:
            merged.append((beat, bpm))
    return merged


def tempo_map(path: str | os.PathLike[str]) -> TempoMap:
    """The file's tempo map (see `tempo_changes`); a file without one is a `UserError`."""
    try:
        return TempoMap.from_changes(tempo_changes(path))
    except ValueError as exc:
        raise UserError(f"{os.fspath(path)}: {exc}") from None
