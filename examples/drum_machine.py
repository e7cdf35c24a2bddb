"""A small drum machine, to try grooves of your own without one: a two-bar
swung house pattern (kick, clap, closed and open hats, a ghost snare fill, a
bass line), written as a standard MIDI file or played live on a mido
socket port.

    python3 examples/drum_machine.py --out build/drums.mid
    kinetrope groove build/drums.mid

    python3 examples/drum_machine.py --serve 5005 --bpm 120 &
    kinetrope play bounce step --groove-in 127.0.0.1:5005 --bpm 120

The drums are General MIDI notes on channel 10 and the bass is a GM bass
(program 39) on channel 2, as a drum machine or a DAW exports them. --swing
delays every second sixteenth (0.5 straight, 0.66 a triplet shuffle).
"""

from __future__ import annotations

import argparse
import time
from typing import Any

import mido  # type: ignore[import-untyped, unused-ignore]
import mido.sockets  # type: ignore[import-untyped, unused-ignore]
from kinetrope_host.commands.play import port_number, positive_count, positive_number

TICKS_PER_BEAT = 480
DRUMS, BASS = 9, 1  # channels 10 and 2, counted from 0
# Two bars of sixteenths a line: '.' rest, 1-9 loudness.
PATTERN = {
    36: "9...9...9...9...|9...9...9...9...",  # kick
    39: "....8.......8...|....8.......8..7",  # clap
    42: "..52..52..52..52|..52..52..5.3.5.",  # closed hat, on the & and the swung a
    46: "......6.......6.|......6.........",  # open hat
    38: "................|.........3.3.4..",  # ghost snares into the turnaround
}
BASS_LINE = "..7...7...8.....|..7...7...8...6."  # the offbeat bass (E1)


def notes(swing: float) -> list[tuple[int, int, int, int]]:
    """(tick, channel, note, velocity) of the pattern's two bars, in time order."""
    sixteenth = TICKS_PER_BEAT // 4
    found = []
    for channel, note, line in [*((DRUMS, n, text) for n, text in PATTERN.items()), (BASS, 28, BASS_LINE)]:
        for step, cell in enumerate(line.replace("|", "")):
            if cell != ".":
                late = round((swing - 0.5) * 2 * sixteenth) if step % 2 else 0
                found.append((step * sixteenth + late, channel, note, round(int(cell) / 9 * 127)))
    return sorted(found)


def write_file(path: str, bpm: float, swing: float) -> None:
    song = mido.MidiFile(type=0, ticks_per_beat=TICKS_PER_BEAT)
    events: list[tuple[int, Any]] = [
        (0, mido.MetaMessage("time_signature", numerator=4, denominator=4)),
        (0, mido.MetaMessage("set_tempo", tempo=mido.bpm2tempo(bpm))),
        (0, mido.Message("program_change", channel=BASS, program=38)),
    ]
    for tick, channel, note, velocity in notes(swing):
        length = TICKS_PER_BEAT // 8 if channel == DRUMS else TICKS_PER_BEAT // 4
        events += [(tick, mido.Message("note_on", channel=channel, note=note, velocity=velocity)),
                   (tick + length, mido.Message("note_off", channel=channel, note=note))]
    track, now = mido.MidiTrack(), 0
    for tick, message in sorted(events, key=lambda item: item[0]):
        track.append(message.copy(time=tick - now))
        now = tick
    track.append(mido.MetaMessage("end_of_track", time=8 * TICKS_PER_BEAT - now))  # the loop's whole length
    song.tracks.append(track)
    song.save(path)


def play_live(port: Any, bpm: float, swing: float, bars: int) -> None:
    seconds_a_tick = 60.0 / bpm / TICKS_PER_BEAT
    start = time.monotonic()
    for loop in range((bars + 1) // 2):
        for tick, channel, note, velocity in notes(swing):
            due = start + (loop * 8 * TICKS_PER_BEAT + tick) * seconds_a_tick
            time.sleep(max(0.0, due - time.monotonic()))
            port.send(mido.Message("note_on", channel=channel, note=note, velocity=velocity))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--out", metavar="FILE", help="write the pattern to this MIDI file")
    parser.add_argument("--serve", metavar="PORT", type=port_number,
                        help="play it on a mido socket port (127.0.0.1:PORT) once a listener connects")
    parser.add_argument("--bpm", type=positive_number, default=122.0, help="tempo (default 122)")
    parser.add_argument("--swing", type=float, default=0.58, help="0.5 straight to 0.75 (default 0.58)")
    parser.add_argument("--bars", type=positive_count, default=16, help="bars to play live (default 16)")
    args = parser.parse_args()
    if not 0.5 <= args.swing <= 0.75:
        parser.error(f"--swing must be 0.5 to 0.75: {args.swing}")
    if args.out is None and args.serve is None:
        parser.error("give --out FILE, --serve PORT or both")
    if args.out is not None:
        write_file(args.out, args.bpm, args.swing)
        print(f"wrote {args.out}: two bars at {args.bpm:g} bpm, swing {args.swing:g}")
    if args.serve is not None:
        with mido.sockets.PortServer("127.0.0.1", args.serve) as server:
            print(f"serving drums on 127.0.0.1:{args.serve}; waiting for a listener", flush=True)
            listener = server.accept()
            try:
                play_live(listener, args.bpm, args.swing, args.bars)
            except OSError:
                print("the listener went away")
            listener.close()


if __name__ == "__main__":
    main()
