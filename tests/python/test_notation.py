import random

import pytest
from binding_support import random_plies
from tovak_python import Position

from tovak.notation import SQUARES, from_text, square_index, to_text

INITIAL_TEXT = (
    "W:a1,b1,c1,d1,e1,f1,g1,h1,a2,b2,c2,d2,e2,f2,g2,h2 "
    "B:a7,b7,c7,d7,e7,f7,g7,h7,a8,b8,c8,d8,e8,f8,g8,h8 w"
)


def placement(position):
    return [position.piece_at(square) for square in SQUARES], position.side_to_move()


def random_position(rng):
    """Any placement the module can hold: each square white, black or empty."""
    position = Position.empty(rng.choice(["white", "black"]))
    density = rng.random()
    for square in SQUARES:
        if rng.random() < density:
            position.set_piece(rng.choice(["white", "black"]), square)
    return position


def test_squares_are_in_board_index_order():
    assert len(SQUARES) == 64
    assert (SQUARES[0], SQUARES[7], SQUARES[8], SQUARES[28], SQUARES[63]) == ("a1", "h1", "a2", "e4", "h8")
    assert [square_index(s) for s in SQUARES] == list(range(64))


def test_initial_position_text():
    assert to_text(Position()) == INITIAL_TEXT
    assert placement(from_text(INITIAL_TEXT)) == placement(Position())


@pytest.mark.parametrize(
    "text",
    [
        "W:- B:- w",
        "W:- B:- b",
        "W:a1,b1,c1 B:h8 w",
        "W:- B:a1,h8 b",
        "W:e4 B:- w",
        "W:" + ",".join(SQUARES) + " B:- b",
        "W:- B:" + ",".join(SQUARES) + " w",
    ],
)
def test_canonical_texts_round_trip(text):
    assert to_text(from_text(text)) == text


def test_every_random_placement_round_trips():
    rng = random.Random(20240611)
    for _ in range(300):
        position = random_position(rng)
        text = to_text(position)
        assert placement(from_text(text)) == placement(position), text
        assert to_text(from_text(text)) == text


def test_positions_of_random_games_round_trip():
    rng = random.Random(7)
    for _ in range(5):
        position = Position()
        for _ in random_plies(rng, 80, position):
            again = from_text(to_text(position))
            assert placement(again) == placement(position)
            assert again.legal_moves() == position.legal_moves()


@pytest.mark.parametrize(
    "text, canonical",
    [
        ("w:A1,B1,C1 b:H8 W", "W:a1,b1,c1 B:h8 w"),
        ("  W:c1,a1,b1\tB:h8   w \n", "W:a1,b1,c1 B:h8 w"),
        ("W: B: b", "W:- B:- b"),
        ("W:a1 B:- white", "W:a1 B:- w"),
        ("W:a1 B:- BLACK", "W:a1 B:- b"),
    ],
)
def test_lenient_spellings_read_as_canonical(text, canonical):
    assert to_text(from_text(text)) == canonical


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "three fields"),
        ("W:a1 B:h8", "three fields"),
        ("W:a1 B:h8 w extra", "three fields"),
        ("X:a1 B:h8 w", "bad White squares field: expected it to start with 'W:'"),
        ("B:h8 W:a1 w", "bad White squares field"),
        ("W:a1,z9 B:h8 w", "bad White squares field: 'z9' is not a square"),
        ("W:a1,,b1 B:h8 w", "bad White squares field: empty square name"),
        ("W:a1, B:h8 w", "bad White squares field: empty square name"),
        ("W:a1,a1 B:h8 w", "bad White squares field: 'a1' is listed twice"),
        ("W:a1,A1 B:h8 w", "bad White squares field: 'a1' is listed twice"),
        ("W:a1 B:h8,i1 w", "bad Black squares field: 'i1' is not a square"),
        ("W:a1 B:h9 w", "bad Black squares field: 'h9' is not a square"),
        ("W:a1 B:e44 w", "bad Black squares field: 'e44' is not a square"),
        ("W:a1 Bh8 w", "bad Black squares field: expected it to start with 'B:'"),
        ("W:a1 B:a1 w", "bad Black squares field: 'a1' is also in the White squares field"),
        ("W:a1 B:h8 x", "bad side-to-move field: expected 'w' or 'b', got 'x'"),
        ("W:a1 B:h8 whites", "bad side-to-move field"),
        # Only ASCII capitals fold: a Kelvin sign or a fullwidth letter is no square.
        ("W:\u212a1 B:h8 w", "bad White squares field"),
        ("W:\uff41\uff11 B:h8 w", "bad White squares field"),
        ("W:a1 B:h8 \u0175", "bad side-to-move field"),
    ],
)
def test_malformed_text_names_the_bad_field(text, message):
    with pytest.raises(ValueError) as raised:
        from_text(text)
    assert message in str(raised.value)


@pytest.mark.parametrize("value", [None, 3, b"W:- B:- w"])
def test_non_text_is_a_type_error(value):
    with pytest.raises(TypeError):
        from_text(value)
