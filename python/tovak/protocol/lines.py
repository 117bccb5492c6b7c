"""The line protocol of players: one JSON object per line, in both directions.

A front end, bot or match runner writes requests (``{"cmd": ...}``) to a
player's standard input and reads events (``{"event": ...}``) from its
standard output. This module is the protocol's single definition: it parses
and checks requests, builds events, turns a ``position`` request into a
position, and runs the loop that reads a player's requests, for every program
of the package that speaks it (the server of the search, the adapter that
serves a Python function, and the match runner's client).

Requests::

    {"cmd": "hello"}
    {"cmd": "position", "position": TEXT, "moves": [MOVE, ...]}   both fields optional
    {"cmd": "go", "depth": N, "time_ms": M}                       both fields optional
    {"cmd": "stop"}
    {"cmd": "quit"}

Events::

    {"event": "hello", "name": ..., "version": ..., "protocol": 1}
    {"event": "info", "depth": D, "score": S, "pv": [...], "nodes": N, "quiescence_nodes": Q, "time_ms": T}
    {"event": "bestmove", "move": MOVE or null, "score": S, "depth": D}
    {"event": "error", "message": TEXT}
"""

from __future__ import annotations

import json
import threading
from collections.abc import Callable, Iterable
from dataclasses import dataclass
from typing import IO, Any, Final, Literal, Protocol

from tovak_python import Position

from tovak._version import __version__
from tovak.analysis import MAX_DEPTH, NO_TIME_LIMIT_MS
from tovak.notation import from_text

__all__ = [
    "PROTOCOL_VERSION",
    "Go",
    "Hello",
    "Quit",
    "Request",
    "RequestError",
    "RequestHandler",
    "SetPosition",
    "Stop",
    "answer_requests",
    "bestmove_event",
    "encode",
    "error_event",
    "event_writer",
    "hello_event",
    "info_event",
    "parse_request",
    "position_of",
]

PROTOCOL_VERSION: Final = 1
"""The version of the line protocol, sent in the ``hello`` event."""


class RequestError(ValueError):
    """A request line that cannot be carried out; its message goes back in an ``error`` event."""


@dataclass(frozen=True)
class Hello:
    """``{"cmd": "hello"}``: answered with the ``hello`` event naming the program and the protocol."""


@dataclass(frozen=True)
class SetPosition:
    """A position text (None: the initial position) and the moves played from it."""

    position: str | None = None
    moves: tuple[str, ...] = ()


@dataclass(frozen=True)
class Go:
    """Search limits as requested; neither limit means the default depth."""

    depth: int | None = None
    time_ms: int | None = None


@dataclass(frozen=True)
class Stop:
    """``{"cmd": "stop"}``: the running search ends at once, and its ``bestmove`` follows."""


@dataclass(frozen=True)
class Quit:
    """``{"cmd": "quit"}``: the program ends."""


Request = Hello | SetPosition | Go | Stop | Quit
"""Any request, as :func:`parse_request` reads it from a line."""

_FIELDS: Final[dict[str, frozenset[str]]] = {
    "hello": frozenset(),
    "position": frozenset({"position", "moves"}),
    "go": frozenset({"depth", "time_ms"}),
    "stop": frozenset(),
    "quit": frozenset(),
}


def parse_request(line: str) -> Request:
    """The request on one input line; ``RequestError`` naming the fault otherwise."""
    try:
        message = json.loads(line)
    except ValueError as error:  # JSONDecodeError, or a line that is not valid UTF-8 text
        raise RequestError(f"not a JSON object: {error}") from None
    if not isinstance(message, dict):
        raise RequestError(f"a request must be a JSON object, got {_json_kind(message)}")
    command = message.get("cmd")
    if not isinstance(command, str) or command not in _FIELDS:
        known = ", ".join(_FIELDS)
        raise RequestError(f"unknown or missing \"cmd\": {command!r} (expected one of {known})")
    unknown = sorted(set(message) - {"cmd"} - _FIELDS[command])
    if unknown:
        raise RequestError(f"unknown field {unknown[0]!r} in {command!r} request")
    if command == "position":
        return SetPosition(
            position=_optional_text(message, "position"), moves=_move_list(message)
        )
    if command == "go":
        return Go(
            depth=_optional_int(message, "depth", 1, MAX_DEPTH),
            time_ms=_optional_int(message, "time_ms", 0, NO_TIME_LIMIT_MS),
        )
    if command == "hello":
        return Hello()
    return Stop() if command == "stop" else Quit()


class RequestHandler(Protocol):
    """What a player does with the requests that :func:`answer_requests` passes on."""

    def set_position(self, request: SetPosition) -> None:
        """Take the position that ``request`` describes for the next ``go``, or
        answer with an ``error`` event and keep the current one."""
        ...

    def go(self, request: Go) -> None:
        """Answer with exactly one ``bestmove``, now or when the search ends."""
        ...

    def stop(self) -> None:
        """End the running search, if any, so that its ``bestmove`` comes now."""
        ...


def answer_requests(
    lines: Iterable[bytes],
    handler: RequestHandler,
    name: str,
    reply: Callable[[dict[str, Any]], None],
    *,
    errors: Literal["strict", "replace"] = "strict",
) -> bool:
    """Carry out the requests read from ``lines`` until ``quit`` or the end of
    input; True when ``quit`` ended them.

    ``hello`` is answered here, as the player ``name``; the other requests go
    to ``handler``. Blank lines are allowed between requests, and a line that
    is no request is answered with an ``error`` event and otherwise ignored.
    A line that is not UTF-8 is such a line, or with ``errors="replace"`` is
    read with its bad bytes replaced, as ``bytes.decode`` does.
    """
    for raw in lines:
        try:
            line = raw.decode("utf-8", errors=errors)
        except UnicodeDecodeError:
            reply(error_event("a request must be UTF-8 text"))
            continue
        if not line.strip():
            continue
        try:
            request = parse_request(line)
        except RequestError as error:
            reply(error_event(str(error)))
            continue
        if isinstance(request, Quit):
            return True
        if isinstance(request, Hello):
            reply(hello_event(name, __version__))
        elif isinstance(request, SetPosition):
            handler.set_position(request)
        elif isinstance(request, Go):
            handler.go(request)
        elif isinstance(request, Stop):
            handler.stop()
    return False


def position_of(request: SetPosition) -> Position:
    """The position a ``position`` request describes; ``RequestError`` if its text or a move is bad."""
    try:
        position = Position() if request.position is None else from_text(request.position)
    except ValueError as error:
        raise RequestError(f"bad position {request.position!r}: {error}") from None
    for number, move in enumerate(request.moves, start=1):
        try:
            position.apply_move(move)
        except ValueError as error:
            raise RequestError(f"move {number} ({move!r}) cannot be played: {error}") from None
    return position


def encode(event: dict[str, Any]) -> str:
    """One event as a line of JSON (ASCII only, so any reader can decode it)."""
    return json.dumps(event) + "\n"


def event_writer(stream: IO[str]) -> Callable[[dict[str, Any]], None]:
    """A function that writes one event to ``stream`` and flushes it, so that
    the reader sees it at once; events written from several threads never mix."""
    lock = threading.Lock()

    def write(event: dict[str, Any]) -> None:
        with lock:
            stream.write(encode(event))
            stream.flush()

    return write


def hello_event(name: str, version: str) -> dict[str, Any]:
    """The answer to ``hello``."""
    return {"event": "hello", "name": name, "version": version, "protocol": PROTOCOL_VERSION}


def info_event(
    *, depth: int, score: int | None, pv: list[str], nodes: int, quiescence_nodes: int, time_ms: int
) -> dict[str, Any]:
    """The report of one completed depth of a search."""
    return {
        "event": "info",
        "depth": depth,
        "score": score,
        "pv": pv,
        "nodes": nodes,
        "quiescence_nodes": quiescence_nodes,
        "time_ms": time_ms,
    }


def bestmove_event(move: str | None, score: int | None, depth: int | None) -> dict[str, Any]:
    """The final answer to a ``go``."""
    return {"event": "bestmove", "move": move, "score": score, "depth": depth}


def error_event(message: str) -> dict[str, Any]:
    """The answer to a request that cannot be carried out."""
    return {"event": "error", "message": message}


def _json_kind(value: object) -> str:
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "a boolean"
    if isinstance(value, (int, float)):
        return "a number"
    if isinstance(value, str):
        return "a string"
    return "an array" if isinstance(value, list) else "an object"


def _optional_text(message: dict[str, Any], name: str) -> str | None:
    value = message.get(name)
    if value is not None and not isinstance(value, str):
        raise RequestError(f"{name!r} must be a string, got {_json_kind(value)}")
    return value


def _move_list(message: dict[str, Any]) -> tuple[str, ...]:
    moves = message.get("moves")
    if moves is None:
        return ()
    if not isinstance(moves, list) or not all(isinstance(move, str) for move in moves):
        raise RequestError("'moves' must be an array of move strings such as \"a1-b3\"")
    return tuple(moves)


def _optional_int(message: dict[str, Any], name: str, low: int, high: int) -> int | None:
    value = message.get(name)
    if value is None:
        return None
    # JSON true/false arrive as bool, a subclass of int: not a number here.
    if isinstance(value, bool) or not isinstance(value, int):
        raise RequestError(f"{name!r} must be an integer, got {_json_kind(value)}")
    if not low <= value <= high:
        raise RequestError(f"{name!r} must be from {low} to {high}, got {value}")
    return value
