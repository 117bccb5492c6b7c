"""The engine's search served over the line protocol: what ``tovak engine`` runs.

One session reads requests line by line and answers on its output. A ``go``
starts a search in a separate process (:func:`tovak.analysis.start`) and
returns to reading at once, so that a ``stop`` is seen while the search runs.
A reporter thread writes one ``info`` event per completed depth as the search
delivers it, then the ``bestmove``. Exactly one ``bestmove`` follows every
``go``: whoever finishes the search first (the reporter at its natural end, or
the reader on ``stop``, ``quit`` or a failure) writes it, under a lock, and
the other writes nothing more.
"""

from __future__ import annotations

import threading
import time
from collections.abc import Callable
from typing import IO, TYPE_CHECKING, Any

from tovak_python import Position

from tovak.analysis import AnalysisHandle, start
from tovak.protocol.lines import (
    Go,
    RequestError,
    SetPosition,
    answer_requests,
    bestmove_event,
    error_event,
    event_writer,
    info_event,
    position_of,
)
from tovak.terms import LOSS_SCORE

if TYPE_CHECKING:
    from tovak_python import TimedAnalysis

__all__ = ["SERVER_NAME", "serve"]

SERVER_NAME = "tovak"
"""The name the engine gives in its ``hello`` event."""

Emit = Callable[[dict[str, Any]], None]


def serve(requests: IO[bytes], events: IO[str]) -> int:
    """Answer the requests read from ``requests`` until ``quit`` or the end of input; return 0.

    At the end of input a running search is allowed to finish (its events are
    written), so that ``printf '{"cmd": "go"}' | tovak engine`` answers;
    ``quit`` stops it at once.
    """
    emit = event_writer(events)
    session = _Session(emit)
    try:
        if not answer_requests(requests, session, SERVER_NAME, emit):
            session.finish_search()
        return 0
    finally:
        session.stop()


class _Session:
    """The state between requests: the current position and the running search, if any."""

    def __init__(self, emit: Emit) -> None:
        self._emit = emit
        self._position = Position()
        self._search: _RunningSearch | None = None

    def set_position(self, request: SetPosition) -> None:
        try:
            # A running search keeps its own copy; the new position is for the next go.
            self._position = position_of(request)
        except RequestError as error:
            self._emit(error_event(f"{error}; the position is unchanged"))

    def go(self, request: Go) -> None:
        if self._search is not None and not self._search.finished:
            self._emit(error_event("a search is already running; send stop first"))
            return
        try:
            self._search = _RunningSearch(self._position.copy(), request, self._emit)
        except (OSError, RuntimeError) as error:
            # No search thread or process (out of processes or memory): the client still
            # gets its one bestmove, the quick answer.
            self._emit(error_event(f"cannot start the search: {error}"))
            self._emit(_quick_answer(self._position))

    def stop(self) -> None:
        if self._search is not None:
            self._search.stop()

    def finish_search(self) -> None:
        if self._search is not None:
            self._search.wait()


class _RunningSearch:
    """One ``go``: the search process, its reporter thread, and the single ``bestmove``."""

    def __init__(self, position: Position, request: Go, emit: Emit) -> None:
        self._position = position
        self._emit = emit
        self._lock = threading.Lock()
        self._finished = False
        self._reported_depth = 0
        self._started = time.monotonic()
        self._handle: AnalysisHandle = start(position, depth=request.depth, time_ms=request.time_ms)
        self._reporter = threading.Thread(target=self._report, name="tovak-search-reporter", daemon=True)
        self._reporter.start()

    @property
    def finished(self) -> bool:
        with self._lock:
            return self._finished

    def stop(self) -> None:
        """End the search now; its ``bestmove`` is written before this returns."""
        self._handle.stop()
        self._finish()

    def wait(self) -> None:
        """Let the search run to its own end."""
        self._reporter.join()

    def _report(self) -> None:
        try:
            for result in self._handle:
                with self._lock:
                    if self._finished:
                        return
                    self._write_info(result)
        except Exception as error:  # noqa: BLE001 - the client must still get its bestmove
            self._emit(error_event(f"search failed: {type(error).__name__}: {error}"))
            self._handle.stop()
        self._finish()

    def _finish(self) -> None:
        with self._lock:
            if self._finished:
                return
            self._finished = True
            result = self._handle.latest
            if result is not None and result["completed_depth"] > self._reported_depth:
                # A depth that completed as the search was stopped: report it first.
                self._write_info(result)
            self._emit(self._bestmove(result))

    def _write_info(self, result: TimedAnalysis) -> None:
        self._reported_depth = result["completed_depth"]
        elapsed_ms = round((time.monotonic() - self._started) * 1000)
        self._emit(
            info_event(
                depth=result["completed_depth"],
                score=result["score"],
                pv=list(result["principal_variation"]),
                nodes=result["nodes"],
                quiescence_nodes=result["quiescence_nodes"],
                time_ms=elapsed_ms,
            )
        )

    def _bestmove(self, result: TimedAnalysis | None) -> dict[str, Any]:
        if result is not None and result["best_move"] is not None:
            return bestmove_event(result["best_move"], result["score"], result["completed_depth"])
        return _quick_answer(self._position)


def _quick_answer(position: Position) -> dict[str, Any]:
    """The ``bestmove`` when no depth was completed: the engine's first move in
    its order with the static score, at depth 0 (no move when there is none)."""
    fallback = position.analyze_timed(1, 0)
    if fallback["best_move"] is None:
        return bestmove_event(None, LOSS_SCORE, 0)
    return bestmove_event(fallback["best_move"], fallback["score"], 0)
