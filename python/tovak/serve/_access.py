"""Who may talk to the board's server: the guard in front of every request.

- Bound to a loopback address, the server answers only requests whose
  ``Host`` names a loopback address or ``localhost`` (a page of another site
  that renamed itself to this machine's address is turned away).
- Bound to any other address, every request carries the token the server
  printed when it started, in the address (``?token=``) or in the
  ``X-Tovak-Token`` header; without it the answer is 403.
- A request that says it comes from a page of another origin is refused
  whatever the bind.
"""

from __future__ import annotations

import ipaddress
import secrets
from urllib.parse import parse_qs, urlsplit

from starlette.datastructures import Headers
from starlette.responses import JSONResponse
from starlette.types import ASGIApp, Receive, Scope, Send

__all__ = ["TOKEN_HEADER", "AccessGuard", "is_loopback"]

TOKEN_HEADER = "x-tovak-token"


def is_loopback(host: str) -> bool:
    """Whether ``host`` (a name or an address, IPv6 with or without brackets) is this machine's loopback."""
    name = host.strip("[]")
    if name.lower() == "localhost":
        return True
    try:
        return ipaddress.ip_address(name).is_loopback
    except ValueError:
        return False


class AccessGuard:
    """ASGI middleware: lets a request through to ``app`` only when it may reach it.

    ``token`` None means a loopback bind, where the ``Host`` check applies.
    """

    def __init__(self, app: ASGIApp, token: str | None):
        self._app = app
        self._token = token

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        if scope["type"] != "http":
            await self._app(scope, receive, send)
            return
        refusal = self._refusal(scope)
        if refusal is None:
            await self._app(scope, receive, send)
            return
        await JSONResponse({"error": refusal}, status_code=403)(scope, receive, send)

    def _refusal(self, scope: Scope) -> str | None:
        headers = Headers(scope=scope)
        host = headers.get("host", "")
        origin = headers.get("origin")
        if origin is not None and origin != "null" and urlsplit(origin).netloc.lower() != host.lower():
            return "requests from pages of other sites are refused"
        if self._token is None:
            if not is_loopback(_host_name(host)):
                return "this server answers only requests addressed to this machine's loopback address"
            return None
        given = headers.get(TOKEN_HEADER)
        if given is None:
            query = parse_qs(scope.get("query_string", b"").decode("latin-1"))
            given = (query.get("token") or [None])[0]
        if given is None or not secrets.compare_digest(given.encode(), self._token.encode()):
            return "this server needs the token it printed when it started (?token=... in the address)"
        return None


def _host_name(host: str) -> str:
    """The name of a ``Host`` header without its port: ``[::1]:8000`` is ``::1``."""
    if host.startswith("["):
        return host[1 : host.find("]")] if "]" in host else host
    return host.rsplit(":", 1)[0] if host.count(":") == 1 else host
