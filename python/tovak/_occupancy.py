"""The board as two occupancy sets: 64-bit integers, bit i set when square i
(a1 = 0, b1 = 1, ..., h8 = 63) holds a piece of that color.

The dataset stores these sets beside each position's text, and self-play keeps
them up to date move by move: a move takes the mover's piece from its square
to the landing square and removes an enemy piece there, so the text of every
position comes from two integers instead of 64 questions to the module.
"""

from __future__ import annotations

from tovak.notation import EMPTY_SIDE, SQUARES, canonical_fields
from tovak.terms import Color

__all__ = ["Occupancy", "squares_mask", "squares_text"]

_SQUARE_BITS = {name: 1 << index for index, name in enumerate(SQUARES)}
# The squares of one rank, for each of its 256 occupancy bytes, in board order.
_RANK_TEXTS = [
    [",".join(SQUARES[8 * rank + file] for file in range(8) if byte >> file & 1) for byte in range(256)]
    for rank in range(8)
]


def squares_mask(square_list: str) -> int:
    """The set of a canonical square list such as ``a1,b1,h8`` (or ``-`` for none)."""
    if square_list in ("", EMPTY_SIDE):
        return 0
    # A canonical list names each square once, so the sum of the bits is their union.
    return sum(map(_SQUARE_BITS.__getitem__, square_list.split(",")))


def squares_text(mask: int) -> str:
    """The canonical square list of a set: the inverse of :func:`squares_mask`."""
    ranks = [_RANK_TEXTS[rank][mask >> (8 * rank) & 0xFF] for rank in range(8) if mask >> (8 * rank) & 0xFF]
    return ",".join(ranks) if ranks else EMPTY_SIDE


class Occupancy:
    """Both sides' sets and the side to move, following a game move by move."""

    __slots__ = ("white", "black", "side")

    def __init__(self, white: int, black: int, side: Color):
        self.white = white
        self.black = black
        self.side: Color = side

    @classmethod
    def from_text(cls, text: str) -> Occupancy:
        """The sets of a canonical position text (as :func:`tovak.notation.to_text` writes it)."""
        white, black, side = canonical_fields(text)
        return cls(squares_mask(white), squares_mask(black), side)

    def text(self) -> str:
        """The canonical text form of the position, equal to ``to_text`` of it."""
        side = "w" if self.side == "white" else "b"
        return f"W:{squares_text(self.white)} B:{squares_text(self.black)} {side}"

    def play(self, move: str) -> None:
        """Follow a legal move ``move`` (such as ``a1-b3``) of the side to move."""
        origin, landing = move.split("-")
        moved = _SQUARE_BITS[origin] | _SQUARE_BITS[landing]
        captured = ~_SQUARE_BITS[landing]
        if self.side == "white":
            self.white ^= moved
            self.black &= captured
            self.side = "black"
        else:
            self.black ^= moved
            self.white &= captured
            self.side = "white"

