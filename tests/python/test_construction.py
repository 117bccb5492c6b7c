"""Every way of obtaining a Position, copying, and parse_move_string."""

import pytest

import tovak_python
from tovak_python import Position, initial_position, parse_move_string
from binding_support import state
from rules_reference import SQUARES

INITIAL_BOARD = tuple("white" if i < 16 else "black" if i >= 48 else None for i in range(64))

FACTORIES = {
    "class": Position,
    "initial": Position.initial,
    "initial-on-instance": lambda: Position.empty("b").initial(),
    "initial_position": initial_position,
    "keywordless-star-star": lambda: Position(**{}),
}


@pytest.mark.parametrize("make", FACTORIES.values(), ids=FACTORIES.keys())
def test_every_factory_gives_a_new_initial_position(make):
    p, q = make(), make()
    assert type(p) is Position and p is not q
    assert state(p) == ("white", INITIAL_BOARD)
    assert (p.piece_count("white"), p.piece_count("black")) == (16, 16)
    assert p.legal_moves() == Position().legal_moves()
    assert p.outcome() is None


@pytest.mark.parametrize("args, kwargs", [((1,), {}), (("white",), {}), ((), {"side_to_move": "white"}),
                                          ((), {"x": 1})])
def test_constructor_takes_no_arguments(args, kwargs):
    with pytest.raises(TypeError) as info:
        Position(*args, **kwargs)
    assert info.value.args == ("Position() takes no arguments",)


@pytest.mark.parametrize("call, side", [
    (lambda: Position.empty("W"), "white"),
    (lambda: Position.empty(side_to_move="white"), "white"),
    (lambda: Position.empty("w"), "white"),
    (lambda: Position.empty("WhItE"), "white"),
    (lambda: Position.empty("BLACK"), "black"),
    (lambda: Position.empty("b"), "black"),
    (lambda: Position().empty(side_to_move="Black"), "black"),
])
def test_empty_gives_a_bare_board_with_the_side_to_move(call, side):
    p = call()
    assert state(p) == (side, (None,) * 64)
    assert p.legal_moves() == []
    assert p.outcome() == {"white": "black", "black": "white"}[side]


@pytest.mark.parametrize("text", ["", " white", "white ", "whites", "wh", "bl", "white\x00", "blac\u212a",
                                  "\uff57", "0"])
def test_empty_refuses_other_colour_texts(text):
    with pytest.raises(ValueError) as info:
        Position.empty(text)
    assert info.value.args == ("color must be 'white' or 'black'",)


@pytest.mark.parametrize("value, type_name", [(0, "int"), (None, "NoneType"), (b"white", "bytes")])
def test_empty_refuses_a_non_text(value, type_name):
    with pytest.raises(TypeError) as info:
        Position.empty(value)
    assert str(info.value) == f"argument 'side_to_move': expected str, got {type_name}"


def test_copy_is_independent_both_ways():
    p = Position()
    q = p.copy()
    q.apply_move("a1-b3")
    assert state(p) == ("white", INITIAL_BOARD)
    p.set_piece("black", "e4")
    assert q.piece_at("e4") is None and p.piece_at("e4") == "black"
    assert q.side_to_move() == "black" and p.side_to_move() == "white"


def test_copy_keeps_every_field_of_an_edited_position():
    p = Position.empty("black")
    for square in ("a1", "c3", "h8", "d5"):
        p.set_piece("white" if square < "d" else "black", square)
    q = p.copy()
    assert type(q) is Position and q is not p
    assert state(q) == state(p)
    assert q.legal_moves() == p.legal_moves()
    assert [q.is_legal_move(m) for m in ("d5-h8", "h8-d5")] == [p.is_legal_move(m) for m in ("d5-h8", "h8-d5")]


def test_copy_through_the_class_needs_a_position():
    assert state(Position.copy(Position())) == ("white", INITIAL_BOARD)
    with pytest.raises(TypeError):
        Position.copy(3)


@pytest.mark.parametrize("text, canonical", [
    ("E2-E4", "e2-e4"), ("e2-e4", "e2-e4"), ("E2-e4", "e2-e4"), ("A1-B2", "a1-b2"), ("a1-a1", "a1-a1"),
    ("h8-a1", "h8-a1"), ("e3-e3", "e3-e3"),
])
def test_parse_move_string_gives_the_canonical_text(text, canonical):
    assert parse_move_string(text) == canonical
    assert parse_move_string(mv=text) == canonical


@pytest.mark.parametrize("text, message", [
    ("a1", "invalid move format"),
    ("e2", "invalid move format"),
    ("e2-e4-", "invalid move format"),
    ("e2-e4-e5", "invalid move format"),
    ("e2-e4-zz", "invalid move format"),
    ("a9-a1", "invalid square in move"),
    ("e2e4", "invalid square in move"),
    ("zz", "invalid square in move"),
    ("e2-", "invalid square in move"),
    ("-e4", "invalid square in move"),
    ("e2 -e4", "invalid square in move"),
    ("e2-z9-a1", "invalid square in move"),
    ("", "invalid square in move"),
    ("e2\u2013e4", "invalid square in move"),
    ("\uff45\uff12-e4", "invalid square in move"),
    ("e2-e4\x00", "invalid square in move"),
])
def test_parse_move_string_reports_the_first_failing_rule(text, message):
    with pytest.raises(ValueError) as info:
        parse_move_string(text)
    assert info.value.args == (message,)


def test_parse_move_string_round_trips_every_move():
    texts = [a + "-" + b for a in SQUARES for b in SQUARES]
    assert [parse_move_string(t.upper()) for t in texts] == texts


def test_results_are_shared_immutable_texts_but_fresh_lists():
    p = Position()
    first, second = p.legal_moves(), p.legal_moves()
    assert first == second and first is not second
    first.clear()
    assert len(p.legal_moves()) == 62
    assert tovak_python.parse_move_string("A1-B3") == p.legal_moves()[0]
