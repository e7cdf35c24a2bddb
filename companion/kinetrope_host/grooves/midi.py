"""A standard MIDI file's drum track as a drum part: General MIDI drum notes
(channel 10) by voice, velocity as loudness, the meter and tempo of its meta
events, and the played timing kept to the tick (pips as fractions of a
beat, swing and all).

A bass line joins as the bass voice when its channel plays a bass program
(General MIDI 33 to 40); its notes keep their length, and a note whose
expression (controller 11) starts low and rises under it is a swell.
"""

from __future__ import annotations

import bisect
import os
from dataclasses import dataclass, field
from fractions import Fraction
from typing import Any

from kinetrope_host.clocks.midifile import open_song
from kinetrope_host.errors import UserError

DRUM_CHANNEL = 9  # channel 10, counted from 0
BASS_PROGRAMS = range(32, 40)  # General MIDI's bass family, counted from 0
EXPRESSION = 11
PIPS_PER_BEAT = 64

# General MIDI drum notes by the voice they play; any other note is percussion.
DRUM_MAP: dict[int, str] = {
    35: "kick", 36: "kick",
    38: "snare", 40: "snare",
    39: "clap",
    37: "rim",
    42: "hat", 44: "hat",
    46: "open",
    41: "tom", 43: "tom", 45: "tom", 47: "tom", 48: "tom", 50: "tom",
    51: "ride", 53: "ride", 59: "ride",
    49: "crash", 57: "crash", 52: "crash", 55: "crash",
    54: "shaker", 69: "shaker", 70: "shaker", 82: "shaker",
    56: "bell", 67: "bell", 68: "bell", 80: "bell", 81: "bell",
}


def voice_of(note: int) -> str:
    """The voice a General MIDI drum note plays."""
    return DRUM_MAP.get(note, "perc")


@dataclass
class Note:
    """One note as the file holds it, in ticks."""

    voice: str
    start: int
    velocity: int
    end: int | None = None  # the note-off; None while it sounds
    swell: bool = False
    channel: int = DRUM_CHANNEL


@dataclass
class Song:
    """What the reader takes from a file: notes, meters and tempos by tick."""

    ticks_per_beat: int
    notes: list[Note] = field(default_factory=list)
    meters: list[tuple[int, int, int]] = field(default_factory=list)  # (tick, beats, beat unit)
    tempos: list[tuple[int, float]] = field(default_factory=list)  # (tick, bpm)
    end: int = 0  # the last tick of any track


def read_song(path: str | os.PathLike[str]) -> Song:
    """The drum and bass notes, meters and tempos of a standard MIDI file."""
    name = os.fspath(path)
    midi = open_song(path, "holds no single drum part", "bars to read")
    song = Song(midi.ticks_per_beat)
    # Types 0 and 1 share one timeline: every track's events by absolute tick.
    events: list[tuple[int, int, Any]] = []
    for track in midi.tracks:
        tick = 0
        for message in track:
            tick += message.time
            events.append((tick, len(events), message))
    events.sort(key=lambda item: (item[0], item[1]))
    try:
        _Reader(song).read(events)
    except UserError as error:
        raise UserError(f"{name}: {error}") from None
    if not any(note.channel == DRUM_CHANNEL for note in song.notes):
        raise UserError(f"{name} has no drum track: no notes on MIDI channel 10")
    return song


class _Reader:
    """Pairs note-ons with note-offs (first on, first off) and follows
    programs and expression per channel."""

    def __init__(self, song: Song) -> None:
        self.song = song
        self.programs: dict[int, int] = {}
        self.expression: dict[int, int] = {}
        self.sounding: dict[tuple[int, int], list[Note]] = {}
        self.rising: list[Note] = []  # notes that began with the expression low

    def read(self, events: list[tuple[int, int, Any]]) -> None:
        song = self.song
        for tick, _, message in events:
            song.end = max(song.end, tick)
            kind = message.type
            if kind == "time_signature":
                if message.numerator < 1:
                    raise UserError(f"a time signature of {message.numerator}/{message.denominator} has no beats")
                song.meters.append((tick, message.numerator, message.denominator))
            elif kind == "set_tempo" and message.tempo > 0:  # a tempo of 0 is no tempo: passed over
                song.tempos.append((tick, 60_000_000 / message.tempo))
            elif kind == "program_change":
                self.programs[message.channel] = message.program
            elif kind == "control_change" and message.control == EXPRESSION:
                self._expression(message.channel, message.value)
            elif kind == "note_on" and message.velocity > 0:
                self._note_on(tick, message)
            elif kind in ("note_off", "note_on"):
                self._note_off(tick, message)

    def _expression(self, channel: int, value: int) -> None:
        if value > self.expression.get(channel, 127):
            for note in self.rising:
                if note.channel == channel and note.end is None:
                    note.swell = True
        self.expression[channel] = value

    def _note_on(self, tick: int, message: Any) -> None:
        channel = message.channel
        if channel == DRUM_CHANNEL:
            self.song.notes.append(Note(voice_of(message.note), tick, message.velocity, end=tick))
        elif self.programs.get(channel) in BASS_PROGRAMS:
            note = Note("bass", tick, message.velocity, channel=channel)
            self.song.notes.append(note)
            self.sounding.setdefault((channel, message.note), []).append(note)
            if self.expression.get(channel, 127) < 64:
                self.rising.append(note)

    def _note_off(self, tick: int, message: Any) -> None:
        waiting = self.sounding.get((message.channel, message.note))
        if waiting:
            waiting.pop(0).end = tick
            self.rising = [note for note in self.rising if note.end is None]


@dataclass(frozen=True)
class Bars:
    """The bars of a song in one meter: where bar 1 starts, how long one is."""

    start: Fraction  # tick of the first of these bars
    length: Fraction  # ticks a bar
    beats: int
    beat_unit: int


def bar_lines(song: Song) -> list[tuple[int, Bars]]:
    """For each meter of the song, the number of the first bar it rules (1
    is the first bar of the song) and its bars."""
    meters = sorted({tick: (beats, unit) for tick, beats, unit in song.meters}.items())
    if not meters or meters[0][0] > 0:
        meters.insert(0, (0, (4, 4)))
    ruled: list[tuple[int, Bars]] = []
    bar, at = 1, Fraction(0)
    for tick, (beats, unit) in meters:
        if ruled:
            # A meter change begins a bar: any part bar before it is counted whole.
            previous = ruled[-1][1]
            passed = -(-(tick - previous.start) // previous.length)
            bar = ruled[-1][0] + int(passed)
            at = previous.start + passed * previous.length
            if at > tick:
                at = Fraction(tick)
        ruled.append((bar, Bars(at, Fraction(song.ticks_per_beat * 4 * beats, unit), beats, unit)))
    return ruled


def bar_of_tick(ruled: list[tuple[int, Bars]], tick: float) -> int:
    """The number of the bar a tick falls in."""
    index = max(0, bisect.bisect_right([bars.start for _, bars in ruled], Fraction(tick)) - 1)
    first, bars = ruled[index]
    return first + int((Fraction(tick) - bars.start) // bars.length)


def bar_start(ruled: list[tuple[int, Bars]], bar: int) -> tuple[Fraction, Bars]:
    """The tick a bar starts at and the meter it is in."""
    index = max(i for i, (first, _) in enumerate(ruled) if first <= bar or i == 0)
    first, bars = ruled[index]
    return bars.start + (bar - first) * bars.length, bars


def bar_count(song: Song) -> int:
    """Bars up to the last note, or to the end of the tracks if later (a loop
    exported with its full length ends its track on its last bar line)."""
    ruled = bar_lines(song)
    last_onset = max(note.start for note in song.notes)
    count = bar_of_tick(ruled, last_onset)
    if song.end > 0:
        count = max(count, bar_of_tick(ruled, song.end - 1))
    return count


def tempo_at(song: Song, tick: float) -> float:
    """The tempo in force at a tick (120 before the first tempo event)."""
    bpm = 120.0
    for at, value in sorted(song.tempos, key=lambda item: item[0]):
        if at > tick:
            break
        bpm = value
    return bpm


def within(length: float, onset: float, period: float) -> float:
    """A held note's length cut at the end of the bars taken, and a pip
    short of the whole loop (a note is held for less than its part)."""
    return max(0.0, min(length, period - onset, period - 1.0))


@dataclass(frozen=True)
class Excerpt:
    """Bars of a song as a drum part's fields: its meter, its events (voice,
    pip, velocity, length, swell) from the first bar's start, and its tempo."""

    bars: int
    beats: int
    beat_unit: int
    events: list[tuple[str, float, float, float, bool]]
    bpm: float


def excerpt(song: Song, first: int, last: int) -> Excerpt:
    """Bars `first` to `last` (counted from 1, both included), all in one meter."""
    ruled = bar_lines(song)
    start, meter = bar_start(ruled, first)
    end, _ = bar_start(ruled, last + 1)
    if any(first < number <= last for number, _ in ruled):
        raise UserError(f"the meter changes within bars {first}-{last}; choose bars of one meter with --bars")

    def pips(ticks: Fraction) -> float:
        return float(ticks * PIPS_PER_BEAT / song.ticks_per_beat)

    events = []
    for note in song.notes:
        if not start <= note.start < end:
            continue
        onset, held = pips(note.start - start), 0.0
        if note.channel != DRUM_CHANNEL:
            held = within(pips((end if note.end is None else Fraction(note.end)) - note.start), onset,
                          pips(end - start))
        events.append((note.voice, onset, note.velocity / 127, held, note.swell and held > 0))
    if not events:
        raise UserError(f"bars {first}-{last} hold no drum notes")
    return Excerpt(last - first + 1, meter.beats, meter.beat_unit, events, tempo_at(song, float(start)))
