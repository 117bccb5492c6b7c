"""A position as an RGB picture, drawn in numpy in the colours and layout of its SVG board.

:func:`board_picture` gives the ``(512, 512, 3)`` uint8 array that the
environments' ``render_mode="rgb_array"`` returns (for video recorders):
the board seen from White's side, file a on the left and rank 8 at the top,
64-pixel squares (a1 light), and each piece a disc of radius 20 with a
3-pixel outline, as ``Position.svg_board()`` draws them. Edges are
anti-aliased by coverage, so the picture matches a rasterised SVG to within
a shade at the rims of the discs.

    >>> from tovak_python import Position
    >>> from tovak.rl.picture import board_picture
    >>> picture = board_picture(Position())
    >>> picture.shape, picture.dtype.name
    ((512, 512, 3), 'uint8')
    >>> picture[224, 32].tolist()  # the centre of a5: empty, a light square
    [245, 230, 200]
    >>> picture[288, 32].tolist()  # a4: empty, a dark square
    [160, 107, 59]
"""

from __future__ import annotations

from typing import Final

import numpy as np
import numpy.typing as npt
from tovak_python import Position

from tovak import _batch

__all__ = ["PICTURE_SIZE", "SQUARE_PIXELS", "board_picture"]

SQUARE_PIXELS: Final = 64
"""The side of one square of the picture, in pixels."""
PICTURE_SIZE: Final = 8 * SQUARE_PIXELS
"""The side of the whole picture, in pixels (it is square)."""
_PIECE_RADIUS: Final = 20.0
_OUTLINE_WIDTH: Final = 3.0
_SUBSAMPLES: Final = 8  # per pixel and axis, for the coverage of the discs' edges


def _rgb(colour: str) -> npt.NDArray[np.float64]:
    return np.array([int(colour[i : i + 2], 16) for i in (1, 3, 5)], dtype=np.float64)


# The SVG board's colours: squares, then each side's fill and outline.
_LIGHT_SQUARE: Final = _rgb("#f5e6c8")
_DARK_SQUARE: Final = _rgb("#a06b3b")
_PIECE_COLOURS: Final = {
    "white": (_rgb("#fffdf7"), _rgb("#56452f")),
    "black": (_rgb("#1f1f1f"), _rgb("#f2eadb")),
}


def _coverage(inside_low: float, inside_high: float) -> npt.NDArray[np.float64]:
    """Per pixel of a square, the share of it whose distance from the centre is in [low, high]."""
    steps = (np.arange(SQUARE_PIXELS * _SUBSAMPLES) + 0.5) / _SUBSAMPLES - SQUARE_PIXELS / 2
    distance = np.hypot(steps[:, None], steps[None, :])
    inside = (distance >= inside_low) & (distance <= inside_high)
    return inside.reshape(SQUARE_PIXELS, _SUBSAMPLES, SQUARE_PIXELS, _SUBSAMPLES).mean(axis=(1, 3))


def _tiles() -> npt.NDArray[np.uint8]:
    """The six squares a picture is made of: (light, dark) x (empty, White's piece, Black's piece)."""
    fill = _coverage(0.0, _PIECE_RADIUS)[..., None]
    outline = _coverage(_PIECE_RADIUS - _OUTLINE_WIDTH / 2, _PIECE_RADIUS + _OUTLINE_WIDTH / 2)[..., None]
    tiles = []
    for square in (_LIGHT_SQUARE, _DARK_SQUARE):
        empty = np.broadcast_to(square, (SQUARE_PIXELS, SQUARE_PIXELS, 3))
        tiles.append(empty)
        for side in ("white", "black"):
            body, rim = _PIECE_COLOURS[side]
            filled = empty * (1 - fill) + body * fill  # the disc, then its outline over it
            tiles.append(filled * (1 - outline) + rim * outline)
    return np.rint(np.stack(tiles)).astype(np.uint8)


_TILES: Final = _tiles()
_TILES_PER_SHADE: Final = 3
# Square index (file + 8 * rank) of each cell of the picture's 8 x 8 grid, top row rank 8.
_GRID_SQUARES: Final = np.array([[(7 - row) * 8 + column for column in range(8)] for row in range(8)])
_DARK: Final = ((_GRID_SQUARES % 8 + _GRID_SQUARES // 8) % 2).astype(np.intp)


def _square_bits(squares: int) -> npt.NDArray[np.intp]:
    """A 64-bit set of squares as 64 zeros and ones, by square index."""
    as_bytes = np.array([squares], dtype="<u8").view(np.uint8)
    return np.unpackbits(as_bytes, bitorder="little").astype(np.intp)


def board_picture(position: Position) -> npt.NDArray[np.uint8]:
    """The ``(512, 512, 3)`` uint8 picture of ``position``'s board (a new array)."""
    white, black = _batch.board_sets(position.ascii_board("letters"))
    pieces = _square_bits(white) + 2 * _square_bits(black)
    cells = _DARK * _TILES_PER_SHADE + pieces[_GRID_SQUARES]
    grid = _TILES[cells]  # (8, 8, 64, 64, 3): grid row, grid column, pixel row, pixel column
    return np.ascontiguousarray(grid.transpose(0, 2, 1, 3, 4).reshape(PICTURE_SIZE, PICTURE_SIZE, 3))
