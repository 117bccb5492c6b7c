"""Positions and moves as numpy arrays, for people who feed them to a network.

Squares are numbered as in :data:`tovak.notation.SQUARES`: ``file + 8 * rank``,
so a1 is 0, h1 is 7 and h8 is 63. A move is the number ``from * 64 + to``
(0..4095); most of those numbers are not moves of any position, and
:func:`legal_mask` marks the ones that are legal.

Every function takes a ``perspective``: the side whose view of the board is
wanted. White sees the board as it is. Black sees it turned round along the
ranks (rank 8 becomes rank 1, files stay), so that each side's pieces start on
its own near ranks and one network can play both colors. The turn is exact:
mirroring the ranks maps the midpoint of two squares to the midpoint of their
mirrors, so a position and its mirror have mirrored legal moves.

    >>> from tovak_python import Position
    >>> from tovak.features import legal_mask, move_index, move_of_index, planes
    >>> move_index("a1-b3")                       # a1 is 0, b3 is 17
    17
    >>> move_of_index(17), move_of_index(17, perspective="black")
    ('a1-b3', 'a8-b6')
    >>> p = Position()
    >>> planes(p).shape, int(planes(p)[0].sum()), int(legal_mask(p).sum())
    ((3, 8, 8), 16, 62)
"""

from __future__ import annotations

from typing import Final

from tovak.rl._extra import require_rl_extra

# Before the imports that need the extra, so that its absence is reported as such.
require_rl_extra("tovak.features", "numpy")

import numpy as np
import numpy.typing as npt
from tovak_python import Position

from tovak import _batch
from tovak.notation import SQUARES, square_index
from tovak.terms import Color

__all__ = [
    "ACTION_COUNT",
    "PLANE_COUNT",
    "PLANE_NAMES",
    "legal_mask",
    "move_index",
    "move_of_index",
    "planes",
]

ACTION_COUNT: Final = 64 * 64
"""How many move numbers there are: every (from, to) pair of squares."""

PLANE_NAMES: Final = ("own pieces", "opponent pieces", "own turn")
"""What each plane of :func:`planes` holds, in order."""

PLANE_COUNT: Final = len(PLANE_NAMES)
"""How many planes :func:`planes` gives."""

_PLANES_SHAPE: Final = (PLANE_COUNT, 8, 8)
_FLOAT32: Final = np.dtype(np.float32)
_INT8: Final = np.dtype(np.int8)

# XOR with this turns a square number round along the ranks (rank r <-> 7 - r).
_RANK_MIRROR: Final = 0b111000


def _oriented(square: int, perspective: Color) -> int:
    return square ^ _RANK_MIRROR if perspective == "black" else square


def planes(position: Position, perspective: Color | None = None) -> npt.NDArray[np.float32]:
    """The board as a ``(3, 8, 8)`` float32 array of 0s and 1s, indexed ``[plane, rank, file]``.

    Plane 0 holds the pieces of ``perspective`` (default: the side to move),
    plane 1 those of its opponent, and plane 2 is all ones when it is
    ``perspective``'s turn and all zeros otherwise. Ranks are counted from
    ``perspective``'s side: for Black, row 0 is rank 8.
    """
    side = position.side_to_move()
    # One pass in C++ over the letters diagram, the quickest form of a
    # position to hand over, written into an array made here (see _batch).
    return _batch.board_planes(
        position.ascii_board("letters"), side, side if perspective is None else perspective, np.empty(_PLANES_SHAPE, _FLOAT32)
    )


def move_index(move: str, perspective: Color = "white") -> int:
    """The number ``from * 64 + to`` of a move text such as ``a1-b3``, as ``perspective`` sees it.

    Raises ``ValueError`` for a text that is not two squares joined by ``-``.
    Legality is not checked: every pair of squares has a number.
    """
    viewer = _color(perspective)
    parts = move.split("-") if isinstance(move, str) else []
    squares = [square_index(part) for part in parts]
    if len(squares) != 2 or squares[0] is None or squares[1] is None:
        raise ValueError(f"not a move: {move!r} (expected two squares joined by '-', such as 'a1-b3')")
    return _oriented(squares[0], viewer) * 64 + _oriented(squares[1], viewer)


def move_of_index(index: int, perspective: Color = "white") -> str:
    """The move text of a move number, the inverse of :func:`move_index`.

    Raises ``ValueError`` outside 0..4095 (numpy integers are accepted).
    """
    viewer = _color(perspective)
    number = int(index)
    if number != index or not 0 <= number < ACTION_COUNT:
        raise ValueError(f"move number must be an integer from 0 to {ACTION_COUNT - 1}, got {index!r}")
    source, target = divmod(number, 64)
    return f"{SQUARES[_oriented(source, viewer)]}-{SQUARES[_oriented(target, viewer)]}"


def legal_mask(position: Position, perspective: Color | None = None) -> npt.NDArray[np.int8]:
    """A ``(4096,)`` int8 array with 1 at the number of every legal move of the side to move.

    Numbers are as ``perspective`` (default: the side to move) sees the board.
    When ``perspective`` is not to move, the mask is all zeros: it has no legal move now.
    """
    side = position.side_to_move()
    return _batch.board_legal_mask(
        position.ascii_board("letters"), side, side if perspective is None else perspective, np.empty(ACTION_COUNT, _INT8)
    )


def _color(name: str) -> Color:
    if name == "white":
        return "white"
    if name == "black":
        return "black"
    raise ValueError(f"perspective must be 'white' or 'black', got {name!r}")

