"""The lights options of `kinetrope play`: a rig (fixture profiles or a rig
file), the fan, and the sinks that drive it over Art-Net and sACN."""

from __future__ import annotations

import argparse
import math
import signal
import sys
import threading
from collections.abc import Sequence
from types import FrameType
from typing import Any

from kinetrope_host import catalogue
from kinetrope_host.errors import UserError
from kinetrope_host.frames import FrameSink
from kinetrope_host.outputs.dmx import DEFAULT_RATE, MAX_RATE, DmxSink, Transport
from kinetrope_host.rig.fan import ORDERS, Fan
from kinetrope_host.rig.patch import Head, load_rig, rig_from_fixtures

DEFAULT_SOURCE = "kinetrope"


def _universes(text: str) -> list[int]:
    try:
        values = [int(item) for item in text.split(",")]
    except ValueError:
        raise argparse.ArgumentTypeError(f"must be universe numbers separated by commas: {text}") from None
    if not all(1 <= value <= 63999 for value in values):
        raise argparse.ArgumentTypeError(f"sACN universes run 1 to 63999: {text}")
    return values


def _pair(text: str) -> tuple[float, float]:
    try:
        pan, tilt = (float(part) for part in text.split(","))
    except ValueError:
        raise argparse.ArgumentTypeError(f"must be PAN,TILT in degrees: {text}") from None
    if not (math.isfinite(pan) and math.isfinite(tilt)):
        raise argparse.ArgumentTypeError(f"must be finite degrees: {text}")
    return pan, tilt


def _number(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"must be a number: {text}") from None
    if not math.isfinite(value):
        raise argparse.ArgumentTypeError(f"must be a finite number: {text}")
    return value


def add_options(command: argparse.ArgumentParser) -> None:
    """Add the moving-head options (--artnet, --sacn, --fixture, --rig and the rest) to `command`."""
    group = command.add_argument_group("moving heads (Art-Net, sACN)")
    group.add_argument("--artnet", metavar="HOST[:PORT]",
                       help="drive moving heads over Art-Net at this node: x to pan, y to tilt")
    group.add_argument("--sacn", type=_universes, metavar="UNIVERSE[,...]",
                       help="drive moving heads over sACN (E1.31) on these universes (multicast, or --sacn-to)")
    group.add_argument("--sacn-to", metavar="HOST", help="send sACN to this host (unicast) instead of multicast")
    group.add_argument("--priority", type=int, default=100, help="sACN priority, 0 to 200 (default 100)")
    group.add_argument("--source-name", default=DEFAULT_SOURCE,
                       help=f"the sender's name in sACN packets and Art-Net poll replies (default {DEFAULT_SOURCE})")
    group.add_argument("--universe", type=int, default=0,
                       help="Art-Net universe (port-address) of --fixture heads (default 0)")
    group.add_argument("--artnet-fps", "--dmx-fps", dest="dmx_fps", type=float, default=DEFAULT_RATE,
                       help=f"DMX packets a second, whatever --fps is (default {DEFAULT_RATE:g}, at most {MAX_RATE:g})")
    group.add_argument("--fixture", action="append", default=None, metavar="DESCRIPTION",
                       help="a fixture: an Open Fixture Library file (with --mode) or the short form "
                            "start=1,pan=1,pan_fine=2,tilt=3,tilt_fine=4,dimmer=5,pan_range=540,tilt_range=270; "
                            "one for all heads, patched one after another, or one per head")
    group.add_argument("--mode", help="the fixture profile's mode (its name or short name)")
    group.add_argument("--heads", type=int, default=None,
                       help="how many heads of the one --fixture to patch (default: one per pattern)")
    group.add_argument("--rig", metavar="FILE", help="a rig file (TOML or JSON) patching heads: see the README")
    group.add_argument("--spread", type=_number, default=0.0,
                       help="phase spread across the heads, in beats (default 0: all in step)")
    group.add_argument("--order", choices=ORDERS, default="in-order", help="how the spread runs across the heads")
    group.add_argument("--size", type=_number, default=1.0, help="share of each head's swing, 0 to 1 (default 1)")
    group.add_argument("--speed", type=_number, default=1.0,
                       help="pattern speed factor: 0.5 half speed, 2 double (default 1)")
    group.add_argument("--centre", type=_pair, default=(0.0, 0.0), metavar="PAN,TILT",
                       help="centre position, degrees from each head's home (default 0,0)")
    group.add_argument("--hold", action="store_true",
                       help="keep the last frame when play ends or the clock stops (default: dimmer 0, shutter closed)")


def sinks_for(arguments: argparse.Namespace) -> list[FrameSink]:
    """The light sinks the options ask for (none without --artnet/--sacn)."""
    wanted = arguments.artnet is not None or arguments.sacn is not None
    if not wanted:
        for option, given in (("--fixture", arguments.fixture), ("--rig", arguments.rig),
                              ("--sacn-to", arguments.sacn_to)):
            if given:
                raise UserError(f"{option} describes lights: give --artnet HOST or --sacn UNIVERSE too")
        return []
    names = [catalogue.resolve(name) for name in arguments.names]
    fan = Fan(arguments.spread, arguments.order, arguments.size, arguments.speed, arguments.centre)
    sinks: list[FrameSink] = []
    try:
        if arguments.artnet is not None:
            from kinetrope_host.outputs.artnet import ArtNetTransport

            heads = _heads(arguments, names, arguments.universe)
            transport: Transport = ArtNetTransport(arguments.artnet, sorted({h.universe for h in heads}),
                                                   arguments.source_name)
            sinks.append(_sink(transport, heads, names, fan, arguments))
        if arguments.sacn is not None:
            from kinetrope_host.outputs.sacn import SacnTransport

            heads = _heads(arguments, names, arguments.sacn[0])
            outside = [h for h in heads if h.universe not in arguments.sacn]
            if outside:
                raise UserError(f"head {outside[0].name} is on universe {outside[0].universe}, "
                                f"not among --sacn {','.join(map(str, arguments.sacn))}")
            transport = SacnTransport(arguments.sacn, arguments.sacn_to, arguments.priority, arguments.source_name)
            sinks.append(_sink(transport, heads, names, fan, arguments))
    except BaseException:
        for sink in sinks:
            sink.close()
        raise
    for head in {id(h): h for sink in sinks if isinstance(sink, DmxSink) for h in sink.heads}.values():
        if not head.kind.can_darken:
            print(f"kinetrope: note: head {head.name} ({head.kind.name}) has no dimmer or closing shutter: "
                  "its safe state leaves it lit", file=sys.stderr)
    close_on_terminate()
    return sinks


def _heads(arguments: argparse.Namespace, names: Sequence[str], universe: int) -> list[Head]:
    if arguments.rig is not None:
        if arguments.fixture:
            raise UserError("give --rig or --fixture, not both")
        return load_rig(arguments.rig)
    if not arguments.fixture:
        raise UserError("lights need a --fixture description or a --rig file")
    if arguments.heads is not None and arguments.heads < 1:
        raise UserError(f"--heads must be 1 or more: {arguments.heads}")
    return rig_from_fixtures(arguments.fixture, arguments.mode, arguments.heads, universe, len(names))


def _sink(transport: Transport, heads: Sequence[Head], names: Sequence[str], fan: Fan,
          arguments: argparse.Namespace) -> DmxSink:
    try:
        return DmxSink(transport, heads, names, fan, rate=arguments.dmx_fps, hold=arguments.hold)
    except BaseException:
        transport.close()
        raise


def _terminate(signum: int, _frame: FrameType | None) -> Any:
    # Unwinds like Ctrl-C does, through the player's closing of its sinks,
    # which puts the rig in its safe state; a second SIGTERM must not cut
    # that short.
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
    raise SystemExit(128 + signum)


def close_on_terminate() -> None:
    """Makes SIGTERM end play by unwinding, so the lights go safe."""
    if threading.current_thread() is threading.main_thread():
        signal.signal(signal.SIGTERM, _terminate)
