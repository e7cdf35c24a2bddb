"""Reads the groove scores (src/catalogue/generator/beats/scores) on its own, so tests
can check what each score claims without going through the generator."""

from dataclasses import dataclass
from fractions import Fraction
from functools import cache
from pathlib import Path

GROOVE_DIR = Path(__file__).parents[2] / "src" / "catalogue" / "generator" / "beats" / "scores"


@dataclass(frozen=True)
class Event:
    voice: str
    pip: Fraction
    velocity: Fraction  # in ninths
    length: Fraction = Fraction(0)  # a sustained note's pips; 0 when struck
    swell: bool = False  # grows through its length rather than holding

    @property
    def step(self):
        """Sixteenth of the score, or None off the grid."""
        return int(self.pip // 16) if self.pip % 16 == 0 else None


@dataclass(frozen=True)
class Score:
    period: int
    events: tuple

    def of(self, *voices):
        return [e for e in self.events if e.voice in voices]

    def steps(self, *voices):
        return sorted(e.step for e in self.of(*voices) if e.step is not None)


@cache
def read_score(stem):
    bars, events = None, []
    for line in (GROOVE_DIR / f"{stem}.groove").read_text().splitlines():
        words = line.split("#")[0].split()
        if not words:
            continue
        if words[0] == "bars":
            bars = int(words[1])
        elif words[1] == "@":
            for token in words[2:]:
                # pip:velocity, or pip:velocity~length (held), pip:velocity<length (swelling)
                pip, note = token.split(":")
                velocity, mark, length = note[0], note[1:2], note[2:]
                events.append(
                    Event(words[0], Fraction(pip), Fraction(int(velocity), 9), Fraction(length or 0), mark == "<")
                )
        else:
            cells = "".join(words[1:]).replace("|", "")
            assert len(cells) == 16 * bars, (stem, line)
            events += [Event(words[0], Fraction(16 * i), Fraction(int(c), 9)) for i, c in enumerate(cells) if c != "."]
    return Score(256 * bars, tuple(sorted(events, key=lambda e: e.pip)))
