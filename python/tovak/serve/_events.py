"""One search streamed to the page as server-sent events.

The stream opens with ``start`` (the position and the limits), sends one
``depth`` event per completed depth as soon as the search process reports
it, and closes with ``end``; the page closes its event source there, so the
browser does not reconnect. Scores are turned to White's point of view here,
once, so that the lines, the graph and the engine's reply all agree.

The handle's results are read by a thread of its own (the handle's
iteration blocks) and handed to the event loop; when the page goes away,
the stream is cancelled and the search stopped.
"""

from __future__ import annotations

import asyncio
import json
import threading
from collections.abc import AsyncGenerator
from typing import TYPE_CHECKING, Any

from tovak.analysis import AnalysisError, AnalysisHandle, SearchLimits
from tovak.notation import from_text
from tovak.serve._searches import Owner, SearchPool
from tovak.terms import LOSS_SCORE, Color

if TYPE_CHECKING:
    from tovak_python import TimedAnalysis

__all__ = ["search_events", "white_view"]

def white_view(score: int, side_to_move: Color) -> int:
    """A score from the mover's point of view, turned to White's."""
    return score if side_to_move == "white" else -score


async def search_events(
    pool: SearchPool, owner: Owner, position_text: str, limits: SearchLimits
) -> AsyncGenerator[str, None]:
    """The events of one search of ``position_text`` for ``owner``, until it ends.

    The search starts before the first event, so that a pool that refuses it
    (:class:`~tovak.serve._searches.PoolClosed`) refuses the request.
    """
    position = from_text(position_text)
    side = position.side_to_move()
    start = _event("start", {"position": position_text, "limits": limits.describe()})
    winner = position.outcome()
    if winner is not None:
        yield start
        # No search: the side to move has lost, which is the engine's loss score.
        yield _event("end", {"position": position_text, "reason": "no legal move", "outcome": winner,
                             "score": white_view(LOSS_SCORE, side), "best_move": None, "depth": 0})
        return
    handle = pool.start(owner, position_text, limits)
    latest: TimedAnalysis | None = None
    failure: str | None = None
    try:
        yield start
        queue: asyncio.Queue[TimedAnalysis | AnalysisError | None] = asyncio.Queue()
        reader = threading.Thread(
            target=_forward,
            args=(handle, asyncio.get_running_loop(), queue),
            name="tovak-serve-events",
            daemon=True,
        )
        reader.start()
        while True:
            item = await queue.get()
            if item is None:
                break
            if isinstance(item, AnalysisError):
                failure = str(item)
                break
            latest = item
            yield _event("depth", _depth_data(position_text, side, latest))
    finally:
        pool.release(owner, handle)
    if failure is not None:
        reason = f"the search failed: {failure}"
    elif pool.was_cut_short(handle):
        reason = "stopped"
    else:
        reason = "complete"
    end: dict[str, Any] = {"position": position_text, "reason": reason, "outcome": None, "score": None,
                           "best_move": None, "depth": 0}
    if latest is not None:
        end.update(_depth_data(position_text, side, latest))
    yield _event("end", end)


def _depth_data(position_text: str, side: Color, result: TimedAnalysis) -> dict[str, Any]:
    score = result["score"]
    return {
        "position": position_text,
        "depth": result["completed_depth"],
        "score": None if score is None else white_view(score, side),
        "nodes": result["nodes"] + result["quiescence_nodes"],
        "best_move": result["best_move"],
        "line": result["principal_variation"],
    }


def _event(name: str, data: dict[str, Any]) -> str:
    return f"event: {name}\ndata: {json.dumps(data)}\n\n"


def _forward(
    handle: AnalysisHandle,
    loop: asyncio.AbstractEventLoop,
    queue: asyncio.Queue[TimedAnalysis | AnalysisError | None],
) -> None:
    """Hand each result of ``handle`` to the event loop, then None at the end (or the failure)."""
    last: AnalysisError | None = None
    try:
        for result in handle:
            loop.call_soon_threadsafe(queue.put_nowait, result)
    except AnalysisError as error:
        last = error
    except RuntimeError:
        return  # the event loop has closed: the server is gone
    try:
        loop.call_soon_threadsafe(queue.put_nowait, last)
    except RuntimeError:
        pass
