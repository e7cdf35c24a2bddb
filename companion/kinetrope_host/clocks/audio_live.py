"""Beats from live audio arriving through JACK or a sound device (PortAudio), as a `Clock`.

The tracker is causal: onset strength (spectral flux) block by block, the
tempo from the autocorrelation of the last few seconds of it, the beat phase
from a comb over those seconds, and the beat grid extended ahead so motion
lands on the next beat rather than after it. Bar 1 (in 4/4) is read, as
the file analysis reads it, from the kick and the backbeat's snare over the
last bars once enough are heard; the count then moves on onto it.
"""

from __future__ import annotations

import contextlib
import os
import sys
import threading
import time
from collections import deque
from collections.abc import Iterator
from typing import Any

import numpy

from kinetrope_host.errors import UserError

__all__ = ["BeatFollower", "LiveAudioClock", "open_input"]

HOP = 512
WINDOW = 1024
HISTORY = 6.0  # seconds of onset strength the tempo and phase are read from
LOW_HZ, LOW_WEIGHT = 250.0, 1.0  # the kick's bands count twice: kicks and bass mark the beat
BANDS = 30
MIN_BPM, MAX_BPM, PRIOR_BPM = 60.0, 200.0, 120.0
HIGH_HZ = 3000.0  # from here up: snare and hats, the backbeat
BAR_HISTORY = 16.0  # seconds of kick and snare the bar is read from: a crash every fourth bar falls in it
# Kick and snare taking turns as plainly as the file analysis asks (1.8 and 1.5, and
# 1.0 more than at the estimate) is rarer over sixteen seconds: a snare's body in the
# kick's band and a crash weigh more, and a breakbeat's half tempo shows turns too.
LIVE_CLEAR, LIVE_LEVEL, LIVE_GAIN = 1.2, 1.2, 0.3
RIVALS = 2  # the autocorrelation's next peaks also tried as the beat
BAR_BEATS = 4  # live input is taken for 4/4
BAR_AFTER = 16  # beats heard before bar 1 is placed
BAR_DOUBT = 8  # grids in a row (two seconds) with bar 1 off the bar lines before the count moves onto it again


def _refined(lags: numpy.ndarray[Any, Any], correlation: numpy.ndarray[Any, Any], index: int) -> float:
    """The lag of the correlation's peak at `index`, to a fraction of a frame (a parabola)."""
    lag = float(lags[index])
    if 0 < index < len(lags) - 1:
        left, centre, right = correlation[index - 1:index + 2]
        bend = left - 2 * centre + right
        if bend < 0:
            lag += 0.5 * (left - right) / bend
    return lag


class BeatFollower:
    """The causal tracker: feed it samples with the time their last sample
    was heard; it keeps a beat grid (a beat's time and the period)."""

    def __init__(self, rate: int) -> None:
        self.rate = rate
        self.fps = rate / HOP
        self.pending = numpy.zeros(0, dtype=numpy.float32)
        self.previous = numpy.zeros(WINDOW // 2 + 1)
        self.strength: deque[float] = deque(maxlen=int(HISTORY * self.fps))
        # the amplitude's rise in the kick's and the snare's bands: a snare far over a hat
        self.kick: deque[float] = deque(maxlen=int(BAR_HISTORY * self.fps))
        self.snare: deque[float] = deque(maxlen=int(BAR_HISTORY * self.fps))
        self.amplitude = (0.0, 0.0)
        self.low_bins = max(2, int(LOW_HZ * WINDOW / rate))
        # the rise in bands widening with frequency (a third of an octave higher up), each
        # counted alike: a hat's noise rises in hundreds of bins, a kick in a few
        edges = numpy.unique(numpy.geomspace(1, WINDOW // 2 + 1, BANDS + 1).astype(int))
        self.band_starts, self.band_widths = edges[:-1], numpy.diff(edges)
        self.low_bands = int(numpy.searchsorted(self.band_starts, self.low_bins))
        self.high_bin = int(HIGH_HZ * WINDOW / rate)
        self.downbeat_at: float | None = None  # a beat of the grid that is bar 1, beat 1
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
            magnitude = numpy.abs(numpy.fft.rfft(frame))
            spectrum = numpy.log1p(100.0 * magnitude)
            low, high = (float(numpy.sqrt(numpy.dot(part, part)))
                         for part in (magnitude[:self.low_bins], magnitude[self.high_bin:]))
            self.kick.append(max(low - self.amplitude[0], 0.0))
            self.snare.append(max(high - self.amplitude[1], 0.0))
            self.amplitude = (low, high)
            rise = numpy.maximum(spectrum - self.previous, 0.0)
            # kicks and bass mark the beat; hats on the offbeats must not win the phase
            bands = numpy.add.reduceat(rise, self.band_starts) / self.band_widths
            self.strength.append(float(bands.sum() + LOW_WEIGHT * bands[:self.low_bands].sum()))
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
        peaks = [index for index in range(1, len(lags) - 1)
                 if correlation[index - 1] < correlation[index] >= correlation[index + 1]]
        peaks = sorted(peaks, key=lambda index: -correlation[index])[:1 + RIVALS] or [int(numpy.argmax(correlation))]
        lag, *rivals = (_refined(lags, correlation, index) for index in peaks)
        lag, phase = self._metrical_level(envelope, lag, rivals)
        downbeat = self._bar(newest=phase, lag=lag)
        with self.lock:
            self.period = lag / self.fps
            self.beat_at = self.frame_end - phase / self.fps
            if downbeat is not None:
                self.downbeat_at = self.beat_at - downbeat * self.period

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

    def _metrical_level(self, envelope: numpy.ndarray[Any, Any], lag: float,
                        rivals: list[float]) -> tuple[float, float]:
        """The beat's lag and phase at the level the drums play the backbeat
        on: the autocorrelation often prefers the half bar of a fast beat
        (kick, snare, kick, snare repeats every two beats), the eighths of a
        slow one, or a breakbeat's pattern (its other peaks, `rivals`). One of
        those wins where kick and snare take turns there far more plainly, as
        the file analysis decides it; the level followed so far only as plainly."""
        from kinetrope_host.clocks.beat_tracking import SAME

        phase = self._phase(envelope, lag)
        best = (lag, phase)
        plain = self._backbeat(phase, lag)[0]
        held = None if self.period is None else self.period * self.fps
        for other in (lag / 2, lag * 2, *rivals):
            if not MIN_BPM <= 60.0 * self.fps / other <= MAX_BPM:
                continue
            kept = held is not None and abs(other / held - 1) < SAME and abs(lag / held - 1) >= SAME
            needed = max(plain + (0.0 if kept else LIVE_GAIN), LIVE_CLEAR)
            other_phase = self._phase(envelope, other)
            spread, level = self._backbeat(other_phase, other)
            if spread > needed and level >= LIVE_LEVEL:
                best, plain = (other, other_phase), spread
        return best

    def _backbeat(self, newest: float, lag: float) -> tuple[float, float]:
        """How plainly kick and snare take turns on the grid's beats over
        the last bars: in standard deviations, and in shares of their mean
        level (an accented click differs steadily but little)."""
        from kinetrope_host.clocks.beat_tracking import standard

        heard = self._at_beats(newest, lag)
        if heard is None or len(heard[0]) < 8:
            return 0.0, 0.0
        kick, snare = heard

        def turns(kick: numpy.ndarray[Any, Any], snare: numpy.ndarray[Any, Any]) -> float:
            return max(float(kick[p::2].mean() - kick[1 - p::2].mean() + snare[1 - p::2].mean() - snare[p::2].mean())
                       for p in (0, 1))

        shares = (curve / max(float(curve.mean()), 1e-12) for curve in (kick, snare))
        return turns(standard(kick), standard(snare)), turns(*shares)

    def _at_beats(self, newest: float, lag: float) -> tuple[numpy.ndarray[Any, Any], numpy.ndarray[Any, Any]] | None:
        """The kick's and the snare's rise at each beat of the grid held
        (oldest first), or None before two beats are held."""
        frames = len(self.kick)
        count = int((frames - 1 - newest) // lag) + 1
        if count < 2:
            return None
        reach = max(1, round(lag / 8))
        at = [round(frames - 1 - newest - lag * back) for back in range(count - 1, -1, -1)]
        kick, snare = (numpy.array([curve[max(f - reach, 0):f + reach + 1].max() for f in at])
                       for curve in (numpy.array(self.kick), numpy.array(self.snare)))
        return kick, snare

    def _bar(self, newest: float, lag: float) -> int | None:
        """How many beats before the grid's newest beat the latest bar 1
        falls, from the kick and the backbeat's snare over the last bars (as
        the file analysis reads them); None until `BAR_AFTER` beats are heard."""
        from kinetrope_host.clocks.beat_tracking import (
            PHRASE_WEIGHT,
            contrast,
            now_and_then,
            standard,
        )

        heard = self._at_beats(newest, lag)
        if heard is None or len(heard[0]) < BAR_AFTER:
            return None
        count = len(heard[0])
        kick, snare = (standard(curve) for curve in heard)
        extra = now_and_then(snare, BAR_BEATS)
        scores = [contrast([kick], BAR_BEATS, phase) + PHRASE_WEIGHT * contrast([extra], BAR_BEATS, phase)
                  + contrast([-0.5 * snare], 2, phase % 2) for phase in range(BAR_BEATS)]
        first = int(numpy.argmax(scores))  # the first downbeat among the beats, oldest first
        return (count - 1 - first) % BAR_BEATS

    def bar_one(self) -> float | None:
        """A beat of the grid that is bar 1, beat 1 (monotonic seconds), once known."""
        with self.lock:
            return self.downbeat_at

    def grid(self) -> tuple[float, float] | None:
        """The latest beat grid as (time of a beat, seconds a beat), or None
        until enough has been heard to find a tempo."""
        with self.lock:
            return None if self.period is None else (self.beat_at, self.period)


class LiveAudioClock:
    """Song position from the live beat grid. The count of beats only moves
    on: a new grid is joined at the beat nearest the count so far. Once the
    follower knows where bar 1 falls, the count moves on by up to three
    beats so that bars count from it (again if it slips a beat later)."""

    def __init__(self, follower: BeatFollower, anchor: Any = None) -> None:
        self.follower = follower
        self.anchor = anchor  # kept alive: the JACK client feeding the follower
        self.base_time: float | None = None
        self.base_beat = 0.0
        self.period = 60.0 / PRIOR_BPM
        self.seen: tuple[float, float] | None = None
        self.latest = 0.0
        self.doubted = 0
        self.barred = False  # the count already moved onto the bars
        self.off_bars = 0  # grids in a row whose bar 1 falls off the count's bar lines

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
            self._onto_bars()
        return self._held(now)

    def _onto_bars(self) -> None:
        """Moves the count on onto the bars: at once the first time bar 1 is
        known, later only when the bars have been off for `BAR_DOUBT` grids
        in a row (the count slipped a beat)."""
        downbeat = self.follower.bar_one()
        if downbeat is None:
            return
        shift = (-round(self._count(downbeat))) % BAR_BEATS
        self.off_bars = self.off_bars + 1 if shift else 0
        if shift and (not self.barred or self.off_bars >= BAR_DOUBT):
            self.base_beat += shift
            self.off_bars = 0
        self.barred = True

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
        raise UserError("live audio needs the JACK client or sounddevice: pip install 'kinetrope[live-audio]'") from None
    return jack


def _sounddevice() -> Any:
    """The `sounddevice` package (PortAudio), or None where it or PortAudio is missing."""
    # PortAudio asks libjack for a server: it must not start one of its own
    os.environ.setdefault("JACK_NO_START_SERVER", "1")
    try:
        with _quiet_stderr():  # libjack and ALSA tell standard error of every server and card they miss
            import sounddevice  # type: ignore[import-not-found, import-untyped, unused-ignore]
    except (ImportError, OSError):
        return None
    return sounddevice


@contextlib.contextmanager
def _quiet_stderr() -> Iterator[None]:
    """Standard error's file descriptor pointed at /dev/null meanwhile: C
    libraries write to it directly."""
    sys.stderr.flush()
    saved = os.dup(2)
    try:
        with open(os.devnull, "w") as null:
            os.dup2(null.fileno(), 2)
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)


def _jack_client(client_name: str) -> Any:
    """A JACK client, or None where no JACK server runs or the JACK client
    package is missing."""
    try:
        jack = jack_module()
    except UserError:
        return None
    jack.set_error_function(lambda message: None)  # libjack's own lines would bury ours
    jack.set_info_function(lambda message: None)
    try:
        return jack.Client(client_name, no_start_server=True)
    except jack.JackOpenError:
        return None


def _input_devices(sounddevice: Any) -> list[tuple[int, str]]:
    """PortAudio's devices that record, as (number, name)."""
    return [(int(device["index"]), str(device["name"])) for device in sounddevice.query_devices()
            if device["max_input_channels"] > 0]


def _pick_device(source: str, devices: list[tuple[int, str]]) -> int | None:
    """The device named `source`, numbered so, or the one whose name holds it
    (any case); None if none is, UserError if several are."""
    for number, name in devices:
        if source in (name, str(number)):
            return number
    holding = [(number, name) for number, name in devices if source.lower() in name.lower()]
    if len(holding) > 1:
        raise UserError(f"audio input {source} could be any of: {', '.join(name for _, name in holding)}")
    return holding[0][0] if holding else None


def open_input(source: str, client_name: str = "kinetrope") -> LiveAudioClock:
    """A clock following `source`: a JACK output port (e.g. system:capture_1)
    where a JACK server runs, else a sound device PortAudio records from (its
    name, part of it, or its number). UserError naming the inputs there are
    if there is no such input."""
    client = _jack_client(client_name)  # first: it quiets libjack, which PortAudio's start-up would have speak
    sounddevice = _sounddevice()
    if sounddevice is None and client is None:
        jack_module()  # neither may be installed: then say how to install them
    sources: list[str] = []
    if client is not None:
        sources = [port.name for port in client.get_ports(is_audio=True, is_output=True)]
        if source in sources:
            return _follow_jack(client, source)
        client.close()
    devices = _input_devices(sounddevice) if sounddevice is not None else []
    if (device := _pick_device(source, devices)) is not None:
        return _follow_device(sounddevice, device)
    inputs = ", ".join([*sources, *(f"{name} ({number})" for number, name in devices)]) or "none"
    if client is None and ":" in source:
        raise UserError(f"no JACK server running; sound devices: {inputs}")
    raise UserError(f"no such audio input: {source}; inputs: {inputs}")


def _analyse(follower: BeatFollower, blocks: deque[tuple[numpy.ndarray[Any, Any], float]]) -> None:
    """Feeds the blocks the audio thread queued to the follower, on a thread
    of its own: the audio thread only copies."""

    def run() -> None:
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

    threading.Thread(target=run, daemon=True, name="kinetrope-audio-in").start()


class _CaptureStamps:
    """Monotonic times of the audio device's own clock. A callback runs late
    by however long the interpreter took to get to it (seconds, when the
    machine is busy as the player starts), never early: the smallest gap seen
    between the monotonic clock and the device's is the true one, so one late
    first callback no longer shifts every beat after it. The smallest is kept
    over the last five to ten seconds, so a device clock that drifts from the
    monotonic one (a sound card's crystal) is followed too."""

    WINDOW = 5.0

    def __init__(self) -> None:
        self.current = self.previous = float("inf")
        self.window_start: float | None = None

    def stamp(self, now: float, device_time: float) -> float:
        """`device_time` on the monotonic clock, given the callback ran at `now`."""
        if self.window_start is None or now - self.window_start >= self.WINDOW:
            self.previous, self.current, self.window_start = self.current, float("inf"), now
        self.current = min(self.current, now - device_time)
        return min(self.current, self.previous) + device_time


def _follow_jack(client: Any, source: str) -> LiveAudioClock:
    jack = jack_module()
    follower = BeatFollower(client.samplerate)
    blocks: deque[tuple[numpy.ndarray[Any, Any], float]] = deque(maxlen=4096)
    port = client.inports.register("in")

    stamps = _CaptureStamps()
    rate = float(client.samplerate)

    @client.set_process_callback  # type: ignore[misc, untyped-decorator, unused-ignore]
    def process(frames: int) -> None:
        blocks.append((port.get_array().copy(), stamps.stamp(time.monotonic(), client.last_frame_time / rate)))

    _analyse(follower, blocks)
    client.activate()
    try:
        client.connect(source, port)
    except jack.JackError as error:
        client.close()
        raise UserError(f"cannot listen to audio input {source}: {error}") from None
    return LiveAudioClock(follower, client)


def _follow_device(sounddevice: Any, device: int) -> LiveAudioClock:
    rate = int(sounddevice.query_devices(device)["default_samplerate"])
    follower = BeatFollower(rate)
    blocks: deque[tuple[numpy.ndarray[Any, Any], float]] = deque(maxlen=4096)

    stamps = _CaptureStamps()

    def process(samples: numpy.ndarray[Any, Any], frames: int, at: Any, status: Any) -> None:
        now = time.monotonic()
        if not at.inputBufferAdcTime:  # a host that does not time its buffers
            blocks.append((samples[:, 0].copy(), now))
            return
        captured = stamps.stamp(now, at.currentTime) - (at.currentTime - at.inputBufferAdcTime)
        blocks.append((samples[:, 0].copy(), captured + frames / rate))

    _analyse(follower, blocks)
    try:
        stream = sounddevice.InputStream(device=device, channels=1, samplerate=rate, dtype="float32",
                                         callback=process)
        stream.start()
    except sounddevice.PortAudioError as error:
        raise UserError(f"cannot listen to sound device {device}: {error}") from None
    return LiveAudioClock(follower, stream)
