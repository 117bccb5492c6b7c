"""How the package asks the module for an analysis.

Every search goes through ``analyze_timed``, which reports the node counts and
the completed depth as well as the best line. Without a time limit the budget
is the largest the module accepts (about 584 million years): the deadline
still exists and the search still tests it at every node, but it is never
reached, so such a search deepens to the requested depth and is fully
reproducible.
"""

from __future__ import annotations

import time
from dataclasses import dataclass

from tovak_python import Position

__all__ = ["DEFAULT_DEPTH", "MAX_DEPTH", "NO_TIME_LIMIT_MS", "SearchLimits", "SearchReport", "search"]

MAX_DEPTH = 255
DEFAULT_DEPTH = 4
# The largest budget the module takes: a deadline no search lives to see.
NO_TIME_LIMIT_MS = 2**64 - 1


@dataclass(frozen=True)
class SearchLimits:
    """Depth and time limits of one engine search.

    ``depth`` None means the default depth when there is no time limit and the
    deepest search the engine allows when there is one (the clock then decides).
    """

    depth: int | None = None
    time_ms: int | None = None

    def max_depth(self) -> int:
        if self.depth is not None:
            return self.depth
        return DEFAULT_DEPTH if self.time_ms is None else MAX_DEPTH

    def budget_ms(self) -> int:
        return NO_TIME_LIMIT_MS if self.time_ms is None else self.time_ms

    def describe(self) -> str:
        if self.time_ms is None:
            return f"depth {self.max_depth()}"
        if self.depth is None:
            return f"{self.time_ms} ms"
        return f"depth {self.depth} within {self.time_ms} ms"


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


def search(position: Position, limits: SearchLimits) -> SearchReport:
    """Search ``position`` within ``limits``; the position is not changed."""
    started = time.perf_counter()
    result = position.analyze_timed(limits.max_depth(), limits.budget_ms())
    seconds = time.perf_counter() - started
    return SearchReport(
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
