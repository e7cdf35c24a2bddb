"""Frames as JSON over WebSocket, for browser sketches (`kinetrope play --ws PORT`).

Every client connected to ws://HOST:PORT gets each frame as one text message:

    {"seconds": 1.25, "pip": 160.0, "beat": 2.5, "bpm": 120.0,
     "patterns": {"helix": [x, y, z], ...}}

x, y and z are in [-1, 1] at the frame's exact position. The server runs
on its own thread (the websockets library's asyncio server); a frame goes to
every client without waiting for any of them, so a slow or stalled browser
never holds the player back: it misses frames instead.
"""

from __future__ import annotations

import argparse
import asyncio
import json
import threading
from typing import Any

from kinetrope_host.errors import UserError
from kinetrope_host.frames import Frame, FrameSink


def message(frame: Frame) -> str:
    """The JSON text sent for one frame."""
    return json.dumps({
        "seconds": frame.seconds,
        "pip": frame.pip,
        "beat": frame.pip / 64.0,
        "bpm": frame.bpm,
        "patterns": {name: list(values) for name, values in frame.values.items()},
    })


class WebSocketSink:
    """Serves frames to every connected WebSocket client.

    The server listens as soon as the sink is made (port 0 picks a free
    port, then `port` tells which); a port already taken or a host that
    cannot be bound is a `UserError`.
    """

    def __init__(self, host: str = "127.0.0.1", port: int = 0) -> None:
        try:
            from websockets.asyncio.server import (
                Server,
                ServerConnection,
                broadcast,
                serve,
            )
        except ImportError:
            raise UserError("--ws needs websockets: pip install 'kinetrope[ws]'") from None
        self._broadcast = broadcast
        self.clients: set[ServerConnection] = set()
        self._loop = asyncio.new_event_loop()
        self._stopped: asyncio.Future[None] = self._loop.create_future()

        async def handler(connection: ServerConnection) -> None:
            self.clients.add(connection)
            try:
                await connection.wait_closed()
            finally:
                self.clients.discard(connection)

        async def start() -> Server:
            return await serve(handler, host, port)

        try:
            self._server = self._loop.run_until_complete(start())
        except OSError as error:
            self._loop.close()
            raise UserError(f"cannot serve WebSocket on {host}:{port}: {error.strerror or error}") from None
        self.host = host
        self.port: int = self._server.sockets[0].getsockname()[1]
        self._thread = threading.Thread(target=self._loop.run_until_complete, args=(self._stopped,),
                                        name="kinetrope-ws", daemon=True)
        self._thread.start()

    def send(self, frame: Frame) -> None:
        """Queues the frame for every client connected now."""
        text = message(frame)
        self._loop.call_soon_threadsafe(lambda: self._broadcast(set(self.clients), text))

    def close(self) -> None:
        """Sends what is queued, closes every connection and stops the server."""
        async def shut() -> None:
            self._server.close()
            await self._server.wait_closed()
            self._stopped.set_result(None)

        if self._thread.is_alive():
            asyncio.run_coroutine_threadsafe(shut(), self._loop).result(timeout=10)
            self._thread.join(timeout=10)
        self._loop.close()


def add_options(command: argparse.ArgumentParser) -> None:
    """Adds --ws and --ws-host to `kinetrope play`."""
    from kinetrope_host.commands.options import whole_in

    command.add_argument("--ws", type=whole_in(1, 65535), metavar="PORT",
                         help="serve each frame as JSON to WebSocket clients on this TCP port")
    command.add_argument("--ws-host", default="127.0.0.1",
                         help="address the WebSocket server listens on (default 127.0.0.1)")


def sinks_for(arguments: argparse.Namespace) -> list[FrameSink]:
    """The WebSocket sink `play`'s arguments ask for, if any."""
    port: Any = getattr(arguments, "ws", None)
    return [] if port is None else [WebSocketSink(arguments.ws_host, port)]
