"""What a match showed: results per player and color, the Elo difference, the SPRT's verdict.

Everything here is computed from the games alone, so the figures printed at
the end of a match and those in ``summary.json`` are the same by construction.
"""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Any

from tovak.match.elo import EloEstimate, Pentanomial, elo_estimate, pentanomial
from tovak.match.sprt import Hypothesis, llr, sprt_decision
from tovak.terms import COLORS, Color

from tovak.match.settings import MatchGame, MatchSettings, colors_by_player

__all__ = ["ColorResults", "MatchResult", "tally"]

@dataclass(frozen=True)
class ColorResults:
    """One player's games with one color."""

    wins: int = 0
    losses: int = 0
    unfinished: int = 0

    def as_json(self) -> dict[str, int]:
        """The three counts by name."""
        return {"wins": self.wins, "losses": self.losses, "unfinished": self.unfinished}


@dataclass(frozen=True)
class MatchResult:
    """The games of a match in game order, and the figures drawn from them."""

    settings: MatchSettings
    games: list[MatchGame]
    by_color: tuple[dict[Color, ColorResults], dict[Color, ColorResults]]
    pentanomial: Pentanomial
    estimate: EloEstimate
    llr: float | None
    sprt: Hypothesis | None

    @property
    def players(self) -> tuple[str, str]:
        """The two player texts, in the order given."""
        return (self.settings.players[0].text, self.settings.players[1].text)

    @property
    def wins(self) -> tuple[int, int]:
        """Games won by each player, in the order given."""
        first, second = self.by_color
        return (_total(first, "wins"), _total(second, "wins"))

    @property
    def unfinished(self) -> int:
        """Games that reached the ply limit."""
        return sum(game.winner is None for game in self.games)

    def points(self, player: int) -> float:
        """The score of player 0 or 1: a point a win, half a point an unfinished game."""
        return self.wins[player] + self.unfinished / 2

    def summary(self, seconds: float) -> dict[str, Any]:
        """The figures as JSON values (an infinite Elo bound is null)."""
        sprt = self.settings.sprt
        estimate = self.estimate
        return {
            "players": list(self.players),
            "games": len(self.games),
            "wins": list(self.wins),
            "unfinished": self.unfinished,
            "elo": _finite(estimate.elo),
            "elo_interval": [_finite(estimate.lower), _finite(estimate.upper)],
            "sprt": self.sprt,
            "score": estimate.score,
            "pairs": estimate.pairs,
            "pentanomial": list(self.pentanomial),
            "by_colour": [  # the key keeps the spelling that readers of summary.json know
                {color: results[color].as_json() for color in COLORS} for results in self.by_color
            ],
            "sprt_settings": None
            if sprt is None
            else {
                "elo0": sprt.elo0,
                "elo1": sprt.elo1,
                "alpha": sprt.alpha,
                "beta": sprt.beta,
                "llr": self.llr,
                "bounds": [sprt.lower_bound, sprt.upper_bound],
            },
            "failures": [
                {
                    "game": game.number,
                    "player": game.failure.player,
                    "color": game.failure.color,
                    "reason": game.failure.reason,
                    "detail": game.failure.detail,
                }
                for game in self.games
                if game.failure is not None
            ],
            "seconds": round(seconds, 3),
        }


def tally(settings: MatchSettings, games: list[MatchGame]) -> MatchResult:
    """The result of the games played so far (in any order)."""
    ordered = sorted(games, key=lambda game: game.number)
    counts: tuple[dict[Color, list[int]], dict[Color, list[int]]] = (
        {color: [0, 0, 0] for color in COLORS},
        {color: [0, 0, 0] for color in COLORS},
    )
    pair_points: dict[int, list[float]] = {}
    for game in ordered:
        for player, color in enumerate(colors_by_player(game.number)):
            slot = 2 if game.winner is None else 0 if game.winner == color else 1
            counts[player][color][slot] += 1
        pair_points.setdefault(game.pair, []).append(_first_player_points(game))
    complete = [sum(points) for points in pair_points.values() if len(points) == 2]
    counted = pentanomial(complete)
    ratio = None if settings.sprt is None else llr(counted, settings.sprt.elo0, settings.sprt.elo1)
    decision = None if settings.sprt is None or ratio is None else sprt_decision(ratio, settings.sprt)
    return MatchResult(
        settings=settings,
        games=ordered,
        by_color=(
            {color: ColorResults(*counts[0][color]) for color in COLORS},
            {color: ColorResults(*counts[1][color]) for color in COLORS},
        ),
        pentanomial=counted,
        estimate=elo_estimate(counted),
        llr=ratio,
        sprt=decision,
    )


def _first_player_points(game: MatchGame) -> float:
    if game.winner is None:
        return 0.5
    return 1.0 if game.winner == colors_by_player(game.number)[0] else 0.0


def _total(results: dict[Color, ColorResults], field: str) -> int:
    return sum(getattr(results[color], field) for color in COLORS)


def _finite(value: float | None) -> float | None:
    if value is None or math.isinf(value):
        return None
    return round(value, 2)

