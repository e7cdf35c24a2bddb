"""The frame loop behind `kinetrope play`: a clock says which pip it is, the
patterns are sampled there, and every frame goes to every sink."""

from __future__ import annotations

import math
import time
from collections.abc import Callable, Sequence

from kinetrope_host import catalogue
from kinetrope_host.clocks import Clock
from kinetrope_host.frames import Frame, FrameSink
from kinetrope_host.sampling import sample_at


def make_frame(names: Sequence[str], clock: Clock, now: float, started: float, wall_offset: float) -> Frame:
    """The frame due at `now`: the clock's pip and tempo there, each pattern sampled at that pip."""
    pip = clock.pip(now)
    return Frame(seconds=now - started, pip=pip, values={name: sample_at(name, pip) for name in names},
                 bpm=clock.bpm(now), wall_time=now + wall_offset)


def play(names: Sequence[str], clock: Clock, sinks: Sequence[FrameSink], fps: float,
         until_pip: float | None = None, frames: int | None = None, started: float | None = None,
         monotonic: Callable[[], float] = time.monotonic, sleep: Callable[[float], None] = time.sleep) -> int:
    """Sends frames at `fps` until the clock reaches `until_pip` or `frames`
    have gone out (or forever), and returns how many went out.

    Each frame is sampled at its scheduled time, not when it is sent, so the
    frames keep to the clock however late one is; a player that falls more
    than a frame behind skips to the frame due now rather than sending a burst
    of stale ones. The sinks are closed at the end, also on an error.
    """
    names = [catalogue.resolve(name) for name in names]
    if not (math.isfinite(fps) and fps > 0):
        raise ValueError(f"frames a second must be positive: {fps!r}")
    started = monotonic() if started is None else started
    wall_offset = time.time() - monotonic()
    frame = 0
    sent = 0
    try:
        while frames is None or sent < frames:
            due = started + frame / fps
            lateness = monotonic() - due
            if lateness < 0.0:
                sleep(-lateness)
            elif lateness >= 1.0 / fps:
                frame = math.floor((monotonic() - started) * fps)
                due = started + frame / fps
            if until_pip is not None and clock.pip(due) >= until_pip:
                break
            current = make_frame(names, clock, due, started, wall_offset)
            for sink in sinks:
                sink.send(current)
            sent += 1
            frame += 1
    finally:
        for sink in sinks:
            sink.close()
    return sent
