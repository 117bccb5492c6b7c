"""A Python function served over the line protocol, so that it can play matches.

``python -m tovak.protocol.function_server MODULE:FUNCTION`` imports ``FUNCTION``
from ``MODULE`` (the current directory is searched first, as with
``python -m``) and answers the protocol: each ``go`` calls the function
with a copy of the current position and answers with the move text it
returns. The match runner starts one such process per game for a
``python:MODULE:FUNCTION`` player, so a function that raises, hangs or
returns a bad move costs that game only, and never the runner.

An exception in the function ends this process (its traceback on standard
error), which the runner reports as a crash.
"""

from __future__ import annotations

import importlib
import os
import sys
from collections.abc import Callable
from typing import Any

from tovak_python import Position

from tovak.protocol.lines import (
    Go,
    RequestError,
    SetPosition,
    answer_requests,
    bestmove_event,
    error_event,
    event_writer,
    position_of,
)

__all__ = ["load_function", "serve_function"]

MoveFunction = Callable[[Position], Any]


def load_function(target: str) -> MoveFunction:
    """The function named by ``MODULE:FUNCTION``; ``ValueError`` saying what is missing."""
    module_name, sep, function_name = target.rpartition(":")
    if not sep or not module_name or not function_name:
        raise ValueError(f"expected MODULE:FUNCTION, got {target!r}")
    if os.getcwd() not in sys.path and "" not in sys.path:
        sys.path.insert(0, os.getcwd())
    try:
        module = importlib.import_module(module_name)
    except Exception as error:  # noqa: BLE001 - any failure of the user's module is reported alike
        raise ValueError(f"cannot import module {module_name!r}: {type(error).__name__}: {error}") from None
    function = getattr(module, function_name, None)
    if not callable(function):
        raise ValueError(f"module {module_name!r} has no function {function_name!r}")
    result: MoveFunction = function
    return result


def serve_function(function: MoveFunction, name: str) -> int:
    """Answer protocol requests on standard input with ``function``'s moves.

    The protocol keeps standard output to itself: everything else written
    there (the function's ``print`` calls, output of libraries it uses) is
    sent to standard error instead.
    """
    events = os.fdopen(os.dup(sys.stdout.fileno()), "w", encoding="utf-8")
    sys.stdout.flush()
    os.dup2(sys.stderr.fileno(), sys.stdout.fileno())
    send = event_writer(events)
    answer_requests(sys.stdin.buffer, _FunctionSession(function, send), name, send, errors="replace")
    return 0


class _FunctionSession:
    """The current position, and the function's move when a ``go`` asks for one."""

    def __init__(self, function: MoveFunction, send: Callable[[dict[str, Any]], None]) -> None:
        self._function = function
        self._send = send
        self._position = Position()

    def set_position(self, request: SetPosition) -> None:
        try:
            self._position = position_of(request)
        except RequestError as error:
            self._send(error_event(str(error)))

    def go(self, request: Go) -> None:
        self._send(_answer(self._function, self._position))

    def stop(self) -> None:
        pass  # the function runs to completion; there is nothing to stop


def _answer(function: MoveFunction, position: Position) -> dict[str, Any]:
    if position.outcome() is not None:
        return bestmove_event(None, None, None)
    move = function(position.copy())
    # Whatever came back is passed on as given: judging it is the runner's job.
    return bestmove_event(move if isinstance(move, str) else repr(move), None, None)


def main(argv: list[str]) -> int:
    """``python -m tovak.protocol.function_server MODULE:FUNCTION``: serve that function; 2 if it cannot be loaded."""
    if len(argv) != 1:
        sys.stderr.write("usage: python -m tovak.protocol.function_server MODULE:FUNCTION\n")
        return 2
    try:
        function = load_function(argv[0])
    except ValueError as error:
        sys.stderr.write(f"{error}\n")
        return 2
    return serve_function(function, argv[0])


if __name__ == "__main__":
    raise SystemExit(main(sys.argv[1:]))
