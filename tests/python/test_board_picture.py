"""The environments' rgb_array picture against the SVG board as a real renderer draws it."""

import random

import numpy as np
import pytest
from binding_support import random_plies
from rendering_support import hex_rgb, rasterise
from tovak_python import Position

from tovak.notation import SQUARES, from_text
from tovak.rl.picture import board_picture


def positions():
    played = Position()
    for _ in random_plies(random.Random(5), 30, played):
        pass
    return [
        pytest.param(Position(), id="initial"),
        pytest.param(played, id="played"),
        pytest.param(from_text("W:a1,h8,d4 B:a8,h1,e5 b"), id="corners"),
        pytest.param(Position.empty("white"), id="empty"),
    ]


def centre(square):
    index = SQUARES.index(square)
    return 64 * (index % 8) + 32, 64 * (7 - index // 8) + 32  # x, y: White's side down


@pytest.mark.parametrize("position", positions())
def test_the_picture_is_the_rasterised_svg_board(position):
    picture = board_picture(position)
    svg = rasterise(position.svg_board())
    raster = np.array([list(row) for row in svg.rows], dtype=np.uint8).reshape(svg.height, svg.width, svg.channels)[..., :3]
    assert picture.shape == raster.shape == (512, 512, 3) and picture.dtype == np.uint8
    for square in SQUARES:
        x, y = centre(square)
        owner = position.piece_at(square)
        # The centre shows the piece's fill or the square; 20 pixels out, the middle of the outline.
        assert tuple(picture[y, x]) == tuple(raster[y, x]) == svg.rgb(x, y)
        if owner is not None:
            assert tuple(picture[y, x]) == hex_rgb({"white": "#fffdf7", "black": "#1f1f1f"}[owner])
            assert np.abs(picture[y, x + 20].astype(int) - raster[y, x + 20]).max() <= 2
    difference = np.abs(picture.astype(int) - raster.astype(int))
    # Anti-aliased rims differ by a shade at most here and there; a misplaced
    # or mis-sized disc or square would differ by far more (a shift by one
    # pixel: 4.4 on average, whole colours at the rims).
    assert difference.mean() < 0.2 and difference.max() <= 16
