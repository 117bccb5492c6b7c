"""One search in the calling thread, and the report of what it found.

Every search goes through ``analyze_timed``, which reports the node counts
and the completed depth as well as the best line.
"""

from __future__ import annotations

import time
from dataclasses import dataclass
from typing import TYPE_CHECKING

from tovak_python import Position

from tovak.analysis.limits import SearchLimits

if TYPE_CHECKING:
    from tovak_python import TimedAnalysis

__all__ = ["SearchReport", "search"]


@dataclass(frozen=True)
class SearchReport:
    """What one search found, with its cost."""

    best_move: str | None
    score: int | None
    principal_variation: list[str]
    completed_depth: int
    nodes: int
    quiescence_nodes: int
    timed_out: bool
    root_legal_moves: int
    seconds: float

    @classmethod
    def from_result(cls, result: TimedAnalysis, seconds: float) -> SearchReport:
        """The report of an ``analyze_timed`` dict that took ``seconds``."""
        return cls(
            best_move=result["best_move"],
            score=result["score"],
            principal_variation=list(result["principal_variation"]),
            completed_depth=result["completed_depth"],
            nodes=result["nodes"],
            quiescence_nodes=result["quiescence_nodes"],
            timed_out=result["timed_out"],
            root_legal_moves=result["root_legal_moves"],
            seconds=seconds,
        )


def search(position: Position, limits: SearchLimits) -> SearchReport:
    """Search ``position`` within ``limits``; the position is not changed."""
    started = time.perf_counter()
    result = position.analyze_timed(limits.max_depth(), limits.budget_ms())
    return SearchReport.from_result(result, time.perf_counter() - started)
