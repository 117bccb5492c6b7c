"""The game as the page shows it: one JSON view of a line of moves at one ply.

The page keeps only texts (the start position, the moves, the ply shown) and
asks for a view whenever they change; everything that needs the rules (the
legal moves, the picture, the captures, the result) comes from the module
here, so the page never has rules of its own to get wrong.
"""

from __future__ import annotations

from typing import Any

from tovak.game import Game
from tovak.notation import SQUARES, from_text, to_text
from tovak.serve._requests import RequestError
from tovak.terms import legal_move_count, winner_sentence

__all__ = ["game_of", "game_view", "loaded_game"]


def game_of(start: str, moves: list[str]) -> Game:
    """The game of ``moves`` from ``start``; a 422 error names a bad text or an illegal move."""
    try:
        return Game(start, moves)
    except ValueError as error:
        raise RequestError(422, str(error)) from None


def game_view(game: Game, ply: int) -> dict[str, Any]:
    """What the page shows of ``game`` with its first ``ply`` moves played.

    ``positions`` holds the text of every position of the whole line (the
    start first), so that the page can match the scores it found to the
    graph's columns; ``board`` is the module's picture of the position shown,
    its last move and that move's pivots marked.
    """
    moves = game.moves
    if not 0 <= ply <= len(moves):
        raise RequestError(422, f"'ply' must be from 0 to {len(moves)}, got {ply}")
    shown = Game(game.start, moves[:ply])
    position = shown.position
    legal = position.legal_moves()
    winner = position.outcome()
    side = position.side_to_move()
    if winner is not None:
        status = winner_sentence(winner)
    else:
        status = f"{side.capitalize()} to move, {legal_move_count(len(legal))}"
    return {
        "start": game.start,
        "moves": [
            {"move": move, "capture": game.captured_square(index)} for index, move in enumerate(moves)
        ],
        "positions": [to_text(p) for p in game],
        "ply": ply,
        "position": shown.to_text(),
        "side_to_move": side,
        "legal_moves": legal,
        "pieces": {square: owner for square in SQUARES if (owner := position.piece_at(square)) is not None},
        "outcome": winner,
        "status": status,
        "board": shown.svg(),
    }


def loaded_game(text: str) -> Game:
    """The game a page loaded: a game file's contents, or a position text to start from."""
    stripped = text.strip()
    if stripped.startswith("{"):
        try:
            return Game.from_json(stripped)
        except ValueError as error:
            raise RequestError(422, str(error)) from None
    try:
        return Game(to_text(from_text(stripped)))
    except ValueError as error:
        raise RequestError(422, f"neither a game file nor a position text: {error}") from None
