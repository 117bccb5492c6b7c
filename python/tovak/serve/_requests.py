"""What the board's server accepts from a page, checked before anything runs.

Every request body is one JSON object of the fields its route names and at most
:data:`MAX_BODY_BYTES` bytes; every fault becomes a :class:`RequestError`
with the 4xx status that names it, which the application answers as a JSON
error. Nothing here ever treats a value as a file name: the page sends
texts (positions, moves, the contents of a game file), never paths.
"""

from __future__ import annotations

import json
import re
from collections.abc import Mapping
from typing import Any

from starlette.requests import Request

__all__ = ["MAX_BODY_BYTES", "MAX_MOVES", "Fields", "RequestError", "check_integer", "check_page_id", "read_json"]

# A game file of the longest game the page takes is a few tens of kilobytes.
MAX_BODY_BYTES = 256 * 1024
# The longest line of moves a request may name (games end long before).
MAX_MOVES = 4096
# A page names itself with the random hex string it made when it loaded.
_PAGE_ID = re.compile(r"[0-9a-f]{16,64}", re.ASCII)


class RequestError(Exception):
    """A request the server refuses: its 4xx status and the reason in words."""

    def __init__(self, status: int, message: str):
        super().__init__(message)
        self.status = status
        self.message = message


async def read_json(request: Request, *names: str) -> Fields:
    """The fields of the JSON object in ``request``'s body, read up to the size cap.

    The object may hold the fields ``names`` and no other: a field the
    server does not know (a ``path``, say) is refused, never ignored.
    """
    if request.headers.get("content-type", "").split(";")[0].strip().lower() != "application/json":
        # Forms and plain texts are what another site's page can send here
        # without asking first; a JSON body needs the browser's consent.
        raise RequestError(415, "the body must be JSON (Content-Type: application/json)")
    declared = request.headers.get("content-length")
    if declared is not None and (not declared.isdigit() or int(declared) > MAX_BODY_BYTES):
        raise RequestError(413, f"the body is larger than {MAX_BODY_BYTES} bytes")
    body = bytearray()
    async for chunk in request.stream():
        body += chunk
        if len(body) > MAX_BODY_BYTES:
            raise RequestError(413, f"the body is larger than {MAX_BODY_BYTES} bytes")
    try:
        data = json.loads(body.decode("utf-8"))
    except (UnicodeDecodeError, json.JSONDecodeError) as error:
        raise RequestError(400, f"the body is not JSON: {error}") from None
    if not isinstance(data, dict):
        raise RequestError(400, "the body must be a JSON object")
    unknown = sorted(set(data) - set(names))
    if unknown:
        raise RequestError(400, f"unknown field {unknown[0]!r}")
    return Fields(data)


class Fields:
    """The fields of one request, taken one by one with their checks."""

    def __init__(self, data: Mapping[str, Any]):
        self._data = dict(data)

    def text(self, name: str, *, max_length: int = MAX_BODY_BYTES) -> str:
        """A required string field."""
        value = self._take(name)
        if not isinstance(value, str):
            raise RequestError(400, f"{name!r} must be a string")
        if len(value) > max_length:
            raise RequestError(413, f"{name!r} is longer than {max_length} characters")
        return value

    def moves(self, name: str) -> list[str]:
        """A required list of move texts."""
        value = self._take(name)
        if not isinstance(value, list) or not all(isinstance(move, str) and len(move) <= 16 for move in value):
            raise RequestError(400, f"{name!r} must be a list of move texts")
        if len(value) > MAX_MOVES:
            raise RequestError(413, f"{name!r} holds more than {MAX_MOVES} moves")
        return value

    def integer(self, name: str, low: int, high: int) -> int:
        """A required integer field within low..high."""
        return check_integer(name, self._take(name), low, high)

    def scores(self, name: str) -> list[int | None]:
        """A required list of scores (integers or null), one per position."""
        value = self._take(name)
        if not isinstance(value, list) or len(value) > MAX_MOVES + 1:
            raise RequestError(400, f"{name!r} must be a list of at most {MAX_MOVES + 1} scores")
        for score in value:
            if score is not None and (not isinstance(score, int) or isinstance(score, bool) or abs(score) > 10**9):
                raise RequestError(400, f"{name!r} must hold integers or nulls")
        return value

    def _take(self, name: str) -> Any:
        if name not in self._data:
            raise RequestError(400, f"missing field {name!r}")
        return self._data[name]


def check_integer(name: str, value: object, low: int, high: int) -> int:
    """``value`` as an integer within low..high, or the 4xx error that says why not."""
    if isinstance(value, str) and value.isascii() and value.isdigit() and len(value) <= 20:
        value = int(value)
    if not isinstance(value, int) or isinstance(value, bool):
        raise RequestError(400, f"{name!r} must be an integer")
    if not low <= value <= high:
        raise RequestError(422, f"{name!r} must be from {low} to {high}, got {value}")
    return value


def check_page_id(value: str | None) -> str:
    """The id a page made for itself when it loaded (lower-case hex)."""
    if value is None or not _PAGE_ID.fullmatch(value):
        raise RequestError(400, "'page' must be the page's id (16 to 64 lower-case hex digits)")
    return value
