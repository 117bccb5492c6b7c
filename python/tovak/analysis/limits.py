"""The limits of an engine search: a depth, a time, or both.

Without a time limit the budget handed to the module is the largest it
accepts (about 584 million years): the deadline still exists and the search
still tests it at every node, but it is never reached, so such a search
deepens to the requested depth and is fully reproducible.
"""

from __future__ import annotations

from dataclasses import dataclass

__all__ = ["DEFAULT_DEPTH", "MAX_DEPTH", "NO_TIME_LIMIT_MS", "SearchLimits"]

MAX_DEPTH = 255
"""The deepest search the engine takes, in plies."""
DEFAULT_DEPTH = 4
"""The depth searched when neither a depth nor a time limit is given."""
# The largest budget the module takes: a deadline no search lives to see.
NO_TIME_LIMIT_MS = 2**64 - 1
"""The budget, in milliseconds, that stands for no time limit."""


@dataclass(frozen=True)
class SearchLimits:
    """Depth and time limits of one engine search.

    ``depth`` None means the default depth when there is no time limit and the
    deepest search the engine allows when there is one (the clock then decides).
    """

    depth: int | None = None
    time_ms: int | None = None

    def max_depth(self) -> int:
        """The deepest depth to search."""
        if self.depth is not None:
            return self.depth
        return DEFAULT_DEPTH if self.time_ms is None else MAX_DEPTH

    def budget_ms(self) -> int:
        """The budget to hand to ``analyze_timed`` (the largest there is without a time limit)."""
        return NO_TIME_LIMIT_MS if self.time_ms is None else self.time_ms

    def describe(self) -> str:
        """The limits in words, as the commands print them ("depth 4", "500 ms")."""
        if self.time_ms is None:
            return f"depth {self.max_depth()}"
        if self.depth is None:
            return f"{self.time_ms} ms"
        return f"depth {self.depth} within {self.time_ms} ms"
