"""Positions and moves as numpy arrays: the public path of :mod:`tovak.rl.features`.

    >>> from tovak.features import ACTION_COUNT, move_of_index
    >>> ACTION_COUNT, move_of_index(ACTION_COUNT - 1)
    (4096, 'h8-h8')
"""

from tovak.rl.features import (
    ACTION_COUNT,
    PLANE_COUNT,
    PLANE_NAMES,
    legal_mask,
    move_index,
    move_of_index,
    planes,
)

__all__ = ["ACTION_COUNT", "PLANE_COUNT", "PLANE_NAMES", "legal_mask", "move_index", "move_of_index", "planes"]
