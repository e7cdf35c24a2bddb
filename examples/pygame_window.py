"""Shapes in a pygame window, moved by patterns at a tempo.

The window's own loop asks a `kinetrope_host` clock which pip it is at each
redraw, samples one pattern per shape there and scales the offsets to
pixels: x across, y up, z as the shape's size. That is all a game or a
visualiser needs from kinetrope.

    python3 examples/pygame_window.py helix bounce figure_eight --bpm 124

Needs pygame (pip install pygame-ce). --frames stops after that many frames
and --save writes the last one as a PNG (under build/ by default), which is
how the tests run it without a screen (SDL_VIDEODRIVER=dummy).
"""

from __future__ import annotations

import argparse
import time
from pathlib import Path

import pygame
from kinetrope_host import catalogue
from kinetrope_host.clocks import TempoClock, TempoMap
from kinetrope_host.commands.play import positive_count, positive_number
from kinetrope_host.errors import UserError
from kinetrope_host.sampling import sample_at

SIZE = (800, 500)
BACKGROUND = (18, 20, 28)
COLOURS = [(255, 196, 64), (96, 200, 255), (255, 110, 150), (150, 230, 120)]


def shape_at(offset: tuple[float, float, float], lane: int, lanes: int) -> tuple[int, int, int]:
    """Centre and radius in pixels for one shape: each pattern has its own
    lane across the window, x moves the shape within it, y lifts it, z grows it."""
    x, y, z = offset
    lane_width = SIZE[0] / lanes
    centre_x = lane_width * (lane + 0.5) + x * lane_width * 0.4
    centre_y = SIZE[1] / 2 - y * SIZE[1] * 0.4
    radius = 18 + 10 * z
    return round(centre_x), round(centre_y), round(radius)


def draw(screen: pygame.Surface, font: pygame.font.Font, names: list[str], pip: float, bpm: float) -> None:
    """One frame: the shapes at `pip`, and the beat and tempo in a corner."""
    screen.fill(BACKGROUND)
    for lane, name in enumerate(names):
        centre_x, centre_y, radius = shape_at(sample_at(name, pip), lane, len(names))
        pygame.draw.circle(screen, COLOURS[lane % len(COLOURS)], (centre_x, centre_y), radius)
        label = font.render(name, True, (200, 200, 210))
        screen.blit(label, (SIZE[0] / len(names) * lane + 8, SIZE[1] - 28))
    status = font.render(f"beat {pip / 64 + 1:7.2f}   {bpm:g} bpm", True, (230, 230, 235))
    screen.blit(status, (8, 8))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("patterns", nargs="*", default=["helix", "bounce", "figure_eight"])
    parser.add_argument("--bpm", type=positive_number, default=120.0, help="tempo (default 120)")
    parser.add_argument("--fps", type=positive_count, default=60, help="redraws a second (default 60)")
    parser.add_argument("--frames", type=positive_count, help="stop after this many frames")
    parser.add_argument("--save", type=Path, nargs="?", const=Path("build/pygame_window.png"), metavar="PNG",
                        help="save the last frame as a PNG (default build/pygame_window.png)")
    args = parser.parse_args()
    try:
        names = [catalogue.resolve(name) for name in args.patterns]
    except UserError as error:
        parser.exit(1, f"pygame_window: {error}\n")

    pygame.init()
    screen = pygame.display.set_mode(SIZE)
    pygame.display.set_caption("kinetrope: " + ", ".join(names))
    font = pygame.font.Font(None, 24)
    ticker = pygame.time.Clock()
    clock = TempoClock(TempoMap.constant(args.bpm), started=time.monotonic())
    frame = 0
    pip = 0.0
    running = True
    while running and (args.frames is None or frame < args.frames):
        for event in pygame.event.get():
            running = running and event.type != pygame.QUIT
        now = time.monotonic()
        pip = clock.pip(now)
        draw(screen, font, names, pip, clock.bpm(now))
        pygame.display.flip()
        ticker.tick(args.fps)
        frame += 1
    if args.save is not None:
        args.save.parent.mkdir(parents=True, exist_ok=True)
        pygame.image.save(screen, str(args.save))
        print(f"{args.save}: last frame, at pip {pip!r}")
    pygame.quit()


if __name__ == "__main__":
    main()
