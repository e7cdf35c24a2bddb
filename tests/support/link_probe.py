"""A second Link peer for the Link test, run in the test's network namespace:
joins at 120 BPM playing (start/stop sync on), receives the player's OSC,
moves the session to 140 BPM halfway, stops it at seven tenths and starts it
again at nine tenths, and prints
what it measured as JSON: the phase error of each frame against its own
timeline (pips), how long after the change the first frame at the new tempo
was due (seconds), and the beats of the frames after the stop and after the
start again; then, as a controller, asks the player for 150 BPM over OSC and
reports the session's tempo a moment later."""

import argparse
import json
import socket
import time

import link
from pythonosc.osc_bundle import OscBundle
from pythonosc.osc_message_builder import OscMessageBuilder

parser = argparse.ArgumentParser()
parser.add_argument("--osc-port", type=int, required=True)
parser.add_argument("--seconds", type=float, default=8.0)
parser.add_argument("--quantum", type=float, default=4.0)
parser.add_argument("--control-port", type=int, required=True)
args = parser.parse_args()

peer = link.Link(120.0)
peer.enabled = True
peer.startStopSyncEnabled = True
state = peer.captureAppSessionState()
state.setIsPlaying(True, peer.clock().micros())
peer.commitAppSessionState(state)
receiver = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
receiver.bind(("127.0.0.1", args.osc_port))
receiver.settimeout(0.05)
print("ready", flush=True)

wall_offset = time.time() - time.monotonic()


def link_micros(monotonic):
    return peer.clock().micros() + (monotonic - time.monotonic()) * 1e6


started = time.monotonic()
changed_at = stopped_at = restarted_at = None
phase_errors, first_fast, peers_seen, after_stop, after_start = [], None, 0, [], []


def set_playing(playing):
    state = peer.captureAppSessionState()
    state.setIsPlaying(playing, peer.clock().micros())
    peer.commitAppSessionState(state)
    return time.monotonic()


while time.monotonic() < started + args.seconds:
    if stopped_at is None and changed_at is not None and time.monotonic() > started + args.seconds * 0.7:
        stopped_at = set_playing(False)
    if restarted_at is None and stopped_at is not None and time.monotonic() > started + args.seconds * 0.9:
        restarted_at = set_playing(True)
    if changed_at is None and time.monotonic() > started + args.seconds / 2 and phase_errors:
        state = peer.captureAppSessionState()
        state.setTempo(140.0, peer.clock().micros())
        peer.commitAppSessionState(state)
        changed_at = time.monotonic()
    peers_seen = max(peers_seen, peer.numPeers())
    try:
        datagram = receiver.recv(65536)
    except TimeoutError:
        continue
    frame = OscBundle(datagram)
    values = {frame.content(k).address: frame.content(k).params[0] for k in range(frame.num_contents)}
    due = frame.timestamp - wall_offset
    if peer.numPeers() == 0:
        continue  # not met yet: two timelines, nothing to compare
    state = peer.captureAppSessionState()
    ours = state.beatAtTime(int(link_micros(due)), args.quantum)
    difference = (values["/kinetrope/beat"] - ours) % args.quantum
    difference = min(difference, args.quantum - difference) if difference > args.quantum / 2 else difference
    if restarted_at is not None and due > restarted_at + 0.1:
        after_start.append(values["/kinetrope/beat"])
    elif stopped_at is not None and restarted_at is None and due > stopped_at + 0.1:
        after_stop.append(values["/kinetrope/beat"])
    elif stopped_at is None and (changed_at is None or due > changed_at + 0.2):
        phase_errors.append(difference * 64)
    if changed_at is not None and first_fast is None and abs(values["/kinetrope/bpm"] - 140.0) < 0.01:
        first_fast = due - changed_at
request = OscMessageBuilder("/kinetrope/bpm")
request.add_arg(150.0, "f")
receiver.sendto(request.build().dgram, ("127.0.0.1", args.control_port))
time.sleep(0.3)
session_tempo = peer.captureAppSessionState().tempo()
print(json.dumps({"phase_errors": phase_errors, "tempo_latency": first_fast, "peers": peers_seen,
                  "after_stop": after_stop, "after_start": after_start, "session_tempo": session_tempo}),
      flush=True)
