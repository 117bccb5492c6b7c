"""The analysis methods: the dicts they return, the conversion of depth and
budget, the counters of the initial position's searches, and the engine's
checked-in signature seen through Python."""

import json
from pathlib import Path

import pytest

from tovak_python import Position
from binding_support import SQUARES, random_game_positions, state

NO_DEADLINE_MS = 10**9
SIGNATURE_FILE = Path(__file__).resolve().parents[1] / "data" / "engine_signature.json"
TIMED_KEYS = ["root_legal_moves", "completed_depth", "nodes", "quiescence_nodes", "timed_out", "best_move", "score",
              "principal_variation"]
FIXED_KEYS = ["best_move", "score", "depth", "principal_variation"]


def finished_position():
    """Black to move with a single piece: no move, White has won."""
    p = Position.empty("black")
    for color, square in [("white", "a1"), ("white", "b1"), ("white", "c1"), ("black", "h8")]:
        p.set_piece(color, square)
    return p


@pytest.mark.parametrize("depth, nodes, quiescence_nodes, best, score", [
    (1, 62, 62, "h1-d3", 1090),
    (2, 521, 459, "h1-d3", 0),
    (3, 23355, 22600, "h1-f3", 1331),
    (4, 46956, 41064, "h1-f3", 1178),
])
def test_initial_position_searches(depth, nodes, quiescence_nodes, best, score):
    result = Position().analyze_timed(depth, NO_DEADLINE_MS)
    assert list(result) == TIMED_KEYS
    assert result["root_legal_moves"] == 62
    assert result["completed_depth"] == depth
    assert (result["nodes"], result["quiescence_nodes"]) == (nodes, quiescence_nodes)
    assert result["timed_out"] is False
    assert (result["best_move"], result["score"]) == (best, score)
    line = result["principal_variation"]
    assert line[0] == best and 1 <= len(line) <= depth


@pytest.mark.parametrize("depth", [0, 1, 2, 3])
def test_analyze_is_the_fixed_depth_line(depth):
    p = Position()
    result = p.analyze(depth)
    assert list(result) == FIXED_KEYS
    assert result["best_move"] == p.best_move(depth)
    assert result["depth"] == depth
    assert isinstance(result["score"], int)
    line = result["principal_variation"]
    assert line[0] == result["best_move"] and 1 <= len(line) <= max(depth, 1)
    assert all(isinstance(m, str) for m in line)


def test_zero_budget_gives_the_fallback_line_and_says_it_timed_out():
    p = Position()
    result = p.analyze_timed(3, 0)
    assert result == {"root_legal_moves": 62, "completed_depth": 0, "nodes": 0, "quiescence_nodes": 0,
                      "timed_out": True, "best_move": "h1-a3", "score": p.evaluate(),
                      "principal_variation": ["h1-a3"]}


@pytest.mark.parametrize("budget_ms", [0, 1, NO_DEADLINE_MS, 2**64 - 1])
def test_depth_zero_searches_nothing(budget_ms):
    p = Position()
    result = p.analyze_timed(0, budget_ms)
    assert (result["nodes"], result["quiescence_nodes"], result["timed_out"]) == (0, 0, False)
    assert (result["completed_depth"], result["best_move"], result["principal_variation"]) == (0, "h1-a3",
                                                                                               ["h1-a3"])


def test_a_finished_position_has_no_line():
    p = finished_position()
    assert p.evaluate() == -100000
    assert [p.best_move(d) for d in (0, 1, 3)] == [None, None, None]
    assert [p.analyze(d) for d in (0, 1, 3)] == [None, None, None]
    result = p.analyze_timed(2, 100)
    assert list(result) == TIMED_KEYS
    assert (result["root_legal_moves"], result["best_move"], result["score"], result["principal_variation"]) == (
        0, None, None, [])


def test_results_are_new_and_repeatable():
    p = Position()
    first, second = p.analyze_timed(2, NO_DEADLINE_MS), p.analyze_timed(2, NO_DEADLINE_MS)
    assert first == second and first is not second
    assert first["principal_variation"] is not second["principal_variation"]
    assert p.analyze(2) == p.analyze(2)


@pytest.mark.parametrize("call", [
    lambda p: p.evaluate(), lambda p: p.best_move(2), lambda p: p.analyze(2),
    lambda p: p.analyze_timed(3, NO_DEADLINE_MS), lambda p: p.analyze_timed(3, 0),
])
@pytest.mark.parametrize("position", random_game_positions(11, 30)[::10], ids=lambda p: "game")
def test_analysis_leaves_the_position_unchanged(call, position):
    before, moves = state(position), position.legal_moves()
    call(position)
    assert state(position) == before and position.legal_moves() == moves


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize("depth", [True, Index(1), 1])
def test_depth_accepts_any_index(depth):
    assert Position().analyze(depth) == Position().analyze(1)


@pytest.mark.parametrize("call, message", [
    (lambda p: p.best_move(256), "unsigned byte integer is greater than maximum"),
    (lambda p: p.analyze(-1), "unsigned byte integer is less than minimum"),
    (lambda p: p.analyze(Index(300)), "unsigned byte integer is greater than maximum"),
    (lambda p: p.analyze_timed(256, "x"), "unsigned byte integer is greater than maximum"),
    (lambda p: p.analyze_timed(1, -1), "can't convert negative int to unsigned"),
    (lambda p: p.analyze_timed(1, 2**64), "int too big to convert"),
    (lambda p: p.analyze_timed(budget_ms="x", depth=300), "unsigned byte integer is greater than maximum"),
])
def test_out_of_range_integers_raise_overflow_error(call, message):
    with pytest.raises(OverflowError) as info:
        call(Position())
    assert info.value.args == (message,)


@pytest.mark.parametrize("call, message", [
    (lambda p: p.best_move(1.0), "argument 'depth': 'float' object cannot be interpreted as an integer"),
    (lambda p: p.analyze("3"), "argument 'depth': 'str' object cannot be interpreted as an integer"),
    (lambda p: p.analyze_timed("x", -1), "argument 'depth': 'str' object cannot be interpreted as an integer"),
    (lambda p: p.analyze_timed(1, 1.5), "argument 'budget_ms': 'float' object cannot be interpreted as an integer"),
    (lambda p: p.analyze_timed(1, None),
     "argument 'budget_ms': 'NoneType' object cannot be interpreted as an integer"),
])
def test_wrong_integer_types_raise_type_error_with_the_parameter_name(call, message):
    with pytest.raises(TypeError) as info:
        call(Position())
    assert info.value.args == (message,)
    assert type(info.value.__cause__) is TypeError  # the interpreter's own error is kept as the cause


class EditsTheAnalysedPosition:
    def __init__(self, position):
        self.position = position
        self.seen = []

    def __index__(self):
        try:
            self.position.set_piece("black", "e4")
        except RuntimeError as error:
            self.seen.append(str(error))
        self.seen.append(self.position.side_to_move())
        # A budget the search cannot run out of on a loaded machine: the
        # test is about the access, not the clock.
        return 60_000


def test_the_position_cannot_be_edited_while_it_is_analysed():
    p = Position()
    hostile = EditsTheAnalysedPosition(p)
    assert p.analyze_timed(1, hostile)["best_move"] == "h1-d3"
    assert hostile.seen == ["Already borrowed", "white"]
    assert p.piece_at("e4") is None
    p.set_piece("black", "e4")  # the access was given back
    assert p.piece_at("e4") == "black"


def test_access_is_given_back_after_a_failed_call():
    p = Position()
    for call in (lambda: p.analyze(256), lambda: p.analyze_timed(1, -1), lambda: p.best_move("x")):
        with pytest.raises((OverflowError, TypeError)):
            call()
    p.apply_move("a1-b3")
    assert p.side_to_move() == "black"


def signature_positions():
    return json.loads(SIGNATURE_FILE.read_text())["positions"]


def position_from_sets(entry):
    p = Position.empty(entry["side_to_move"])
    for color in ("white", "black"):
        occupied = int(entry[color], 16)
        for index, square in enumerate(SQUARES):
            if occupied >> index & 1:
                p.set_piece(color, square)
    return p


@pytest.mark.parametrize("entry", signature_positions(), ids=lambda e: e["name"])
def test_engine_signature_through_python(entry):
    """The engine's checked-in counts and lines, key order included, as the
    module reports them."""
    budget_ms = json.loads(SIGNATURE_FILE.read_text())["budget_ms"]
    p = position_from_sets(entry)
    for case in entry["analyze_iterative"]:
        result = p.analyze_timed(case["depth"], budget_ms)
        assert list(result.items()) == list(case["result"].items()), case["depth"]
    for case in entry["best_move"]:
        result = p.analyze(case["depth"])
        expected = case["result"]
        assert (None if result is None else list(result.items())) == (
            None if expected is None else list(expected.items())), case["depth"]
        assert p.best_move(case["depth"]) == (None if expected is None else expected["best_move"])
