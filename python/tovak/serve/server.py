"""Running the board's server until Ctrl-C: uvicorn on a socket bound here.

The socket is bound before the server starts, so that the address printed
is the one in use (``port`` 0 takes a free port) and a busy port fails at
once. When a signal asks the server to stop, every search is stopped first
(their event streams then end, so nothing keeps a connection open), then
uvicorn closes down and raises the signal again: Ctrl-C ends the caller
with ``KeyboardInterrupt``.
"""

from __future__ import annotations

import secrets
import socket
import threading
from collections.abc import Callable
from types import FrameType

import uvicorn

from tovak.serve._access import is_loopback
from tovak.serve._searches import SearchPool
from tovak.serve.app import create_app
from tovak.serve.settings import BoardSettings

__all__ = ["bind", "needs_token", "new_token", "page_address", "run_board_server"]



def new_token() -> str:
    """A token for a server bound to an address other machines can reach."""
    return secrets.token_urlsafe(18)


def bind(host: str, port: int) -> socket.socket:
    """A listening socket on ``host`` and ``port`` (0: a free port); ``OSError`` if that fails."""
    family = socket.AF_INET6 if ":" in host.strip("[]") else socket.AF_INET
    return socket.create_server((host.strip("[]"), port), family=family, backlog=64, reuse_port=False)


def page_address(sock: socket.socket, token: str | None) -> str:
    """The address of the page served on ``sock``, with the token if there is one."""
    host, port = sock.getsockname()[:2]
    shown = f"[{host}]" if ":" in host else host
    query = f"?token={token}" if token is not None else ""
    return f"http://{shown}:{port}/{query}"


def needs_token(host: str) -> bool:
    """Whether a server bound to ``host`` must ask for a token: any non-loopback address."""
    return not is_loopback(host)


class _BoardServer(uvicorn.Server):
    """uvicorn's server, which stops the board's searches as soon as it is asked to stop."""

    def __init__(self, config: uvicorn.Config, pool: SearchPool):
        super().__init__(config)
        self._pool = pool

    def handle_exit(self, sig: int, frame: FrameType | None) -> None:
        super().handle_exit(sig, frame)
        # A signal handler runs in the main thread between two of its steps,
        # perhaps while it holds the pool's lock: stop the searches from
        # another thread, which waits for that lock instead of deadlocking.
        threading.Thread(target=self._pool.close, name="tovak-serve-stop", daemon=True).start()


def run_board_server(settings: BoardSettings, sock: socket.socket, on_ready: Callable[[], None] = lambda: None) -> None:
    """Serve the board on ``sock`` until a signal stops the server; stop every search then.

    ``on_ready`` is called once the server is about to accept connections.
    """
    pool = SearchPool(settings.max_searches)
    app = create_app(settings, pool)
    config = uvicorn.Config(
        app,
        log_level="warning",
        access_log=False,
        lifespan="off",
        timeout_graceful_shutdown=3,
        timeout_keep_alive=5,
    )
    server = _BoardServer(config, pool)
    on_ready()
    try:
        server.run(sockets=[sock])
    finally:
        pool.close()
        sock.close()
