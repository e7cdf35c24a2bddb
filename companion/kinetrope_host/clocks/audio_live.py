"""Beats from live audio arriving through JACK, as a `Clock`.

The tracker is causal: onset strength (spectral flux) block by block, the
tempo from the autocorrelation of the last few seconds of it, the beat phase
from a comb over those seconds, and the beat grid extended ahead so motion
lands on the next beat rather than after it. No downbeat is found: bars
count from the first beat heard.
"""

from __future__ import annotations

import threading
import time
from collections import deque
from typing import Any

import numpy

from kinetrope_host.errors import UserError

__all__ = ["BeatFollower", "LiveAudioClock", "open_input"]

HOP = 512
WINDOW = 1024
HISTORY = 6.0  # seconds of onset strength the tempo and phase are read from
LOW_HZ, LOW_WEIGHT = 250.0, 20.0
MIN_BPM, MAX_BPM, PRIOR_BPM = 60.0, 200.0, 120.0


class BeatFollower:
    """The causal tracker: feed it samples with the time their last sample
    was heard; it keeps a beat grid (a beat's time and the period)."""

    def __init__(self, rate: int) -> None:
        self.rate = rate
        self.fps = rate / HOP
        self.pending = numpy.zeros(0, dtype=numpy.float32)
        self.previous = numpy.zeros(WINDOW // 2 + 1)
        self.strength: deque[float] = deque(maxlen=int(HISTORY * self.fps))
        self.low_bins = max(2, int(LOW_HZ * WINDOW / rate))
        self.window = numpy.hanning(WINDOW).astype(numpy.float32)
        self.frame_end = 0.0  # time of the newest onset frame
        self.period: float | None = None  # seconds
        self.beat_at = 0.0  # one beat of the grid, seconds on the monotonic clock
        self.lock = threading.Lock()

    def feed(self, samples: numpy.ndarray[Any, Any], heard: float) -> None:
        """Takes the next block of mono samples, whose last one was heard at
        `heard` (monotonic seconds), and updates the onset history."""
        buffered = numpy.concatenate([self.pending, samples])
        count = max(0, (len(buffered) - WINDOW) // HOP + 1)
        for index in range(count):
            frame = buffered[index * HOP:index * HOP + WINDOW] * self.window
            spectrum = numpy.log1p(100.0 * numpy.abs(numpy.fft.rfft(frame)))
            rise = numpy.maximum(spectrum - self.previous, 0.0)
            # kicks and bass mark the beat; hats on the offbeats must not win the phase
            self.strength.append(float(rise.sum() + LOW_WEIGHT * rise[:self.low_bins].sum()))
            self.previous = spectrum
        self.pending = buffered[count * HOP:]
        # the newest frame's centre, heard `len(pending)` plus half a window before `heard`
        self.frame_end = heard - (len(self.pending) + WINDOW / 2) / self.rate

    def update(self) -> None:
        """Tempo and phase from the onset strength held so far."""
        if len(self.strength) < 3 * self.fps:
            return
        envelope = numpy.asarray(self.strength)
        envelope = envelope - envelope.mean()
        lags = numpy.arange(int(self.fps * 60 / MAX_BPM), int(self.fps * 60 / MIN_BPM) + 1)
        correlation = numpy.array([numpy.dot(envelope[lag:], envelope[:-lag]) for lag in lags])
        bpm = 60.0 * self.fps / lags
        correlation *= numpy.exp(-0.5 * (numpy.log2(bpm / PRIOR_BPM) / 0.9) ** 2)
        best = int(numpy.argmax(correlation))
        lag = float(lags[best])
        if 0 < best < len(lags) - 1:  # parabolic refinement to a fraction of a frame
            left, centre, right = correlation[best - 1:best + 2]
            bend = left - 2 * centre + right
            if bend < 0:
                lag += 0.5 * (left - right) / bend
        phase = self._phase(envelope, lag)
        with self.lock:
            self.period = lag / self.fps
            self.beat_at = self.frame_end - phase / self.fps

    def _phase(self, envelope: numpy.ndarray[Any, Any], lag: float) -> float:
        """Frames back from the newest frame to the last beat: the comb
        over the history whose teeth gather the most onset strength, recent
        beats weighing more."""
        newest = len(envelope) - 1
        teeth = int(newest // lag)
        best, best_sum = 0.0, -numpy.inf
        for offset in numpy.arange(0.0, lag, 0.5):
            at = newest - offset - lag * numpy.arange(teeth)
            at = at[at >= 0]
            picked = numpy.interp(at, numpy.arange(len(envelope)), envelope)
            total = float(numpy.dot(picked, 0.9 ** numpy.arange(len(at))))
            if total > best_sum:
                best, best_sum = float(offset), total
        return best

    def grid(self) -> tuple[float, float] | None:
        """The latest beat grid as (time of a beat, seconds a beat), or None
        until enough has been heard to find a tempo."""
        with self.lock:
            return None if self.period is None else (self.beat_at, self.period)


class LiveAudioClock:
    """Song position from the live beat grid. The count of beats only moves
    on: a new grid is joined at the beat nearest the count so far."""

    def __init__(self, follower: BeatFollower, anchor: Any = None) -> None:
        self.follower = follower
        self.anchor = anchor  # kept alive: the JACK client feeding the follower
        self.base_time: float | None = None
        self.base_beat = 0.0
        self.period = 60.0 / PRIOR_BPM
        self.seen: tuple[float, float] | None = None
        self.latest = 0.0
        self.doubted = 0

    def _count(self, now: float) -> float:
        assert self.base_time is not None
        return self.base_beat + (now - self.base_time) / self.period

    def pip(self, now: float) -> float:
        """The song position at `now`: 0 until the first grid, then never backwards."""
        grid = self.follower.grid()
        if grid is None:
            return 0.0
        if grid != self.seen:
            beat_at, period = grid
            self.seen = grid
            if self.base_time is None:
                self.base_time, self.base_beat = beat_at, 0.0
            else:
                count = self._count(beat_at)
                if abs(count - round(count)) > 0.25 and self.doubted < 2:
                    # a grid far off the beat so far (an offbeat hat winning once) must hold a while first
                    self.doubted += 1
                    return self._held(now)
                self.doubted = 0
                self.base_time, self.base_beat = beat_at, float(round(count))
            self.period = period
        return self._held(now)

    def _held(self, now: float) -> float:
        assert self.base_time is not None
        if now < self.base_time:  # before the first beat heard
            return 0.0 if self.base_beat == 0 else 64.0 * max(self._count(now), 0.0)
        # never run backwards: a grid moved earlier holds the count a moment
        self.latest = max(self.latest, 64.0 * self._count(now))
        return self.latest

    def bpm(self, now: float) -> float:
        """The tempo of the grid followed now."""
        return 60.0 / self.period


def jack_module() -> Any:
    """The `jack` package, or a one-line `UserError` saying how to install it."""
    try:
        import jack  # type: ignore[import-not-found, import-untyped, unused-ignore]
    except (ImportError, OSError):
        raise UserError("live audio needs the JACK client: pip install 'kinetrope[live-audio]'") from None
    return jack


def open_input(source: str, client_name: str = "kinetrope") -> LiveAudioClock:
    """A clock following the JACK output port `source` (e.g. system:capture_1)."""
    jack = jack_module()
    jack.set_error_function(lambda message: None)  # libjack's own lines would bury ours
    jack.set_info_function(lambda message: None)
    try:
        client = jack.Client(client_name, no_start_server=True)
    except jack.JackOpenError:
        raise UserError("no JACK server running") from None
    sources = [port.name for port in client.get_ports(is_audio=True, is_output=True)]
    if source not in sources:
        client.close()
        raise UserError(f"no such audio input: {source}; inputs: {', '.join(sources) or 'none'}")
    follower = BeatFollower(client.samplerate)
    blocks: deque[tuple[numpy.ndarray[Any, Any], float]] = deque(maxlen=4096)
    port = client.inports.register("in")

    @client.set_process_callback  # type: ignore[misc, untyped-decorator, unused-ignore]
    def process(frames: int) -> None:
        # the real-time thread only copies; the analysis runs on its own thread
        blocks.append((port.get_array().copy(), time.monotonic()))

    def analyse() -> None:
        last_update = 0.0
        while True:
            while blocks:
                samples, heard = blocks.popleft()
                follower.feed(samples, heard)
            now = time.monotonic()
            if now - last_update >= 0.25:
                follower.update()
                last_update = now
            time.sleep(0.01)

    threading.Thread(target=analyse, daemon=True, name="kinetrope-audio-in").start()
    client.activate()
    try:
        client.connect(source, port)
    except jack.JackError as error:
        client.close()
        raise UserError(f"cannot listen to audio input {source}: {error}") from None
    return LiveAudioClock(follower, client)
