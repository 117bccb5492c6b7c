"""``tovak.features``: move numbers, legal masks and planes, checked against the rules and their mirror image."""

import doctest
import random

import numpy as np
import pytest
import rl_reference
from binding_support import random_plies
from tovak_python import Position

import tovak.env
import tovak.features
from tovak import _batch

from tovak.features import ACTION_COUNT, legal_mask, move_index, move_of_index, planes
from tovak.notation import SQUARES


def mirrored(position):
    """The same game seen from the other side: ranks turned round, colours and turn swapped."""
    other = {"white": "black", "black": "white"}
    mirror = Position.empty(other[position.side_to_move()])
    for index, name in enumerate(SQUARES):
        owner = position.piece_at(name)
        if owner is not None:
            mirror.set_piece(other[owner], SQUARES[index ^ 56])
    return mirror


def sample_positions(count=40, seed=3):
    rng = random.Random(seed)
    positions = []
    while len(positions) < count:
        position = Position()
        for _ in random_plies(rng, rng.randrange(0, 60), position):
            pass
        positions.append(position)
    return positions


@pytest.mark.parametrize(
    "move, perspective, index",
    [("a1-b3", "white", 17), ("h8-h8", "white", 4095), ("a1-a1", "white", 0), ("a8-b6", "black", 17), ("e2-e4", "black", 52 * 64 + 36)],
)
def test_move_numbers_are_from_times_64_plus_to(move, perspective, index):
    assert move_index(move, perspective) == index
    assert move_of_index(index, perspective) == move


@pytest.mark.parametrize("perspective", ["white", "black"])
def test_every_move_number_round_trips(perspective):
    texts = [move_of_index(i, perspective) for i in range(ACTION_COUNT)]
    assert len(set(texts)) == ACTION_COUNT
    assert [move_index(t, perspective) for t in texts] == list(range(ACTION_COUNT))
    assert move_of_index(np.int64(17), perspective) == texts[17]


@pytest.mark.parametrize(
    "call",
    [
        lambda: move_index("a1b3"),
        lambda: move_index("a1-i3"),
        lambda: move_index("a1-b3-c5"),
        lambda: move_of_index(-1),
        lambda: move_of_index(4096),
        lambda: move_of_index(1.5),
        lambda: planes(Position(), "red"),
        lambda: move_index("a1-b3", "w"),
    ],
)
def test_bad_input_raises_value_error(call):
    with pytest.raises(ValueError):
        call()


def test_the_mask_marks_exactly_the_legal_moves():
    for position in sample_positions():
        mask = legal_mask(position)
        assert mask.shape == (ACTION_COUNT,) and mask.dtype == np.int8
        marked = {move_of_index(i, position.side_to_move()) for i in np.flatnonzero(mask)}
        assert marked == set(position.legal_moves())
        waiting = "black" if position.side_to_move() == "white" else "white"
        assert not legal_mask(position, waiting).any()


def test_planes_hold_the_pieces_and_the_turn():
    for position in sample_positions():
        mover = position.side_to_move()
        for viewer in ("white", "black"):
            board = planes(position, viewer)
            assert board.shape == (3, 8, 8) and board.dtype == np.float32
            other = "black" if viewer == "white" else "white"
            assert board[0].sum() == position.piece_count(viewer)
            assert board[1].sum() == position.piece_count(other)
            assert not (board[0] * board[1]).any()
            assert (board[2] == (1.0 if viewer == mover else 0.0)).all()
        assert (planes(position) == planes(position, mover)).all()


def test_white_and_black_see_mirrored_positions_alike():
    # A position and its mirror are the same game for the other side, so each
    # side's view of one equals the other side's view of the other, moves included.
    for position in sample_positions():
        mirror = mirrored(position)
        for viewer, mirror_viewer in (("white", "black"), ("black", "white")):
            assert (planes(position, viewer) == planes(mirror, mirror_viewer)).all()
        assert (legal_mask(position) == legal_mask(mirror)).all()


def test_planes_put_rank_1_in_row_0_for_white_and_rank_8_for_black():
    position = Position.empty("white")
    position.set_piece("white", "c1")
    position.set_piece("black", "f8")
    assert planes(position, "white")[0, 0, 2] == 1 and planes(position, "white")[1, 7, 5] == 1
    assert planes(position, "black")[0, 0, 5] == 1 and planes(position, "black")[1, 7, 2] == 1


@pytest.mark.parametrize("module", [tovak.features, tovak.env], ids=lambda m: m.__name__)
def test_the_module_examples_hold(module):
    failures, tried = doctest.testmod(module)
    assert tried > 0 and failures == 0


@pytest.mark.parametrize("perspective", [None, "white", "black"])
def test_equal_to_the_pure_python_reference(perspective):
    for position in sample_positions(count=60, seed=11):
        for fast, slow in ((planes, rl_reference.planes), (legal_mask, rl_reference.legal_mask)):
            mine, theirs = fast(position, perspective), slow(position, perspective)
            assert mine.dtype == theirs.dtype and mine.shape == theirs.shape and mine.flags.writeable
            assert np.array_equal(mine, theirs)


@pytest.mark.parametrize(
    "function, out",
    [
        (_batch.board_planes, np.empty(191, np.float32)),
        (_batch.board_planes, np.empty(192, np.float64)),
        (_batch.board_legal_mask, np.empty(4096, np.uint16)),
        (_batch.board_legal_mask, np.empty((2, 4096), np.int8)[:, 0]),  # not contiguous
    ],
)
def test_a_wrong_output_array_is_refused_not_overrun(function, out):
    with pytest.raises((ValueError, BufferError)):
        function(Position().ascii_board("letters"), "white", None, out)
