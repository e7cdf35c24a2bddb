"""A live terminal view of the frames, drawn with rich.

One status line (bar, beat, tempo, frames sent), then one line per pattern:
a track across which a mark moves with x, the mark's height showing y, and
z as a number. The view redraws at most `refresh` times a second whatever
the frame rate, so a fast stream does not flood the terminal.
"""

from __future__ import annotations

import math
from typing import Any

from kinetrope_host.frames import Frame

TRACK = 41  # columns for x in [-1, 1]
LEVELS = "▁▂▃▄▅▆▇█"  # the mark's height for y in [-1, 1]
LEGEND = "x: the mark's column (-1 left, +1 right)   y: its height (▁ -1, █ +1)   z: the number"


def counted(count: int, noun: str) -> str:
    """`1 frame`, `2 frames`: a count with its noun in the right number."""
    return f"{count} {noun}{'' if count == 1 else 's'}"


def status(frame: Frame, beats_per_bar: int, sent: int) -> str:
    """The status line: bar, beat in the bar, pip, tempo and frames sent."""
    beat = math.floor(frame.pip / 64.0)
    bar, in_bar = divmod(beat, beats_per_bar)
    return (f"bar {bar + 1:>4}  beat {in_bar + 1}/{beats_per_bar}  pip {frame.pip:10.2f}  "
            f"{frame.bpm:6.1f} bpm  {counted(sent, 'frame')} sent")


def track(x: float, y: float) -> str:
    """A pattern's track: the mark's column is x, its height y."""
    column = round((min(max(x, -1.0), 1.0) + 1.0) / 2.0 * (TRACK - 1))
    level = round((min(max(y, -1.0), 1.0) + 1.0) / 2.0 * (len(LEVELS) - 1))
    cells = ["·"] * TRACK
    cells[TRACK // 2] = "|"
    cells[column] = LEVELS[level]
    return "".join(cells)


def lines(frame: Frame, beats_per_bar: int, sent: int) -> list[str]:
    """The whole view: status, legend, then one line per pattern."""
    width = max((len(name) for name in frame.values), default=0)
    rows = [status(frame, beats_per_bar, sent), LEGEND]
    for name, (x, y, z) in frame.values.items():
        rows.append(f"{name:<{width}}  {track(x, y)}  x {x:+.3f}  y {y:+.3f}  z {z:+.3f}")
    return rows


class LiveView:
    """Draws the latest frame in place in the terminal."""

    def __init__(self, beats_per_bar: int = 4, refresh: float = 30.0, console: Any = None) -> None:
        try:
            from rich.console import Console
            from rich.live import Live
            from rich.text import Text
        except ImportError:
            from kinetrope_host.errors import UserError

            raise UserError("the live view needs rich: pip install 'kinetrope[live]' (or pass --no-view)") from None
        self._text = Text
        self.console = console if console is not None else Console()
        self.live = Live(console=self.console, auto_refresh=False, transient=False)
        self.beats_per_bar = beats_per_bar
        self.interval = 1.0 / refresh
        self.sent = 0
        self._drawn_at = -math.inf
        self._last: Frame | None = None
        self.live.start()

    def send(self, frame: Frame) -> None:
        """Counts the frame and redraws if the last draw is old enough."""
        self.sent += 1
        self._last = frame
        if frame.seconds - self._drawn_at >= self.interval:
            self._drawn_at = frame.seconds
            self._draw(frame)

    def _draw(self, frame: Frame) -> None:
        self.live.update(self._text("\n".join(lines(frame, self.beats_per_bar, self.sent))), refresh=True)

    def close(self) -> None:
        """Draws the last frame and leaves the view on screen."""
        if self._last is not None:
            self._draw(self._last)
        self.live.stop()
        if not self.console.is_terminal:
            self.console.line()  # rich leaves the last line open when it cannot redraw in place
