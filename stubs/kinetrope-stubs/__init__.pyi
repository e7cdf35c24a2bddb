"""Integer-pip rhythmic position functions"""

from _collections_abc import dict_keys, dict_values
from collections.abc import Generator, Sequence
from decimal import Decimal
from fractions import Fraction
from typing import Any, Final, SupportsFloat, SupportsIndex, TypedDict, TypeVar, type_check_only

from typing_extensions import Never, TypeAlias

_T = TypeVar("_T")

# A strict pip: int, bool or anything with __index__; never a float, even 3.0.
_Pip: TypeAlias = SupportsIndex
# Where implicit conversion is allowed, other numbers are also truncated by
# int(), floats still refused; no static type says "has __int__ but is not a
# float", so the standard library's other numbers are named.
_LoosePip: TypeAlias = SupportsIndex | Decimal | Fraction
# Names and texts: str as UTF-8, bytes and bytearray as raw bytes.
_Text: TypeAlias = str | bytes | bytearray
_Float: TypeAlias = SupportsFloat | SupportsIndex
# The containers a list argument may be: any sequence (str and bytes are
# refused at run time, which no static type can exclude), set, frozenset, a
# generator, a dict's keys or values, map and zip. Other iterables are refused.
# A dict's items are taken too, but as pairs they only fit recording rows.
_Many: TypeAlias = (
    Sequence[_T]
    | set[_T]
    | frozenset[_T]
    | Generator[_T, Any, Any]
    | dict_keys[_T, Any]
    | dict_values[Any, _T]
    | map[_T]
    | zip[_T]
)

PIPS_PER_BEAT: Final = 64
"""Pips in one beat."""

# Every bound class is made by the binding layer's own metaclass, a subclass
# of type that adds nothing a caller uses.
@type_check_only
class _BoundClassType(type):
    """The metaclass of the module's classes."""

@type_check_only
class CatalogueRow(TypedDict):
    """One catalogue entry, as a fresh dict with these four keys in this order."""

    name: str
    description: str
    period_pips: int
    dimensions: int

class SampledRecording(metaclass=_BoundClassType):
    """A non-looping multi-axis recording with one row per pip from `start_pip` on."""

    def __init__(
        self,
        name: _Text,
        dimensions: _Many[_Text],
        samples: _Many[_Many[_Float]],
        bpm: _Float,
        beat_zero_seconds: _Float = 0.0,
        start_pip: _LoosePip = 0,
    ) -> None:
        """Validate and copy the rows; raises ValueError on the first broken rule."""

    @property
    def name(self) -> str:
        """The recording's identifier."""

    @property
    def dimensions(self) -> list[str]:
        """The axis names in row order, as a new list."""

    @property
    def sample_count(self) -> int:
        """The number of rows."""

    @property
    def bpm(self) -> float:
        """The tempo the recording was taken at, in beats per minute."""

    @property
    def beat_zero_seconds(self) -> float:
        """The time of beat zero, in seconds."""

    @property
    def start_pip(self) -> int:
        """The pip of the first row."""

    def sample(self, pip: _Pip) -> list[float]:
        """The row at `pip`, one value per axis; raises IndexError outside the recording."""

class Offset3(metaclass=_BoundClassType):
    """An offset in [-1, 1] on each axis, as returned by every sampler."""

    # Instances come only from samplers: calling the class raises TypeError.
    def __init__(self, cannot_be_constructed: Never, /) -> None:
        """Not callable: only samplers make offsets."""

    @property
    def x(self) -> float:
        """The x component."""

    @property
    def y(self) -> float:
        """The y component."""

    @property
    def z(self) -> float:
        """The z component."""

    def as_tuple(self) -> tuple[float, float, float]:
        """The components as a new tuple (x, y, z)."""

class SampledPattern(metaclass=_BoundClassType):
    """A host-made looping pattern of one (x, y, z) sample per pip."""

    def __init__(self, name: _Text, description: _Text, samples: _Many[_Many[_Float]]) -> None:
        """Validate the loop; each sample holds exactly three numbers; raises ValueError on bad data."""

    @property
    def name(self) -> str:
        """The pattern's identifier."""

    @property
    def description(self) -> str:
        """The one-line description."""

    @property
    def period_pips(self) -> int:
        """The loop length: the number of samples."""

    def sample(self, pip_count: _Pip) -> Offset3:
        """The sample at `pip_count`, wrapped into the loop."""

class PatternLibrary(metaclass=_BoundClassType):
    """A host pattern pack that answers its own names first, then the built-ins."""

    def __init__(self, patterns: _Many[SampledPattern] = []) -> None:
        """Copy and check the patterns; raises ValueError on a repeated or overriding name."""

    def sample(self, name: _Text, pip_count: _Pip) -> Offset3:
        """Sample an own pattern by name, or else a built-in one."""

    def catalogue(self) -> list[CatalogueRow]:
        """The built-in rows followed by the library's own rows."""

def sample(name: _Text, pip_count: _LoosePip) -> Offset3:
    """Sample any built-in pattern by name; raises ValueError for an unknown name."""

def catalogue() -> list[CatalogueRow]:
    """Every built-in pattern's row: the formula patterns first, then the tables."""

def bounce(pip: _LoosePip, /) -> Offset3:
    """The bounce move (64 pips)."""

def sway(pip: _LoosePip, /) -> Offset3:
    """The sway move (128 pips)."""

def circle(pip: _LoosePip, /) -> Offset3:
    """The circle move (64 pips)."""

def figure_eight(pip: _LoosePip, /) -> Offset3:
    """The figure-eight move (128 pips)."""

def step_touch(pip: _LoosePip, /) -> Offset3:
    """The step-touch move (128 pips)."""

def box_step(pip: _LoosePip, /) -> Offset3:
    """The box-step move (256 pips)."""

def helix(pip: _LoosePip, /) -> Offset3:
    """The helix move (256 pips)."""

def loam_background(pip: _LoosePip, /) -> Offset3:
    """The loam background move (256 pips)."""

def single_stroke_roll(pip: _LoosePip, /) -> Offset3:
    """The single stroke roll rudiment (64 pips)."""

def double_stroke_roll(pip: _LoosePip, /) -> Offset3:
    """The double stroke roll rudiment (64 pips)."""

def multiple_bounce_roll(pip: _LoosePip, /) -> Offset3:
    """The multiple bounce roll rudiment (64 pips)."""

def single_paradiddle(pip: _LoosePip, /) -> Offset3:
    """The single paradiddle rudiment (128 pips)."""

def flam(pip: _LoosePip, /) -> Offset3:
    """The flam rudiment (64 pips)."""

def drag(pip: _LoosePip, /) -> Offset3:
    """The drag rudiment (64 pips)."""

def five_stroke_roll(pip: _LoosePip, /) -> Offset3:
    """The five stroke roll rudiment (128 pips)."""
