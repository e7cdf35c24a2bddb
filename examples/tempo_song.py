"""Writes a standard MIDI file with a tempo map, to export motion along.

    python3 examples/tempo_song.py build/song.mid
    kinetrope export helix lfo_breathe --midi-file build/song.mid --fps 30 --seconds 240 --out build/song.csv

The song (made with mido) speeds up in steps, one tempo event per change on
a conductor track, with a kick on every beat on a second track, so a DAW
that opens it shows where the beats fall: by default 100 BPM, 120 from beat
64, 140 from beat 128, for 512 beats in all.
"""

from __future__ import annotations

import argparse
from pathlib import Path

import mido  # type: ignore[import-untyped, unused-ignore]

TICKS_PER_BEAT = 480
KICK = 36  # General MIDI bass drum, on the percussion channel


def parse_change(text: str) -> tuple[int, float]:
    """BEAT:BPM, as given to --change."""
    beat, _, bpm = text.partition(":")
    try:
        value = (int(beat), float(bpm))
    except ValueError:
        raise argparse.ArgumentTypeError(f"must be BEAT:BPM: {text}") from None
    if value[0] < 0 or not 1.0 <= value[1] <= 1000.0:
        raise argparse.ArgumentTypeError(f"beat must be 0 or more and bpm 1 to 1000: {text}")
    return value


def song(changes: list[tuple[int, float]], beats: int) -> mido.MidiFile:
    """A type 1 file: tempo events on track 0, a kick a beat on track 1."""
    conductor = mido.MidiTrack()
    at = 0
    for beat, bpm in sorted(changes):
        conductor.append(mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm), time=(beat - at) * TICKS_PER_BEAT))
        at = beat
    drums = mido.MidiTrack()
    for _ in range(beats):
        drums.append(mido.Message("note_on", channel=9, note=KICK, velocity=100, time=0))
        drums.append(mido.Message("note_off", channel=9, note=KICK, velocity=0, time=TICKS_PER_BEAT))
    return mido.MidiFile(type=1, ticks_per_beat=TICKS_PER_BEAT, tracks=[conductor, drums])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out", type=Path, help="the .mid file to write")
    parser.add_argument("--change", type=parse_change, action="append", metavar="BEAT:BPM",
                        help="a tempo change (repeat it; default 0:100, 64:120, 128:140)")
    parser.add_argument("--beats", type=int, default=512, help="the song's length in beats (default 512)")
    args = parser.parse_args()
    changes = args.change or [(0, 100.0), (64, 120.0), (128, 140.0)]
    args.out.parent.mkdir(parents=True, exist_ok=True)
    song(changes, args.beats).save(args.out)
    print(f"{args.out}: {len(changes)} tempos over {args.beats} beats")


if __name__ == "__main__":
    main()
