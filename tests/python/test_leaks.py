"""No leaks: every method on its success path and on each of its error paths,
called thousands of times, leaves the interpreter's count of allocated
blocks flat; references to arguments, receivers and results are given back;
and repeated analyses do not grow the process (the table is freed each time).
"""

import gc
import sys

import pytest

import tovak_python
from tovak_python import Position


class IndexRaises:
    def __index__(self):
        raise ZeroDivisionError("no index")


FINISHED = Position.empty("white")  # no pieces: White has no move and has lost
FINISHED.set_piece("black", "h8")


def make_calls():
    """(id, call, exception or None); each call leaves the shared positions
    as it found them."""
    p = Position()
    q = Position()
    q.apply_move("a1-b3")  # a game in progress, Black to move
    obj = object()
    calls = [
        ("Position", lambda: Position(), None),
        ("Position-extra", lambda: Position(1), TypeError),
        ("Position-keyword", lambda: Position(x=1), TypeError),
        ("initial", lambda: Position.initial(), None),
        ("initial_position", lambda: tovak_python.initial_position(), None),
        ("empty", lambda: Position.empty("b"), None),
        ("empty-bad-text", lambda: Position.empty("purple"), ValueError),
        ("empty-bad-type", lambda: Position.empty(obj), TypeError),
        ("empty-missing", lambda: Position.empty(), TypeError),
        ("copy", lambda: p.copy(), None),
        ("copy-bad-receiver", lambda: Position.copy(obj), TypeError),
        ("copy-extra", lambda: p.copy(1), TypeError),
        ("parse_move_string", lambda: tovak_python.parse_move_string("E2-E4"), None),
        ("parse_move_string-format", lambda: tovak_python.parse_move_string("e2-e4-"), ValueError),
        ("parse_move_string-square", lambda: tovak_python.parse_move_string("e2-z9"), ValueError),
        ("parse_move_string-surrogate", lambda: tovak_python.parse_move_string("\ud800"), ValueError),
        ("parse_move_string-type", lambda: tovak_python.parse_move_string(b"e2-e4"), TypeError),
        ("parse_move_string-keyword", lambda: tovak_python.parse_move_string(move="e2-e4"), TypeError),
        ("side_to_move", lambda: q.side_to_move(), None),
        ("legal_moves", lambda: p.legal_moves(), None),
        ("legal_moves-none", lambda: FINISHED.legal_moves(), None),
        ("is_legal_move-true", lambda: p.is_legal_move("a1-b3"), None),
        ("is_legal_move-false", lambda: p.is_legal_move("e2-e4"), None),
        ("is_legal_move-bad-text", lambda: p.is_legal_move("e2e4"), ValueError),
        ("is_legal_move-bad-type", lambda: p.is_legal_move(12), TypeError),
        ("apply_move", lambda: Position().apply_move("a1-b3"), None),
        ("apply_move-same-square", lambda: p.apply_move("a1-a1"), ValueError),
        ("apply_move-not-own", lambda: p.apply_move("a7-a6"), ValueError),
        ("apply_move-empty-origin", lambda: p.apply_move("a3-a4"), ValueError),
        ("apply_move-friendly", lambda: p.apply_move("a1-a2"), ValueError),
        ("apply_move-no-pivot", lambda: p.apply_move("e2-e4"), ValueError),
        ("apply_move-bad-text", lambda: p.apply_move("e2-"), ValueError),
        ("apply_move-bad-type", lambda: p.apply_move(None), TypeError),
        ("apply_move-repeated", lambda: p.apply_move("a1-b3", mv="a1-b3"), TypeError),
        ("piece_at-white", lambda: p.piece_at("a1"), None),
        ("piece_at-none", lambda: p.piece_at("e4"), None),
        ("piece_at-bad-text", lambda: p.piece_at("e9"), ValueError),
        ("piece_at-bad-type", lambda: p.piece_at(1.5), TypeError),
        ("set_piece", lambda: p.set_piece("white", "a1"), None),
        ("set_piece-bad-color", lambda: p.set_piece("purple", "a1"), ValueError),
        ("set_piece-bad-square", lambda: p.set_piece("white", "a9"), ValueError),
        ("set_piece-bad-type", lambda: p.set_piece("white", obj), TypeError),
        ("clear_square", lambda: p.clear_square("e4"), None),
        ("clear_square-bad-text", lambda: p.clear_square("e44"), ValueError),
        ("clear_square-bad-type", lambda: p.clear_square([]), TypeError),
        ("piece_count", lambda: p.piece_count("black"), None),
        ("piece_count-bad-text", lambda: p.piece_count(""), ValueError),
        ("piece_count-bad-type", lambda: p.piece_count(b"w"), TypeError),
        ("outcome-none", lambda: p.outcome(), None),
        ("outcome-winner", lambda: FINISHED.outcome(), None),
        ("supporting_pivots", lambda: p.supporting_pivots("d1-d3"), None),
        ("supporting_pivots-empty", lambda: p.supporting_pivots("e2-e4"), None),
        ("supporting_pivots-bad-text", lambda: p.supporting_pivots("zz"), ValueError),
        ("supporting_pivots-bad-type", lambda: p.supporting_pivots(obj), TypeError),
        ("ascii_board", lambda: p.ascii_board(), None),
        ("ascii_board-letters", lambda: q.ascii_board("LETTERS"), None),
        ("ascii_board-bad-text", lambda: p.ascii_board("letter"), ValueError),
        ("ascii_board-bad-type", lambda: p.ascii_board(1), TypeError),
        ("svg_board", lambda: q.svg_board(), None),
        ("svg_board-extra", lambda: q.svg_board(None), TypeError),
        ("svg_for_move", lambda: p.svg_for_move("d1-d3"), None),
        ("svg_for_move-bad-text", lambda: p.svg_for_move("d1-d9"), ValueError),
        ("svg_for_move-bad-type", lambda: p.svg_for_move(3), TypeError),
        ("evaluate", lambda: q.evaluate(), None),
        ("evaluate-extra", lambda: q.evaluate(1), TypeError),
        ("best_move-depth-type", lambda: p.best_move("1"), TypeError),
        ("best_move-depth-range", lambda: p.best_move(256), OverflowError),
        ("best_move-index-raises", lambda: p.best_move(IndexRaises()), ZeroDivisionError),
        ("best_move-finished", lambda: FINISHED.best_move(2), None),
        ("analyze-finished", lambda: FINISHED.analyze(2), None),
        ("analyze-depth-range", lambda: p.analyze(-1), OverflowError),
        ("analyze_timed-finished", lambda: FINISHED.analyze_timed(2, 10), None),
        ("analyze_timed-zero-budget", lambda: p.analyze_timed(3, 0), None),
        ("analyze_timed-depth-zero", lambda: p.analyze_timed(0, 10), None),
        ("analyze_timed-budget-type", lambda: p.analyze_timed(1, 1.0), TypeError),
        ("analyze_timed-budget-range", lambda: p.analyze_timed(1, 2**64), OverflowError),
    ]
    return calls


# Searches are slower: fewer calls, still hundreds per round.
SEARCH_CALLS = [
    ("best_move", lambda p: p.best_move(1)),
    ("analyze", lambda p: p.analyze(1)),
    ("analyze_timed", lambda p: p.analyze_timed(2, 1000)),
]

CALLS = make_calls()


def run(call, exception, n):
    if exception is None:
        for _ in range(n):
            call()
    else:
        for _ in range(n):
            try:
                call()
            except exception:
                pass
            else:
                raise AssertionError("the call did not raise")


def block_growth(call, exception, n, rounds=3):
    """Allocated-block counts after each of `rounds` rounds of n calls,
    following one warm-up round; returns the growth from first to last."""
    run(call, exception, n)
    counts = []
    for _ in range(rounds):
        run(call, exception, n)
        gc.collect()
        counts.append(sys.getallocatedblocks())
    return counts[-1] - counts[0]


@pytest.mark.parametrize("call_id, call, exception", CALLS, ids=[c[0] for c in CALLS])
def test_repeated_calls_leave_allocated_blocks_flat(call_id, call, exception):
    n = 2000
    # One block lost per call would be 2 * n; interpreter caches account for a few.
    assert block_growth(call, exception, n) < 40


@pytest.mark.parametrize("call_id, call", SEARCH_CALLS, ids=[c[0] for c in SEARCH_CALLS])
def test_repeated_searches_leave_allocated_blocks_flat(call_id, call):
    p = Position()
    assert block_growth(lambda: call(p), None, 150) < 40


def test_creating_and_dropping_positions_leaves_allocated_blocks_flat():
    def churn():
        positions = [Position(), Position.empty("white"), tovak_python.initial_position()]
        positions.append(positions[0].copy())
        positions[-1].apply_move("a1-b3")

    assert block_growth(churn, None, 2000) < 40


def fresh_text(text):
    """An equal text that is a new object (not a shared constant)."""
    return "".join(list(text))


def test_arguments_and_receiver_references_are_given_back():
    p = Position()
    good_square, bad_square = fresh_text("a1"), fresh_text("a9")
    good_move, bad_move = fresh_text("a1-b3"), fresh_text("a1-a1")
    color, obj = fresh_text("white"), object()
    failing = [lambda: p.piece_at(bad_square), lambda: p.apply_move(bad_move), lambda: p.piece_at(obj),
               lambda: p.set_piece(color, obj), lambda: p.set_piece(bad_square, good_square)]
    watched = [p, good_square, bad_square, good_move, bad_move, color, obj]
    before = [sys.getrefcount(x) for x in watched]
    for _ in range(1000):
        p.piece_at(good_square)
        p.is_legal_move(good_move)
        p.supporting_pivots(good_move)
        p.piece_count(color)
        p.set_piece(color, good_square)
        for call in failing:
            try:
                call()
            except (ValueError, TypeError):
                pass
    assert [sys.getrefcount(x) for x in watched] == before


def resident_bytes():
    with open("/proc/self/statm") as statm:
        pages = int(statm.read().split()[1])
    return pages * 4096


@pytest.mark.parametrize("analysis", ["analyze", "analyze_timed"])
def test_repeated_analyses_keep_process_memory_flat(analysis):
    p = Position()
    call = (lambda: p.analyze(1)) if analysis == "analyze" else (lambda: p.analyze_timed(1, 1000))
    for _ in range(20):
        call()
    start = resident_bytes()
    for _ in range(200):
        call()
    # Each analysis builds a table of 65,536 entries (about a megabyte):
    # keeping them would grow the process by some 200 MB.
    assert resident_bytes() - start < 24 * 1024 * 1024
