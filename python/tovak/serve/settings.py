"""What the board's server opens with and how it searches."""

from __future__ import annotations

from dataclasses import dataclass, field

from tovak.analysis import SearchLimits
from tovak.game import Game
from tovak.serve._searches import MAX_SEARCHES

__all__ = ["DEFAULT_ANALYSIS_LIMITS", "BoardSettings"]

# The live analysis deepens for up to this long on each position: deep
# enough to be worth reading, short enough that a forgotten page does not
# keep a core busy.
DEFAULT_ANALYSIS_LIMITS = SearchLimits(time_ms=20_000)
"""How long the live analysis searches one position unless told otherwise."""


@dataclass
class BoardSettings:
    """What the board's server opens with and how it searches.

    - ``game`` and ``ply``: the game the page shows first, at that ply;
    - ``scores``: White's known score of each of the game's positions (from a
      recorded run), drawn on the graph before any analysis;
    - ``title``: where the game came from, shown on the page;
    - ``analysis_limits``: the limits of each live analysis;
    - ``token``: the token every request must carry, None on a loopback bind;
    - ``max_searches``: the most search processes that run at once.
    """

    game: Game = field(default_factory=Game)
    ply: int = 0
    scores: list[int | None] = field(default_factory=list)
    title: str = "Analysis board"
    analysis_limits: SearchLimits = DEFAULT_ANALYSIS_LIMITS
    token: str | None = None
    max_searches: int = MAX_SEARCHES
