"""Helpers of the tests: a full snapshot of what a position shows and seeded
random games. The rules written out in Python, to hold the module against,
are in rules_reference."""

import random

from tovak_python import Position
from rules_reference import SQUARES


def state(p):
    """Side to move and the owner of every square: everything that decides a position."""
    return p.side_to_move(), tuple(p.piece_at(s) for s in SQUARES)


def random_plies(seed, plies, position=None):
    """Play up to ``plies`` random legal moves on ``position`` (a new initial
    position by default), yielding each move once it is played; the game ends
    early when the side to move has none. ``seed`` is a seed or a
    ``random.Random`` that several games share."""
    rng = seed if isinstance(seed, random.Random) else random.Random(seed)
    position = Position() if position is None else position
    for _ in range(plies):
        moves = position.legal_moves()
        if not moves:
            return
        move = rng.choice(moves)
        position.apply_move(move)
        yield move


def random_game_positions(seed, plies):
    """The positions of a seeded random game, the initial one first."""
    p = Position()
    return [p.copy()] + [p.copy() for _ in random_plies(seed, plies, p)]
