"""The process side of a live analysis (see :func:`tovak.analysis.start`).

The parent runs a fresh interpreter with a two-line program that takes the
parent's import path and calls :func:`serve` with one JSON request; the worker deepens one ply at a time and writes each
completed depth to its stdout as soon as it has it. A search holds the
interpreter for as long as it runs, so nothing inside the worker can
interrupt it: the parent stops a worker by killing its process, and the
worker's only duties are to report exactly, to stay out of the way of Ctrl-C
and to end with its parent.

The request: ``{"position": text, "depth": int, "time_ms": int or null,
"parent": pid, "path": [sys.path of the parent]}``.

The replies, one JSON object per line, in this order:

- ``{"result": dict}`` for each completed depth 1, 2, ...: the dict of
  ``Position.analyze_timed(depth, budget)`` for that depth, keys in order;
- then ``{"finished": true}`` when the worker ran out of depths or time, or
  ``{"error": message}`` when something failed.

The end of the output without either means that the process was killed.
"""

from __future__ import annotations

import ctypes
import json
import os
import signal
import sys
import time
from collections.abc import Iterator
from typing import TYPE_CHECKING, Any, TextIO

from tovak.analysis import NO_TIME_LIMIT_MS
from tovak.notation import from_text

if TYPE_CHECKING:
    from tovak_python import TimedAnalysis

__all__ = ["deepen", "serve"]

_PR_SET_PDEATHSIG = 1


def serve(request: dict[str, Any]) -> None:
    """Run one request (see the module's docstring) and report on stdout."""
    # Ctrl-C belongs to the parent, which stops this process itself (the
    # worker also runs in a process group of its own, out of the terminal's reach).
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    _end_with_parent(int(request["parent"]))
    out = sys.stdout
    try:
        for result in deepen(str(request["position"]), int(request["depth"]), request["time_ms"]):
            _reply(out, {"result": result})
        _reply(out, {"finished": True})
    except OSError:
        return  # the parent has gone: nobody is left to tell
    except Exception as error:  # noqa: BLE001 - reported to the parent, which raises it
        try:
            _reply(out, {"error": f"{type(error).__name__}: {error}"})
        except OSError:
            pass


def deepen(position_text: str, max_depth: int, time_ms: int | None) -> Iterator[TimedAnalysis]:
    """Yield the analysis of each depth 1..max_depth of the position as it completes.

    Each depth is a search of its own, ``analyze_timed(depth, ...)`` from an
    empty table, so that the dict for a depth is exactly the one that call
    gives, node counts included. With ``time_ms`` the clock starts here and
    each depth gets what is left of the budget; a depth that the clock cut
    short is not yielded (it is not the exact result of its depth), and the
    deepening stops there.
    """
    started = time.monotonic()
    position = from_text(position_text)
    for depth in range(1, max_depth + 1):
        budget = NO_TIME_LIMIT_MS if time_ms is None else _remaining_ms(started, time_ms)
        if budget <= 0:
            return
        result = position.analyze_timed(depth, budget)
        if result["timed_out"] or result["completed_depth"] != depth:
            return
        yield result


def _reply(out: TextIO, message: dict[str, Any]) -> None:
    out.write(json.dumps(message) + "\n")
    out.flush()


def _remaining_ms(started: float, time_ms: int) -> int:
    return time_ms - int((time.monotonic() - started) * 1000)


def _end_with_parent(parent: int) -> None:
    # A search cannot notice that its parent died, so ask the kernel to kill
    # this process when the parent thread that started it ends (that thread
    # lives exactly as long as this process runs, unless its program ends).
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)
    except (OSError, AttributeError):
        pass  # not Linux: the parent's stop() and exit still end the worker
    if os.getppid() != parent:
        os._exit(0)  # the parent ended before the request took effect
