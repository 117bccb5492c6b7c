"""A Python function served over the line protocol, so that it can play matches.

``python -m tovak.function_player MODULE:FUNCTION`` imports ``FUNCTION``
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
from typing import IO, Any

from tovak_python import Position

from tovak import __version__
from tovak.protocol import (
    Go,
    Hello,
    Quit,
    RequestError,
    SetPosition,
    Stop,
    bestmove_event,
    encode,
    error_event,
    hello_event,
    parse_request,
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
    position = Position()
    for raw in sys.stdin.buffer:
        line = raw.decode("utf-8", errors="replace")
        if not line.strip():
            continue
        try:
            request = parse_request(line)
            if isinstance(request, Quit):
                return 0
            if isinstance(request, Hello):
                _send(events, hello_event(name, __version__))
            elif isinstance(request, SetPosition):
                position = position_of(request)
            elif isinstance(request, Go):
                _send(events, _answer(function, position))
            elif isinstance(request, Stop):
                pass  # the function runs to completion; there is nothing to stop
        except RequestError as error:
            _send(events, error_event(str(error)))
    return 0


def _answer(function: MoveFunction, position: Position) -> dict[str, Any]:
    if position.outcome() is not None:
        return bestmove_event(None, None, None)
    move = function(position.copy())
    # Whatever came back is passed on as given: judging it is the runner's job.
    return bestmove_event(move if isinstance(move, str) else repr(move), None, None)


def _send(events: IO[str], event: dict[str, Any]) -> None:
    events.write(encode(event))
    events.flush()


def main(argv: list[str]) -> int:
    """``python -m tovak.function_player MODULE:FUNCTION``: serve that function; 2 if it cannot be loaded."""
    if len(argv) != 1:
        sys.stderr.write("usage: python -m tovak.function_player MODULE:FUNCTION\n")
        return 2
    try:
        function = load_function(argv[0])
    except ValueError as error:
        sys.stderr.write(f"{error}\n")
        return 2
    return serve_function(function, argv[0])


if __name__ == "__main__":
    raise SystemExit(main(sys.argv[1:]))
