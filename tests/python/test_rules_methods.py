"""The rules methods: reading, editing, listing, testing and applying moves,
the outcome and the supporting pivots, checked on fixed positions, against
the rules written out in Python, and along seeded random games."""

import random

import pytest

from tovak_python import Position
from binding_support import random_game_positions, state
from rules_reference import (
    ALL_MOVES,
    OTHER,
    SQUARES,
    board_of,
    reference_legal_moves,
    reference_supporting_pivots,
)


def capture_position():
    """White a1, b1, a2; Black b2, h8; White to move: the only move is a1-b2."""
    p = Position.empty("white")
    for color, square in [("white", "a1"), ("white", "b1"), ("white", "a2"), ("black", "b2"), ("black", "h8")]:
        p.set_piece(color, square)
    return p


def test_initial_position_reads():
    p = Position()
    assert p.side_to_move() == "white"
    assert (p.piece_count("white"), p.piece_count("b"), p.piece_count("WHITE")) == (16, 16, 16)
    assert (p.piece_at("a1"), p.piece_at("A8"), p.piece_at("e4")) == ("white", "black", None)
    assert p.outcome() is None


def test_initial_legal_moves_in_generation_order():
    moves = Position().legal_moves()
    assert len(moves) == 62 == len(set(moves))
    assert moves[:6] == ["a1-b3", "b1-a3", "a1-c3", "b1-b3", "c1-a3", "a1-d3"]
    assert moves[-5:] == ["f1-h3", "g1-g3", "h1-f3", "g1-h3", "h1-g3"]
    assert all(m[1] == "1" and m[4] == "3" for m in moves)


@pytest.mark.parametrize("mv, legal", [("a1-b3", True), ("h1-g3", True), ("a1-a1", False), ("a8-a6", False),
                                       ("e2-e4", False), ("a3-a4", False), ("a1-a2", False)])
def test_is_legal_move_answers_with_a_flag(mv, legal):
    assert Position().is_legal_move(mv) is legal


@pytest.mark.parametrize("mv, message", [
    ("a1-a1", "start and destination must differ"),
    ("e3-e3", "start and destination must differ"),
    ("a7-a6", "piece does not belong to player to move"),
    ("a3-a4", "origin square is empty"),
    ("a1-a2", "destination is occupied by a friendly piece"),
    ("e2-e4", "no supporting pivot exists for this move"),
])
def test_apply_move_raises_the_first_failing_rule_and_changes_nothing(mv, message):
    p = Position()
    before = state(p)
    with pytest.raises(ValueError) as info:
        p.apply_move(mv)
    assert info.value.args == (message,)
    assert state(p) == before


@pytest.mark.parametrize("call", [lambda p: p.piece_at("a9"), lambda p: p.piece_at(""), lambda p: p.piece_at("e44"),
                                  lambda p: p.clear_square("e44"), lambda p: p.set_piece("w", "i1"),
                                  lambda p: p.clear_square(" e4")])
def test_malformed_square_texts(call):
    p = Position()
    before = state(p)
    with pytest.raises(ValueError) as info:
        call(p)
    assert info.value.args == ("invalid square",)
    assert state(p) == before


def test_supporting_pivots_of_d1_d3_and_a1_b3():
    p = Position()
    assert p.supporting_pivots("d1-d3") == [
        {"supports": ["a2", "g2"], "file_twice": 6, "rank_twice": 2, "center_square": "d2"},
        {"supports": ["b2", "f2"], "file_twice": 6, "rank_twice": 2, "center_square": "d2"},
        {"supports": ["c2", "e2"], "file_twice": 6, "rank_twice": 2, "center_square": "d2"},
    ]
    [entry] = p.supporting_pivots("A1-B3")
    assert list(entry) == ["supports", "file_twice", "rank_twice", "center_square"]
    assert entry == {"supports": ["a2", "b2"], "file_twice": 1, "rank_twice": 2, "center_square": None}


def test_supporting_pivots_checks_notation_only():
    p = Position()
    assert p.supporting_pivots("e2-e4") == []
    # An empty origin and a friendly destination still have their pairs.
    assert p.supporting_pivots("a3-c1") == [{"supports": ["a2", "c2"], "file_twice": 2, "rank_twice": 2,
                                             "center_square": "b2"}]
    with pytest.raises(ValueError) as info:
        p.supporting_pivots("e2e4")
    assert info.value.args == ("invalid square in move",)


def test_supporting_pivots_uses_the_side_to_move():
    p = Position()
    p.apply_move("a1-b3")  # Black to move: White's pairs no longer count
    assert p.supporting_pivots("d1-d3") == []
    assert p.supporting_pivots("d8-d6") == reference_supporting_pivots(board_of(p), "black", "d8-d6") != []


def test_clear_square_on_an_empty_square_changes_nothing():
    p = Position()
    before = state(p)
    assert p.clear_square("e4") is None
    assert state(p) == before


def test_clear_then_set_restores_the_position():
    p = Position()
    before, moves = state(p), p.legal_moves()
    p.clear_square("d2")
    assert p.piece_at("d2") is None and p.piece_count("white") == 15
    assert p.set_piece("white", "d2") is None
    assert state(p) == before and p.legal_moves() == moves


def test_set_piece_replaces_whatever_stood_there():
    p = Position()
    p.set_piece("black", "a1")
    assert (p.piece_count("white"), p.piece_count("black"), p.piece_at("a1")) == (15, 17, "black")
    p.set_piece("black", "a1")
    assert p.piece_count("black") == 17
    assert p.side_to_move() == "white"


def test_a_capture_ends_the_game():
    p = capture_position()
    assert p.legal_moves() == ["a1-b2"]
    assert p.apply_move("a1-b2") is None
    assert (p.piece_at("b2"), p.piece_at("a1"), p.piece_count("black")) == ("white", None, 1)
    assert p.side_to_move() == "black"
    assert p.outcome() == "white"
    assert p.legal_moves() == []


@pytest.mark.parametrize("side", ["white", "black"])
def test_empty_board_is_lost_by_the_side_to_move(side):
    p = Position.empty(side)
    assert p.legal_moves() == []
    assert p.outcome() == OTHER[side]


def test_two_pieces_never_move():
    rng = random.Random(5)
    for _ in range(50):
        p = Position.empty("white")
        for square in rng.sample(SQUARES, 2):
            p.set_piece("white", square)
        assert p.legal_moves() == [] and p.outcome() == "black"


def game_positions():
    return [p for seed in range(6) for p in random_game_positions(seed, 60)[::7]] + [capture_position()]


@pytest.mark.parametrize("p", game_positions())
def test_moves_agree_with_the_rules_written_out(p):
    moves = p.legal_moves()
    board, side = board_of(p), p.side_to_move()
    assert moves == reference_legal_moves(board, side)
    listed = set(moves)
    assert [mv for mv in ALL_MOVES if p.is_legal_move(mv)] == [mv for mv in ALL_MOVES if mv in listed]
    for mv in random.Random(len(moves)).sample(ALL_MOVES, 200) + moves[:20]:
        assert p.supporting_pivots(mv) == reference_supporting_pivots(board, side, mv)


@pytest.mark.parametrize("seed", [0, 1, 2, 3, 4, 5])
def test_random_game_to_the_end_keeps_every_invariant(seed):
    rng = random.Random(seed)
    p = Position()
    for ply in range(2000):
        side, board = state(p)
        moves = p.legal_moves()
        assert (p.outcome() is None) == bool(moves)
        if not moves:
            break
        assert all(p.is_legal_move(m) for m in moves)
        copy = p.copy()
        assert state(copy) == (side, board) and copy.legal_moves() == moves
        mv = rng.choice(moves)
        origin, target = mv.split("-")
        assert all(e["file_twice"] == ord(origin[0]) + ord(target[0]) - 2 * ord("a")
                   for e in p.supporting_pivots(mv))
        assert p.supporting_pivots(mv)
        captured = p.piece_at(target) == OTHER[side]
        counts = p.piece_count(side), p.piece_count(OTHER[side])
        p.apply_move(mv)
        assert p.side_to_move() == OTHER[side]
        assert (p.piece_at(origin), p.piece_at(target)) == (None, side)
        assert (p.piece_count(side), p.piece_count(OTHER[side])) == (counts[0], counts[1] - captured)
        assert state(copy) == (side, board)  # the copy did not move
        copy.apply_move(mv)
        assert state(copy) == state(p)
    else:
        pytest.fail("the game did not end")
    assert p.outcome() == OTHER[p.side_to_move()]
    assert not any(p.is_legal_move(mv) for mv in ALL_MOVES)
    assert ply > 50
