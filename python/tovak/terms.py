"""The game's shared vocabulary on the Python side.

Every module of the package that names a color, reports a finished game or
reads an engine score takes these from here, so that each is defined once.
"""

from __future__ import annotations

from typing import Literal

__all__ = ["COLORS", "LOSS_SCORE", "Color", "legal_move_count", "opponent", "winner_sentence"]

Color = Literal["white", "black"]
"""A side of the game, as the module names it."""

COLORS: tuple[Color, Color] = ("white", "black")
"""Both sides, White first."""

LOSS_SCORE = -100000
"""The engine's score, from the mover's point of view, of a side left without a legal move."""


def opponent(color: Color) -> Color:
    """The other side."""
    return "black" if color == "white" else "white"


def winner_sentence(winner: Color) -> str:
    """How a finished game is reported: the game ends when the loser cannot move."""
    loser = opponent(winner).capitalize()
    return f"{winner.capitalize()} wins ({loser} has no legal move)"


def legal_move_count(count: int) -> str:
    """A number of legal moves in words: "1 legal move", "62 legal moves"."""
    return f"{count} legal move" if count == 1 else f"{count} legal moves"
