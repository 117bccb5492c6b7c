"""A one-line text form for positions, for command lines, logs and test data.

The form has three fields separated by blanks::

    W:a1,b1,c1 B:h8 w

the White squares, the Black squares and the side to move (``w`` or ``b``).
Either square list may be ``-`` (or left empty after the colon) for a side
without pieces. :func:`to_text` always writes the canonical form (squares in
board order a1, b1, ..., h8, lower case, ``-`` for none), and
``from_text(to_text(p))`` gives back exactly the position ``p`` for every
position the module can hold.
"""

from __future__ import annotations

from tovak_python import Position

from tovak.terms import Color

__all__ = ["SQUARES", "canonical_fields", "from_text", "square_index", "to_text"]

FILE_LETTERS = "abcdefgh"
RANK_DIGITS = "12345678"

# The 64 square names in board order: index = file + 8 * rank, so a1 is 0,
# h1 is 7 and h8 is 63. Iterating in this order gives the canonical text.
SQUARES: tuple[str, ...] = tuple(f + r for r in RANK_DIGITS for f in FILE_LETTERS)
"""The 64 square names in board order (a1, b1, ..., h1, a2, ..., h8): square *i* is ``SQUARES[i]``."""

EMPTY_SIDE = "-"
_SIDE_LETTERS: dict[str, Color] = {
    "w": "white",
    "white": "white",
    "b": "black",
    "black": "black",
}
_FIELD_NAMES = {"white": "White squares", "black": "Black squares"}


def square_index(name: str) -> int | None:
    """Board index (0..63) of a square name such as ``e4`` or ``E4``.

    Only ASCII letters a-h (either case) and digits 1-8 are accepted, so a
    look-alike character never slips through case folding. None otherwise.
    """
    if len(name) != 2:
        return None
    file_char, rank_char = name[0], name[1]
    if file_char in FILE_LETTERS.upper():
        file_char = file_char.lower()
    if file_char not in FILE_LETTERS or rank_char not in RANK_DIGITS:
        return None
    return FILE_LETTERS.index(file_char) + 8 * RANK_DIGITS.index(rank_char)


def to_text(position: Position) -> str:
    """The canonical text form of ``position``."""
    white: list[str] = []
    black: list[str] = []
    for square in SQUARES:
        owner = position.piece_at(square)
        if owner == "white":
            white.append(square)
        elif owner == "black":
            black.append(square)
    side = "w" if position.side_to_move() == "white" else "b"
    return f"W:{_join_squares(white)} B:{_join_squares(black)} {side}"


def canonical_fields(text: str) -> tuple[str, str, Color]:
    """The White squares, the Black squares and the side to move of a text in
    canonical form, as :func:`to_text` writes it (``"a1,b1"``, ``"-"`` for
    none). The text is not checked: this is the fast way to read the texts
    the package wrote itself, such as a dataset's positions."""
    white, black, side = text.split(" ")
    return white[2:], black[2:], "white" if side == "w" else "black"


def from_text(text: str) -> Position:
    """A new position from its text form.

    Field prefixes and squares may be written in either case, fields may be
    separated by any run of blanks, and the side to move may be spelled out
    (``white``/``black``). A malformed text raises ``ValueError`` whose
    message names the field at fault.
    """
    if not isinstance(text, str):
        raise TypeError(f"position text must be a str, not {type(text).__name__}")
    fields = text.split()
    if len(fields) != 3:
        raise ValueError(
            "position text needs three fields separated by blanks "
            f"(White squares, Black squares, side to move), got {len(fields)}: {text!r}"
        )
    white = _parse_square_field(fields[0], "white")
    black = _parse_square_field(fields[1], "black")
    side = _SIDE_LETTERS.get(_ascii_lower(fields[2]))
    if side is None:
        raise ValueError(f"bad side-to-move field: expected 'w' or 'b', got {fields[2]!r}")
    both = sorted(set(white) & set(black))
    if both:
        raise ValueError(
            f"bad Black squares field: {SQUARES[both[0]]!r} is also in the White squares field"
        )
    position = Position.empty(side)
    for index in white:
        position.set_piece("white", SQUARES[index])
    for index in black:
        position.set_piece("black", SQUARES[index])
    return position


def _join_squares(squares: list[str]) -> str:
    return ",".join(squares) if squares else EMPTY_SIDE


def _ascii_lower(text: str) -> str:
    # str.lower() folds non-ASCII letters too; only A-Z may be folded here.
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in text)


def _parse_square_field(field: str, color: Color) -> list[int]:
    name = _FIELD_NAMES[color]
    prefix = "W:" if color == "white" else "B:"
    if _ascii_lower(field[:2]) != prefix.lower():
        raise ValueError(f"bad {name} field: expected it to start with {prefix!r}, got {field!r}")
    body = field[2:]
    if body in ("", EMPTY_SIDE):
        return []
    indices: list[int] = []
    for token in body.split(","):
        index = square_index(token)
        if index is None:
            if token == "":
                raise ValueError(f"bad {name} field: empty square name in {body!r}")
            raise ValueError(f"bad {name} field: {token!r} is not a square")
        if index in indices:
            raise ValueError(f"bad {name} field: {SQUARES[index]!r} is listed twice")
        indices.append(index)
    return indices
