"""Beat trackers compared on a corpus with exact ground truth: drum scores
rendered here, small songs written as MIDI and rendered by fluidsynth,
with steady tempi from 70 to 172 BPM, tempo steps, rubato, 3/4, 6/8 and a
pickup, and Debian hydrogen's demo songs rendered by h2cli (their grid is
the truth; GM_kit_Jazzy is left out: its patterns put the ride's beat and
the hi-hat's 2 and 4 on the grid's eighths, so its tempo is not its beat). Beat F-measure (mir_eval, 70 ms window) for ours and for each tracker
the package index offers that runs here on the CPU with nothing fetched at
run time: librosa's beat_track (plain: the baseline), librosa's PLP,
essentia's multi-feature tracker, aubio's online tracker. Then ours alone:
downbeat accuracy (share of true downbeats within an eighth of a beat of a
bar line), the meter found, and analysis time against plain librosa's in
this run (both from the file on disk, ours with no cache).

Run: python3 benchmarks/bench_beat_tracking.py [--seconds 60] [--only NAME]
"""

from __future__ import annotations

import argparse
import statistics
import sys
import tempfile
import time
from collections.abc import Callable
from pathlib import Path
from typing import Any

import librosa
import mir_eval
import numpy
import soundfile

sys.path.insert(0, str(Path(__file__).parents[1] / "tests" / "support"))
from click_tracks import (
    RATE,
    changing_beats,
    render_groove,
    render_hydrogen,
    render_song,
    rubato_beats,
    steady_beats,
)
from kinetrope_host.clocks import audio


def step_beats(seconds: float, tempi: list[float]) -> list[float]:
    """Beats whose tempo steps through `tempi`, each for an equal share of the track."""
    beats, at = [], 0.5
    while at < seconds - 0.3:
        beats.append(at)
        at += 60.0 / tempi[min(int(at / seconds * len(tempi)), len(tempi) - 1)]
    return beats


def corpus(seconds: float) -> dict[str, dict[str, Any]]:
    """name: beats, how to render, beats a bar, meter, first downbeat (index into beats)."""
    return {
        "four-on-the-floor 124": dict(beats=steady_beats(124, seconds), groove="four", per_bar=4, pickup=0),
        "rock 70": dict(beats=steady_beats(70, seconds), groove="rock", per_bar=4, pickup=0),
        "breakbeat 172": dict(beats=steady_beats(172, seconds), groove="break", per_bar=4, pickup=0),
        "swing 112": dict(beats=steady_beats(112, seconds), groove="swing", per_bar=4, pickup=0),
        "breakbeat 96->128": dict(beats=changing_beats(96, 128, seconds, seconds / 2), groove="break", per_bar=4,
                                  pickup=0),
        "waltz drums 3/4 132": dict(beats=steady_beats(132, seconds), groove="waltz", per_bar=3, pickup=1),
        "6/8 drums 60": dict(beats=steady_beats(60, seconds), groove="six_eight", per_bar=2, pickup=0),
        "song 4/4 104, pickup": dict(beats=steady_beats(104, seconds), song=True, per_bar=4, pickup=1),
        "song tempo steps 90/120/100": dict(beats=step_beats(seconds, [90, 120, 100]), song=True, per_bar=4,
                                            pickup=0),
        "song rubato ~96": dict(beats=rubato_beats(96, seconds), song=True, per_bar=4, pickup=0),
        "song 3/4 138": dict(beats=steady_beats(138, seconds), song=True, per_bar=3, pickup=0),
        "song 6/8 56": dict(beats=steady_beats(56, seconds), song=True, per_bar=2, compound=True, pickup=0),
        **{f"hydrogen {name}": {"hydrogen": song, "per_bar": 4, "pickup": 0} for name, song in HYDROGEN.items()},
    }


HYDROGEN = {"TR808 125": "TR808kit-demo", "demo1 115": "GM_kit_demo1", "demo2 110": "GM_kit_demo2",
            "demo3 115 swung": "GM_kit_demo3", "Diddley 120 swung": "GM_kit_Diddley",
            "Georgy Porgy 98": "tutorial_georgyporgy"}


def meter_of(track: dict[str, Any]) -> str:
    return "6/8" if track.get("compound") or track.get("groove") == "six_eight" else f"{track['per_bar']}/4"


def render(track: dict[str, Any], seconds: float, path: Path) -> None:
    """Writes the track to `path`; a hydrogen song's beats are known once it is rendered."""
    if track.get("hydrogen"):
        track["beats"] = render_hydrogen(track["hydrogen"], path, seconds)
    elif track.get("song"):
        render_song(track["beats"], seconds, path, track["per_bar"], track.get("compound", False), track["pickup"])
    else:
        soundfile.write(path, render_groove(track["beats"], seconds, track["groove"], track["pickup"]), RATE)


def plain(path: Path) -> list[float]:
    samples, _ = librosa.load(path, sr=audio.RATE)
    _, beats = librosa.beat.beat_track(y=samples, sr=audio.RATE, units="time")
    return [float(b) for b in beats]


def plp(path: Path) -> list[float]:
    samples, _ = librosa.load(path, sr=audio.RATE)
    pulse = librosa.beat.plp(y=samples, sr=audio.RATE)
    return [float(t) for t in librosa.times_like(pulse, sr=audio.RATE)[librosa.util.localmax(pulse)]]


def essentia_multifeature(path: Path) -> list[float]:
    import essentia.standard as es  # type: ignore[import-not-found]

    samples = es.MonoLoader(filename=str(path), sampleRate=44100)()
    beats, _ = es.BeatTrackerMultiFeature()(samples)
    return [float(b) for b in beats]


def aubio_online(path: Path) -> list[float]:
    import aubio  # type: ignore[import-not-found]

    hop = 256
    source = aubio.source(str(path), 0, hop)
    tempo = aubio.tempo("default", 1024, hop, source.samplerate)
    beats = []
    while True:
        samples, read = source()
        if tempo(samples)[0]:
            beats.append(float(tempo.get_last_s()))
        if read < hop:
            break
    return beats


def ours(path: Path) -> list[float]:
    return list(audio.beat_map(path, cache=False).beats)


TRACKERS: dict[str, Callable[[Path], list[float]]] = {
    "ours": ours, "librosa": plain, "plp": plp, "essentia": essentia_multifeature, "aubio": aubio_online,
}


def available() -> dict[str, Callable[[Path], list[float]]]:
    usable = {}
    for name, tracker in TRACKERS.items():
        try:
            tracker(Path(__file__).parent / "missing.wav") if False else None
            if name == "essentia":
                import essentia  # type: ignore[import-not-found]  # noqa: F401
            if name == "aubio":
                import aubio  # type: ignore[import-not-found]  # noqa: F401
        except ImportError:
            print(f"({name}: not installed, left out)")
            continue
        usable[name] = tracker
    return usable


def beat_f(found: list[float], true: list[float]) -> float:
    return float(mir_eval.beat.f_measure(numpy.array(true), numpy.array(found)))


def downbeat_accuracy(found: audio.BeatMap, true: list[float], track: dict[str, Any]) -> float:
    """Share of true downbeats within an eighth of a beat of a bar line of the map."""
    bar_pips = 64 * found.beats_per_bar
    period = numpy.median(numpy.diff(true))
    downbeats = true[track["pickup"]::track["per_bar"]]
    hits = 0
    for at in downbeats:
        pip = found.tempo.pip_at(at)
        nearest = round(pip / bar_pips) * bar_pips
        if abs(found.tempo.seconds_at(nearest) - at) <= period / 8:
            hits += 1
    return hits / len(downbeats)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--only", default=None, help="tracks whose name holds this text")
    args = parser.parse_args()
    seconds = args.seconds
    tracks = {name: track for name, track in corpus(seconds).items() if args.only is None or args.only in name}
    trackers = available()
    with tempfile.TemporaryDirectory() as folder:
        paths = {}
        for name, track in tracks.items():
            paths[name] = Path(folder) / f"{len(paths)}.wav"
            render(track, seconds, paths[name])
        first = next(iter(paths.values()))
        for tracker in trackers.values():
            tracker(first)  # librosa compiles its kernels on first use; not timed
        print(f"{seconds:g} s tracks; beat F-measure (mir_eval, 70 ms)")
        print(f"{'track':30}" + "".join(f"{name:>9}" for name in trackers)
              + f"{'downbeat':>9} {'meter':>10} {'ours s':>7} {'plain s':>7}")
        scores: dict[str, list[float]] = {name: [] for name in trackers}
        downbeats, times, plain_times, meters = [], [], [], 0
        for name, track in tracks.items():
            row = f"{name:30}"
            for tracker_name, tracker in trackers.items():
                score = beat_f(tracker(paths[name]), track["beats"])
                scores[tracker_name].append(score)
                row += f"{score:9.3f}"
            started = time.perf_counter()
            found = audio.beat_map(paths[name], cache=False)
            times.append(time.perf_counter() - started)
            started = time.perf_counter()
            plain(paths[name])
            plain_times.append(time.perf_counter() - started)
            downbeats.append(downbeat_accuracy(found, track["beats"], track))
            meters += found.meter == meter_of(track)
            row += f"{downbeats[-1]:9.2f} {found.meter:>4} ({meter_of(track):>3}) {times[-1]:7.2f} {plain_times[-1]:7.2f}"
            print(row, flush=True)
        print(f"{'mean':30}" + "".join(f"{statistics.mean(s):9.3f}" for s in scores.values())
              + f"{statistics.mean(downbeats):9.2f} {meters:>4}/{len(tracks):<5} {sum(times):7.2f} {sum(plain_times):7.2f}")
        print(f"{'lowest':30}" + "".join(f"{min(s):9.3f}" for s in scores.values()) + f"{min(downbeats):9.2f}")
        print(f"analysis time, ours / plain librosa: {sum(times) / sum(plain_times):.2f}x")


if __name__ == "__main__":
    main()
