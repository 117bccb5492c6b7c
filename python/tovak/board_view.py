"""A position (and optionally a move) that knows how to display itself.

In a notebook the object renders as the SVG picture (``_repr_svg_``); in a
terminal, ``print`` and the interactive prompt show the text diagram.
"""

from __future__ import annotations

from tovak_python import Position, parse_move_string

__all__ = ["BoardView", "show"]


class BoardView:
    """A snapshot of a position to display, with an optional move marked.

    The position is copied when the view is made, so later moves on the
    original do not change what the view shows. The move is checked for
    notation only (an illegal but well-formed move is still drawn, with the
    pivots that support it for the side to move).
    """

    __slots__ = ("_position", "_move", "_style")

    def __init__(self, position: Position, move: str | None = None, *, style: str | None = None):
        if not isinstance(position, Position):
            raise TypeError(f"position must be a tovak_python.Position, not {type(position).__name__}")
        self._position = position.copy()
        self._move = None if move is None else parse_move_string(move)
        # Resolving the style now reports a bad name at once, not at display time.
        position.ascii_board(style)
        self._style = style

    @property
    def position(self) -> Position:
        """A copy of the position shown."""
        return self._position.copy()

    @property
    def move(self) -> str | None:
        """The marked move in canonical notation, or None."""
        return self._move

    def svg(self) -> str:
        """The SVG picture, with the move and its pivots marked if there is a move."""
        if self._move is None:
            return self._position.svg_board()
        return self._position.svg_for_move(self._move)

    def text(self) -> str:
        """The text diagram followed by a line naming the side to move and the move."""
        side = self._position.side_to_move().capitalize()
        caption = f"{side} to move"
        if self._move is not None:
            caption += f", move {self._move}"
        return self._position.ascii_board(self._style) + caption + "\n"

    def _repr_svg_(self) -> str:
        return self.svg()

    def __str__(self) -> str:
        return self.text()

    def __repr__(self) -> str:
        return self.text().rstrip("\n")


def show(position: Position, move: str | None = None, *, style: str | None = None) -> BoardView:
    """A view of ``position`` that displays as SVG in a notebook and as text elsewhere."""
    return BoardView(position, move, style=style)
