"""Movement from drum parts: the sixteen beat motions of any groove, any meter."""

from typing import type_check_only

VOICES: tuple[str, ...]
"""The voices a part may use: kick snare clap rim hat open shaker tom perc bell bass ride crash."""
MOTIONS: tuple[str, ...]
"""The sixteen motions, by suffix: the four club motions first, then the twelve dancefloor ones."""
MAX_BARS: int
"""The most bars a part may have (1024)."""
MAX_EVENTS: int
"""The most events a part may have (65536)."""
MAX_PERIOD: int
"""The most pips a part may last (1024 bars of 4/4: 262144)."""
MAX_SCORE_CHARS: int
"""The longest score text parse_score reads (4 MiB)."""

_Event = tuple[str, float, float, float, bool]
_EventIn = (
    tuple[str, float, float]
    | tuple[str, float, float, float]
    | tuple[str, float, float, float, bool]
    | list[str | float | bool]
)

# The bound class is made by the binding layer's own metaclass, a subclass of
# type that adds nothing a caller uses.
@type_check_only
class _BoundClassType(type):
    """The metaclass of the module's classes."""

class DrumPart(metaclass=_BoundClassType):
    """A drum part: a meter, a number of bars and its events.

    Each event is (voice, pip, velocity, length, swell): its onset in pips
    from the start of the part (fractions allowed), loudness in (0, 1], how
    many pips a sustained note lasts (0 for a struck one) and whether it
    swells through that length. Events given as (voice, pip, velocity) or
    (voice, pip, velocity, length) are struck or held; events come as a
    list or tuple of tuples or lists. Events at one pip keep the order they
    are given in, which decides the one that leads (a step's side, a
    ricochet's target). A bar lasts beats_per_bar * 256 / beat_unit pips (a
    quarter note is 64 pips): 1 to 32 beats of a 1, 2, 4, 8 or 16 note.
    Raises ValueError, in one line, for a bad meter, an unknown voice, an
    event outside the part, or a part over the limits (MAX_BARS, MAX_PERIOD,
    MAX_EVENTS, and sustained notes holding 4194304 pips in all).
    """

    def __init__(
        self,
        bars: int,
        beats_per_bar: int,
        beat_unit: int,
        events: list[tuple[str, float, float]]
        | list[tuple[str, float, float, float]]
        | list[tuple[str, float, float, float, bool]]
        | list[_EventIn]
        | tuple[_EventIn, ...],
    ) -> None: ...
    @property
    def bars(self) -> int:
        """How many bars the part lasts."""
    @property
    def beats_per_bar(self) -> int:
        """The meter's upper number: 7 in 7/8."""
    @property
    def beat_unit(self) -> int:
        """The meter's lower number, the note a beat is: 8 in 7/8."""
    @property
    def bar_pips(self) -> int:
        """Pips in one bar."""
    @property
    def period_pips(self) -> int:
        """Pips in the whole part: bars * bar_pips."""
    @property
    def events(self) -> list[_Event]:
        """Every event, (voice, pip, velocity, length, swell), in order of onset."""
    def score_text(self) -> str:
        """The part as score text, which parse_score reads back to an equal part."""
    def __eq__(self, other: object) -> bool: ...
    def __repr__(self) -> str: ...

def parse_score(text: str) -> DrumPart:
    """Reads score text: `meter B/U` (default 4/4), `bars N`, an optional
    `steps N` (grid steps a bar, default sixteenths) and `swing S` (0.5
    straight to 0.75, delays every second grid step), then one line per
    voice: a grid of one character a step ('.' rest, '1' to '9' loudness in
    ninths, '|' and spaces ignored) or '@' and events `pip:velocity`,
    `pip:velocity~length` (held) or `pip:velocity<length` (swelling); a pip
    may be a fraction such as 256/3, a velocity a digit or a decimal such as
    0.75. '#' starts a comment. At most MAX_SCORE_CHARS characters and 1024
    steps a bar, and the limits of DrumPart. Raises ValueError naming the
    line, such as "line 3: grid must have 14 steps a bar"."""

def render(
    part: DrumPart, motions: list[str] | tuple[str, ...] | None = None
) -> list[tuple[str, int, list[tuple[float, float, float]]]]:
    """The part's motions (all sixteen by default, else those named, in that
    order): (suffix, dimensions, one (x, y, z) per pip over period_pips),
    every value finite and in [-1, 1]. Each motion's axes go through the
    maps the built-in grooves are fitted with, so a built-in score gives the
    catalogue's own table (four_floor's bounce, step and orbit excepted: the
    catalogue gives those exactly). Past the built-in grooves' reach a map
    goes on as a straight line, and an axis that would then leave the
    motion's range shrinks into it, never growing. Raises ValueError for an unknown
    motion."""
