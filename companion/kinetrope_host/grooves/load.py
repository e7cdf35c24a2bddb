"""A drum part from a file: a standard MIDI file (.mid, .midi) or a score in
the project's text format (anything else), whole or a range of its bars."""

from __future__ import annotations

import os
from dataclasses import dataclass
from pathlib import Path

import kinetrope_grooves

from kinetrope_host.errors import UserError
from kinetrope_host.grooves import midi
from kinetrope_host.grooves.patterns import part_name
from kinetrope_host.rig.files import read_text

MIDI_SUFFIXES = (".mid", ".midi")
#: A host pattern holds at most this many samples, one a pip.
MAX_PATTERN_PIPS = 65535


@dataclass(frozen=True)
class Groove:
    """A drum part, the name its patterns take, and its tempo if the file
    gives one."""

    name: str
    part: kinetrope_grooves.DrumPart
    bpm: float | None = None


def load_groove(path: str | os.PathLike[str], bars: tuple[int, int] | None = None,
                name: str | None = None) -> Groove:
    """The drum part of a MIDI file or a score file, bars `bars` of it (all
    by default), its patterns named after the file's stem unless `name`."""
    file = Path(path)
    label = os.fspath(path)
    if file.suffix.lower() in MIDI_SUFFIXES:
        part, bpm = _from_midi(label, bars)
    else:
        part, bpm = _from_score(label, bars), None
    if part.period_pips > MAX_PATTERN_PIPS:
        raise UserError(f"{label}: {part.bars} bars of {part.beats_per_bar}/{part.beat_unit} are "
                        f"{part.period_pips:,} pips; a pattern holds at most {MAX_PATTERN_PIPS:,}: "
                        "choose fewer with --bars A-B")
    return Groove(part_name(name or file.stem), part, bpm)


def _too_many(label: str, first: int, last: int, whole: bool) -> UserError:
    held = f"{label} has {last:,} bars" if whole else f"bars {first}-{last} are {last - first + 1:,} bars"
    return UserError(f"{held}; a part holds at most {kinetrope_grooves.MAX_BARS:,}: choose some with --bars A-B")


def _from_midi(label: str, bars: tuple[int, int] | None) -> tuple[kinetrope_grooves.DrumPart, float]:
    song = midi.read_song(label)
    count = midi.bar_count(song)
    first, last = bars or (1, count)
    if last > count:
        raise UserError(f"bars {first}-{last}: {label} has {count} bar{'s' if count != 1 else ''}")
    if last - first + 1 > kinetrope_grooves.MAX_BARS:
        raise _too_many(label, first, last, bars is None)
    piece = midi.excerpt(song, first, last)
    return _part(label, piece.bars, piece.beats, piece.beat_unit, piece.events), piece.bpm


def _from_score(label: str, bars: tuple[int, int] | None) -> kinetrope_grooves.DrumPart:
    text = read_text(Path(label), label)
    try:
        part = kinetrope_grooves.parse_score(text)
    except ValueError as error:
        raise UserError(f"{label}: {error}") from None
    if bars is None:
        return part
    first, last = bars
    if last > part.bars:
        raise UserError(f"bars {first}-{last}: {label} has {part.bars} bar{'s' if part.bars != 1 else ''}")
    start, end = (first - 1) * part.bar_pips, last * part.bar_pips
    events = []
    for voice, pip, velocity, length, swell in part.events:
        if start <= pip < end:
            held = midi.within(length, pip - start, end - start)
            events.append((voice, pip - start, velocity, held, swell and held > 0))
    if not events:
        raise UserError(f"bars {first}-{last} hold no drum notes")
    return _part(label, last - first + 1, part.beats_per_bar, part.beat_unit, events)


def _part(label: str, bars: int, beats: int, unit: int,
          events: list[tuple[str, float, float, float, bool]]) -> kinetrope_grooves.DrumPart:
    try:
        return kinetrope_grooves.DrumPart(bars, beats, unit, tuple(events))
    except ValueError as error:
        raise UserError(f"{label}: {error}") from None
