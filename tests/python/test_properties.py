"""Property-based tests: random sequences of edits, moves, copies and failed
calls, with the position's invariants checked after every step, and the
notation parsers against the rules on arbitrary texts."""

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.stateful import RuleBasedStateMachine, invariant, precondition, rule, initialize

import tovak_python
from tovak_python import Position
from reliability_support import (
    COLOR_MESSAGE,
    color_error,
    move_error,
    snapshot,
    square_error,
    style_error,
    utf8,
)
from rules_reference import (
    ALL_MOVES,
    OTHER,
    SQUARES,
    reference_legal_moves,
    reference_move_error,
    reference_supporting_pivots,
)

# Fixed examples (the same every run) and no example database in the checkout.
PROPERTY_SETTINGS = dict(database=None, derandomize=True, deadline=None,
                         suppress_health_check=[HealthCheck.too_slow])

squares = st.sampled_from(SQUARES)
colors = st.sampled_from(["white", "black"])
# Notation-like characters most of the time, any code point (lone surrogates
# included) now and then.
notation_chars = st.one_of(
    st.sampled_from(list("abcdefghABCDEFGHiz0189-- \x00wWhHiItTeEbBlLaAcCkKsSdDuUnNoOr")),
    st.characters(exclude_categories=()),
    st.characters(min_codepoint=0xD800, max_codepoint=0xDFFF),
)
texts = st.text(notation_chars, max_size=12)


def check_supporting_pivots(p, mv, side, board):
    """A listed move has its pairs, exactly those of the rules, keys in order."""
    entries = p.supporting_pivots(mv)
    assert entries == reference_supporting_pivots(board, side, mv) != [], mv
    assert all(list(entry) == ["supports", "file_twice", "rank_twice", "center_square"] for entry in entries)


class Model:
    """What a position must hold: the board as a dict and the side to move."""

    def __init__(self, board, side):
        self.board = dict(board)
        self.side = side

    def copy(self):
        return Model(self.board, self.side)

    def apply(self, mv):
        origin, target = mv.split("-")
        self.board[target] = self.board.pop(origin)
        self.side = OTHER[self.side]


INITIAL_BOARD = {sq: ("white" if sq[1] in "12" else "black") for sq in SQUARES if sq[1] in "1278"}


class PositionMachine(RuleBasedStateMachine):
    """Several positions (an original and its copies), each with its model.
    Every rule acts on one of them; the invariants check all of them, so a
    copy that shares state with its original shows at once."""

    @initialize(start=st.sampled_from(["initial", "empty-white", "empty-black"]))
    def start(self, start):
        if start == "initial":
            self.positions = [(Position(), Model(INITIAL_BOARD, "white"))]
        else:
            side = start.split("-")[1]
            self.positions = [(Position.empty(side), Model({}, side))]

    def pick(self, index):
        return self.positions[index % len(self.positions)]

    @rule(index=st.integers(0, 7), color=colors, square=squares)
    def set_piece(self, index, color, square):
        p, model = self.pick(index)
        p.set_piece(color, square)
        model.board[square] = color

    @rule(index=st.integers(0, 7), square=squares)
    def clear_square(self, index, square):
        p, model = self.pick(index)
        p.clear_square(square)
        model.board.pop(square, None)

    @rule(index=st.integers(0, 7), choice=st.integers(0, 10**6))
    def apply_listed_move(self, index, choice):
        p, model = self.pick(index)
        listed = p.legal_moves()
        if listed:
            mv = listed[choice % len(listed)]
            p.apply_move(mv)
            model.apply(mv)

    @rule(index=st.integers(0, 7), mv=st.sampled_from(ALL_MOVES))
    def apply_any_move(self, index, mv):
        p, model = self.pick(index)
        reason = reference_move_error(model.board, model.side, mv)
        if reason is None:
            p.apply_move(mv)
            model.apply(mv)
        else:
            before = snapshot(p)
            with pytest.raises(ValueError) as info:
                p.apply_move(mv)
            assert info.value.args == (reason,)
            assert snapshot(p) == before

    @precondition(lambda self: len(self.positions) < 4)
    @rule(index=st.integers(0, 7))
    def copy(self, index):
        p, model = self.pick(index)
        self.positions.append((p.copy(), model.copy()))

    @rule(index=st.integers(0, 7), method=st.sampled_from(
        ["apply_move", "is_legal_move", "piece_at", "clear_square", "set_piece", "piece_count", "empty",
         "supporting_pivots"]), text=texts)
    def failed_call(self, index, method, text):
        """A call with an arbitrary text: it succeeds only when the text is
        valid there, and otherwise raises without changing anything."""
        p, model = self.pick(index)
        before = snapshot(p)
        calls = {
            "apply_move": (lambda: p.apply_move(text), move_error(text)),
            "is_legal_move": (lambda: p.is_legal_move(text), move_error(text)),
            "supporting_pivots": (lambda: p.supporting_pivots(text), move_error(text)),
            "piece_at": (lambda: p.piece_at(text), square_error(text)),
            "clear_square": (lambda: p.clear_square(text), square_error(text)),
            "set_piece": (lambda: p.set_piece(text, "z9"), color_error(text) or "invalid square"),
            "piece_count": (lambda: p.piece_count(text), color_error(text)),
            "empty": (lambda: Position.empty(text), color_error(text)),
        }
        call, message = calls[method]
        if message is None:
            return  # a valid text: not a failed call
        with pytest.raises(ValueError) as info:
            call()
        if utf8(text) is not None:
            assert info.value.args == (message,)
        assert snapshot(p) == before

    @invariant()
    def positions_match_their_models(self):
        for p, model in self.positions:
            assert p.side_to_move() == model.side
            assert {sq: p.piece_at(sq) for sq in SQUARES if p.piece_at(sq)} == model.board
            for color in ("white", "black"):
                assert p.piece_count(color) == sum(1 for c in model.board.values() if c == color)

    @invariant()
    def moves_outcome_and_pivots_agree(self):
        p, model = self.positions[-1]
        listed = p.legal_moves()
        assert len(set(listed)) == len(listed)
        assert listed == reference_legal_moves(model.board, model.side)
        assert all(p.is_legal_move(mv) for mv in listed)
        # A rotating eighth of all from/to pairs after each step, all of them at the end.
        self.steps = getattr(self, "steps", 0) + 1
        legal = set(listed)
        for mv in ALL_MOVES[self.steps % 8::8]:
            assert p.is_legal_move(mv) is (mv in legal)
        assert p.outcome() == (None if listed else OTHER[model.side])
        for mv in listed[:: max(1, len(listed) // 12)]:
            check_supporting_pivots(p, mv, model.side, model.board)

    def teardown(self):
        for p, model in getattr(self, "positions", []):
            legal = set(p.legal_moves())
            assert {mv for mv in ALL_MOVES if p.is_legal_move(mv)} == legal
            for mv in legal:
                check_supporting_pivots(p, mv, model.side, model.board)


PositionMachine.TestCase.settings = settings(max_examples=60, stateful_step_count=25, **PROPERTY_SETTINGS)
TestPositionMachine = PositionMachine.TestCase


# --- parsers on arbitrary texts ----------------------------------------------

def raised(call):
    try:
        return call(), None
    except ValueError as error:
        return None, error


@settings(max_examples=400, **PROPERTY_SETTINGS)
@given(texts)
def test_move_texts_parse_exactly_by_the_rules(text):
    value, error = raised(lambda: tovak_python.parse_move_string(text))
    expected = move_error(text)
    if expected is None:
        assert error is None
        # A parsed move's text parses to the same move.
        assert value == text.lower() and tovak_python.parse_move_string(value) == value
    elif utf8(text) is not None:
        assert error.args == (expected,)
    else:
        assert error is not None


@settings(max_examples=400, **PROPERTY_SETTINGS)
@given(texts)
def test_square_and_colour_texts_parse_exactly_by_the_rules(text):
    p = Position()
    value, error = raised(lambda: p.piece_at(text))
    if square_error(text) is None:
        assert error is None and value == INITIAL_BOARD.get(text.lower())
    else:
        assert error is not None and (utf8(text) is None or error.args == ("invalid square",))
    value, error = raised(lambda: p.piece_count(text))
    if color_error(text) is None:
        assert error is None and value == 16
    else:
        assert error is not None and (utf8(text) is None or error.args == (COLOR_MESSAGE,))


@settings(max_examples=300, **PROPERTY_SETTINGS)
@given(texts)
def test_style_names_parse_exactly_by_the_rules(text):
    p = Position()
    value, error = raised(lambda: p.ascii_board(text))
    if style_error(text) is None:
        letters = text.lower() in ("letters", "ascii")
        assert error is None and value == p.ascii_board("letters" if letters else "discs")
    else:
        assert error is not None and (utf8(text) is None or error.args == (style_error(text),))


# --- generation order on random placements -----------------------------------

placements = st.dictionaries(squares, colors, max_size=24)


@settings(max_examples=300, **PROPERTY_SETTINGS)
@given(placements, colors)
def test_legal_moves_follow_the_pair_loop_on_any_placement(board, side):
    p = Position.empty(side)
    for square, color in board.items():
        p.set_piece(color, square)
    listed = p.legal_moves()
    assert listed == reference_legal_moves(board, side)
    assert p.outcome() == (None if listed else OTHER[side])
    for mv in listed:
        check_supporting_pivots(p, mv, side, board)
