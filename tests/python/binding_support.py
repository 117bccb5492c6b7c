"""Helpers of the binding tests: a full snapshot of what a position shows and
positions from seeded random games. The rules written out in Python, to hold
the module against, are in rules_reference."""

import random

from tovak_python import Position
from rules_reference import SQUARES


def state(p):
    """Side to move and the owner of every square: everything that decides a position."""
    return p.side_to_move(), tuple(p.piece_at(s) for s in SQUARES)


def random_game_positions(seed, plies):
    """The positions of a seeded random game, the initial one first."""
    rng = random.Random(seed)
    p = Position()
    positions = [p.copy()]
    for _ in range(plies):
        moves = p.legal_moves()
        if not moves:
            break
        p.apply_move(rng.choice(moves))
        positions.append(p.copy())
    return positions
