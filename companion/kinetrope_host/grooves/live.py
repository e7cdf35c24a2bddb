"""A drum part played live: notes from a MIDI input (a drum machine, a pad
controller, a mido socket port), stamped with the song position of the
clock the player follows. At each bar line the bars just completed become
the part's motions and the player moves by them from the next frame on: the
motion is a bar behind what is played, at most.

Rendering runs in the frame loop (the bar line is a frame's pip), so the
patterns change between two frames and never under one; the input thread
only appends notes.
"""

from __future__ import annotations

import math
import sys
import threading
import time
from collections import deque
from collections.abc import Callable, Sequence
from typing import Any, TextIO

import kinetrope
import kinetrope_grooves

from kinetrope_host import catalogue
from kinetrope_host.clocks import Clock
from kinetrope_host.errors import UserError
from kinetrope_host.frames import Frame
from kinetrope_host.grooves.load import MAX_PATTERN_PIPS
from kinetrope_host.grooves.midi import voice_of
from kinetrope_host.grooves.patterns import check_motions, description, groove_patterns

LIVE_NAME = "live"


class LiveGroove:
    """The motions of what is played on a MIDI input, renewed every bar.

    `bars` is how many of the last complete bars the part holds (a loop of
    one bar follows most closely; two or four let a fill show). The bar is
    `beats` beats of `beat_unit` (4/4 by default) from pip 0 of the clock.
    A frame sink: `send` renews the patterns when a frame crosses a bar line.
    """

    def __init__(self, clock: Clock | None = None, name: str = LIVE_NAME, beats: int = 4, beat_unit: int = 4,
                 bars: int = 1, motions: Sequence[str] = (), alongside: Sequence[kinetrope.SampledPattern] = (),
                 monotonic: Callable[[], float] = time.monotonic) -> None:
        self.clock = clock
        self.name = name
        self.beats, self.beat_unit, self.bars = beats, beat_unit, bars
        self.bar_pips = beats * 4 * kinetrope.PIPS_PER_BEAT // beat_unit
        if not 0 < bars * self.bar_pips <= MAX_PATTERN_PIPS:
            raise UserError(f"a live part of {bars} bars of {beats}/{beat_unit} would last {bars * self.bar_pips:,} "
                            f"pips; a pattern holds 1 to {MAX_PATTERN_PIPS:,}")
        self.motions = check_motions(motions)
        self.alongside = list(alongside)  # other host patterns that stay known (a groove from a file)
        self.monotonic = monotonic
        # Notes of a few loops at most: what a flood of messages cannot grow past.
        self.notes: deque[tuple[float, str, float]] = deque(maxlen=kinetrope_grooves.MAX_EVENTS)
        self._lock = threading.Lock()
        self.bar: int | None = None
        self.port: Any = None
        self.latency = 0.0
        self.library = self._at_rest()
        catalogue.use_patterns(self.library)

    @property
    def names(self) -> list[str]:
        """The names of the live patterns, in motion order."""
        return [f"{self.name}_{motion}" for motion in self.motions]

    def _at_rest(self) -> kinetrope.PatternLibrary:
        # Before the first bar is complete, and for a bar with nothing played: still.
        period = self.bars * self.bar_pips
        return self._library([
            kinetrope.SampledPattern(f"{self.name}_{motion}", description(self.name, motion),
                                     [[0.0, 0.0, 0.0]] * period)
            for motion in self.motions])

    def _library(self, patterns: list[kinetrope.SampledPattern]) -> kinetrope.PatternLibrary:
        try:
            return kinetrope.PatternLibrary([*self.alongside, *patterns])
        except ValueError as error:
            raise UserError(f"cannot name the live motions {self.name}_*: {error}") from None

    def feed(self, message: Any, now: float) -> None:
        """Takes one MIDI message heard at `now` (the player's monotonic clock)."""
        if message.type != "note_on" or message.velocity == 0:
            return
        if self.clock is None:
            return
        # The clock runs `latency` ahead of what is heard (play's --latency).
        pip = self.clock.pip(now - self.latency)
        with self._lock:
            self.notes.append((pip, voice_of(message.note), message.velocity / 127))

    def follow(self, port: Any, clock: Clock | None = None, latency: float = 0.0,
               warn: TextIO | None = None) -> threading.Thread:
        """Reads `port` in a daemon thread until it closes, feeding each
        message; its notes are placed by `clock` if given (else the one the
        groove was made with), which shows the music `latency` seconds early."""
        from kinetrope_host.clocks.midiports import bounded_messages

        self.port = port
        self.clock = clock or self.clock
        self.latency = latency

        def read() -> None:
            try:
                for message in bounded_messages(port, lambda: None, warn or sys.stderr):
                    self.feed(message, self.monotonic())
            except (OSError, EOFError, ValueError):
                pass  # the port closed under the reader: the last part stays

        thread = threading.Thread(target=read, name="groove-in", daemon=True)
        thread.start()
        return thread

    def renew(self, pip: float) -> bool:
        """At a new bar, the last `bars` complete bars become the patterns;
        True when they were renewed."""
        bar = math.floor(pip / self.bar_pips)
        if bar == self.bar:
            return False
        self.bar = bar
        start = (bar - self.bars) * self.bar_pips
        end = bar * self.bar_pips
        with self._lock:
            played = [(voice, at - start, velocity) for at, voice, velocity in self.notes if start <= at < end]
            while self.notes and self.notes[0][0] < start:
                self.notes.popleft()
        if played:
            part = kinetrope_grooves.DrumPart(self.bars, self.beats, self.beat_unit, tuple(played))
            self.library = self._library(groove_patterns(part, self.name, self.motions))
        else:
            self.library = self._at_rest()
        catalogue.use_patterns(self.library)
        return True

    def send(self, frame: Frame) -> None:
        """Renews the patterns when the frame is past a bar line."""
        self.renew(frame.pip)

    def close(self) -> None:
        """Closes the input."""
        if self.port is not None:
            self.port.close()
