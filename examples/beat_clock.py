"""Plays a few bars of movement patterns against a beat clock.

A host turns its clock into pips (64 a beat), asks kinetrope for the offset
and scales it to its own units. Here the "units" are columns of a terminal.
"""

import argparse

import kinetrope
from kinetrope_host import catalogue
from kinetrope_host.commands.play import positive_count, positive_number
from kinetrope_host.errors import UserError

WIDTH = 61  # columns for the range [-1, 1]


def pip_at(seconds: float, bpm: float) -> int:
    beats = seconds * bpm / 60.0
    return int(beats * kinetrope.PIPS_PER_BEAT)


def draw(value: float) -> str:
    column = round((value + 1.0) / 2.0 * (WIDTH - 1))
    row = [" "] * WIDTH
    row[WIDTH // 2] = "|"
    row[column] = "*"
    return "".join(row)


def play(pattern: str, bpm: float, bars: int, frames_per_beat: int) -> None:
    seconds_per_frame = 60.0 / bpm / frames_per_beat
    print(f"{pattern} at {bpm:g} bpm, {bars} bars of 4 beats")
    print(f"{'time':>6} {'pip':>5} {'x':>7} {'y':>7} {'z':>7}  x on the stage")
    for frame in range(bars * 4 * frames_per_beat):
        seconds = frame * seconds_per_frame
        pip = pip_at(seconds, bpm)
        offset = kinetrope.sample(pattern, pip)
        print(f"{seconds:6.3f} {pip:5d} {offset.x:7.3f} {offset.y:7.3f} {offset.z:7.3f}  {draw(offset.x)}")
    print()


def list_catalogue() -> None:
    for row in kinetrope.catalogue():
        print(f"{row['name']:28s} {row['period_pips']:5d} pips  {row['dimensions']} axes  {row['description']}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("patterns", nargs="*", default=["step_touch", "lfo_ratchet"])
    parser.add_argument("--list", action="store_true", help="list every built-in pattern and stop")
    parser.add_argument("--bpm", type=positive_number, default=120.0)
    parser.add_argument("--bars", type=positive_count, default=1)
    parser.add_argument("--frames-per-beat", type=positive_count, default=8)
    args = parser.parse_args()
    if args.list:
        list_catalogue()
        return
    try:
        patterns = [catalogue.resolve(pattern) for pattern in args.patterns]
    except UserError as error:
        parser.error(str(error))
    for pattern in patterns:
        play(pattern, args.bpm, args.bars, args.frames_per_beat)


if __name__ == "__main__":
    main()
