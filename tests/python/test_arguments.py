"""How arguments are bound, converted and interpreted: by position or by
keyword, the binding errors and their texts, the type errors with the
parameter's name, and which error wins when several arguments are bad."""

import array
import collections
import datetime
import decimal
import fractions
import io
import itertools
import re

import pytest

from tovak_python import Position, initial_position, parse_move_string
from binding_support import state


KEYWORD_CALLS = [
    ("empty", lambda p: Position.empty(side_to_move="b").side_to_move(), "black"),
    ("is_legal_move", lambda p: p.is_legal_move(mv="a1-b3"), True),
    ("piece_at", lambda p: p.piece_at(square="a8"), "black"),
    ("piece_count", lambda p: p.piece_count(color="w"), 16),
    ("supporting_pivots", lambda p: len(p.supporting_pivots(mv="d1-d3")), 3),
    ("parse_move_string", lambda p: parse_move_string(mv="H8-A1"), "h8-a1"),
    ("set_piece", lambda p: (p.set_piece(square="e4", color="b"), p.piece_at("e4"))[1], "black"),
    ("set_piece-mixed", lambda p: (p.set_piece("b", square="e4"), p.piece_at("e4"))[1], "black"),
    ("clear_square", lambda p: (p.clear_square(square="a1"), p.piece_at("a1"))[1], None),
    ("apply_move", lambda p: (p.apply_move(mv="a1-b3"), p.side_to_move())[1], "black"),
]


@pytest.mark.parametrize("call, expected", [c[1:] for c in KEYWORD_CALLS], ids=[c[0] for c in KEYWORD_CALLS])
def test_every_parameter_can_be_given_by_keyword(call, expected):
    assert call(Position()) == expected


BINDING_ERRORS = [
    (lambda p: p.copy(1), "copy() takes no arguments (1 given)"),
    (lambda p: p.legal_moves(1, 2), "legal_moves() takes no arguments (2 given)"),
    (lambda p: p.outcome(mv="a1-b3"), "outcome() takes no keyword arguments"),
    (lambda p: Position.initial(1), "initial() takes no arguments (1 given)"),
    (lambda p: initial_position(1), "initial_position() takes no arguments (1 given)"),
    (lambda p: p.is_legal_move(), "is_legal_move() missing required argument 'mv' (pos 1)"),
    (lambda p: p.is_legal_move("a1-b3", "b1-a3"), "is_legal_move() takes exactly 1 positional argument (2 given)"),
    (lambda p: p.set_piece("w"), "set_piece() missing required argument 'square' (pos 2)"),
    (lambda p: p.set_piece(square="e4"), "set_piece() missing required argument 'color' (pos 1)"),
    (lambda p: p.set_piece("w", "e4", "x"), "set_piece() takes exactly 2 positional arguments (3 given)"),
    (lambda p: p.set_piece("w", color="b"), "argument for set_piece() given by name ('color') and position (1)"),
    (lambda p: p.is_legal_move(move="a1-b3"), "is_legal_move() got an unexpected keyword argument 'move'"),
    (lambda p: p.apply_move(MV="a1-b3"), "apply_move() got an unexpected keyword argument 'MV'"),
    (lambda p: Position.empty(side="w"), "empty() got an unexpected keyword argument 'side'"),
    (lambda p: parse_move_string(), "parse_move_string() missing required argument 'mv' (pos 1)"),
    (lambda p: p.clear_square("e4", square="e4"),
     "argument for clear_square() given by name ('square') and position (1)"),
]


@pytest.mark.parametrize("call, message", BINDING_ERRORS, ids=[m for _, m in BINDING_ERRORS])
def test_binding_errors_name_the_function_and_the_parameter(call, message):
    p = Position()
    before = state(p)
    with pytest.raises(TypeError) as info:
        call(p)
    assert info.value.args == (message,)
    assert state(p) == before


def test_optional_style_binding():
    p = Position()
    with pytest.raises(TypeError) as info:
        p.ascii_board("discs", "letters")
    assert info.value.args == ("ascii_board() takes at most 1 positional argument (2 given)",)
    assert p.ascii_board() == p.ascii_board(None) == p.ascii_board(style=None)


TYPE_ERRORS = [
    (lambda p: p.piece_at(5), "argument 'square': expected str, got int"),
    (lambda p: p.is_legal_move(b"a1-b3"), "argument 'mv': expected str, got bytes"),
    (lambda p: p.apply_move(None), "argument 'mv': expected str, got NoneType"),
    (lambda p: p.piece_count(["white"]), "argument 'color': expected str, got list"),
    # Both arguments are converted before either is interpreted.
    (lambda p: p.set_piece("purple", 5), "argument 'square': expected str, got int"),
    (lambda p: p.set_piece(5, "z9"), "argument 'color': expected str, got int"),
    (lambda p: p.set_piece(square=5, color="purple"), "argument 'square': expected str, got int"),
    (lambda p: parse_move_string(12), "argument 'mv': expected str, got int"),
]


class Plain:
    pass


class Renamed:
    pass


Renamed.__name__ = "Other"


def interpreter_type_name(value):
    """The type's name as the interpreter's own messages give it (its tp_name)."""
    with pytest.raises(TypeError) as info:
        "" + value
    return re.fullmatch(r'can only concatenate str \(not "(.*)"\) to str', str(info.value)).group(1)


# Built-in types, C types of the standard library that are static or made
# as heap types, inside and outside builtins, and classes written in Python
# (one renamed after its creation).
OTHER_TYPES = [
    3.5, memoryview(b""), int, array.array("b"), re.compile("x"), collections.deque(), decimal.Decimal(1),
    datetime.date(2024, 1, 1), collections.OrderedDict(), io.BytesIO(), itertools.count(), fractions.Fraction(1),
    Plain(), Renamed(), Position(),
]


@pytest.mark.parametrize("value", OTHER_TYPES, ids=lambda v: type(v).__qualname__)
def test_type_errors_name_the_type_as_the_interpreter_does(value):
    with pytest.raises(TypeError) as info:
        Position().piece_at(value)
    assert info.value.args == (f"argument 'square': expected str, got {interpreter_type_name(value)}",)


@pytest.mark.parametrize("call, message", TYPE_ERRORS, ids=[m for _, m in TYPE_ERRORS])
def test_type_errors_carry_the_parameter_name(call, message):
    p = Position()
    before = state(p)
    with pytest.raises(TypeError) as info:
        call(p)
    assert info.value.args == (message,)
    assert state(p) == before


@pytest.mark.parametrize("kwargs, message", [
    ({"color": "purple", "square": "z9"}, "color must be 'white' or 'black'"),
    ({"square": "z9", "color": "purple"}, "color must be 'white' or 'black'"),
    ({"color": "white", "square": "z9"}, "invalid square"),
    ({"color": "blac\u212a", "square": "e4"}, "color must be 'white' or 'black'"),
])
def test_set_piece_reads_the_colour_before_the_square(kwargs, message):
    p = Position()
    before = state(p)
    with pytest.raises(ValueError) as info:
        p.set_piece(**kwargs)
    assert info.value.args == (message,)
    assert state(p) == before


class Text(str):
    pass


def test_a_str_subclass_is_a_text_and_a_keyword_name_is_compared_by_value():
    p = Position()
    p.apply_move(**{Text("mv"): Text("A1-B3")})
    assert p.piece_at(Text("b3")) == "white"
    assert p.side_to_move() == "black"


@pytest.mark.parametrize("call", [
    lambda p: p.apply_move("a1-\udcffb3"),
    lambda p: p.set_piece("\ud800", "e4"),
    lambda p: p.set_piece("white", "e\udc004"),
    lambda p: p.clear_square("\udfff"),
])
def test_a_text_without_utf8_form_raises_the_codec_error_and_changes_nothing(call):
    p = Position()
    before = state(p)
    with pytest.raises(UnicodeEncodeError):
        call(p)
    assert state(p) == before
