"""Threads: Python threads using separate positions, several threads reading
one position, and readers alongside a writer, with the interpreter switching
threads as often as it can. Every result must equal the one computed on a
single thread, and no call may meet another's access to the same object."""

import random
import sys
import threading

import pytest

from tovak_python import Position

THREADS = 4


@pytest.fixture(autouse=True)
def frequent_switches():
    old = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    yield
    sys.setswitchinterval(old)


def run_threads(targets):
    """Runs each target on its own thread, started together; re-raises the
    first failure of any of them."""
    errors = []
    start = threading.Barrier(len(targets))

    def wrap(target):
        def body():
            start.wait()
            try:
                target()
            except BaseException as error:  # reported to the main thread below
                errors.append(error)
        return body

    threads = [threading.Thread(target=wrap(t)) for t in targets]
    for t in threads:
        t.start()
    for t in threads:
        t.join(timeout=120)
        assert not t.is_alive(), "a thread did not finish"
    if errors:
        raise errors[0]


def play_record(seed, plies=40):
    """A seeded random game with edits, recording what every step shows."""
    rng = random.Random(seed)
    p = Position()
    record = []
    for step in range(plies):
        moves = p.legal_moves()
        if not moves or step % 9 == 8:
            square = "abcdefgh"[rng.randrange(8)] + "12345678"[rng.randrange(8)]
            p.set_piece(rng.choice(["white", "black"]), square)
            moves = p.legal_moves()
        if moves:
            mv = rng.choice(moves)
            record.append((mv, len(p.supporting_pivots(mv))))
            p.apply_move(mv)
        copy = p.copy()
        copy.clear_square("a1")
        record.append((p.side_to_move(), p.piece_count("white"), p.piece_count("black"), tuple(p.legal_moves()),
                       p.outcome()))
        record.append(p.ascii_board())
        if step % 10 == 0:
            record.append(repr(p.analyze(1)))
    return record


def test_threads_with_separate_positions_match_a_single_thread():
    seeds = range(THREADS * 2)
    expected = {seed: play_record(seed) for seed in seeds}
    results = {}

    def worker(my_seeds):
        def body():
            for _ in range(3):
                for seed in my_seeds:
                    assert play_record(seed) == expected[seed]
                    results[seed] = True
        return body

    run_threads([worker(seeds[i::THREADS]) for i in range(THREADS)])
    assert sorted(results) == list(seeds)


def read_everything(p):
    shown = [p.side_to_move(), p.legal_moves(), p.outcome(), p.piece_count("white"),
             [p.supporting_pivots(mv) for mv in p.legal_moves()[:10]], p.copy().legal_moves(),
             p.ascii_board(), p.ascii_board("letters"), p.svg_board(), p.svg_for_move(p.legal_moves()[0]),
             p.evaluate(), p.best_move(1), p.analyze(1)]
    shown.append(p.analyze_timed(2, 10**6))  # a budget that never runs out: the result is fixed
    return shown


def test_threads_reading_one_position_see_the_same_results():
    p = Position()
    p.apply_move("a1-b3")
    expected = read_everything(p)

    def reader():
        for _ in range(15):
            assert read_everything(p) == expected

    run_threads([reader] * THREADS)
    assert read_everything(p) == expected


def test_readers_beside_a_writer_see_whole_states_only():
    """A writer flips one square back and forth; each read shows one of the
    two states entirely, never a mixture, and no access conflict is raised."""
    p = Position()
    states = []
    for present in (False, True):
        if present:
            p.set_piece("white", "e4")
        states.append((p.piece_count("white"), tuple(p.legal_moves()),
                       p.ascii_board()))
    p.clear_square("e4")
    allowed = set(states)
    done = threading.Event()

    def writer():
        try:
            for _ in range(3000):
                p.set_piece("white", "e4")
                p.clear_square("e4")
        finally:
            done.set()

    def reader():
        seen = 0
        while not done.is_set() or seen == 0:
            # One call reads one state; the three reads may straddle a write.
            count = p.piece_count("white")
            moves = tuple(p.legal_moves())
            board = p.ascii_board()
            assert count in (16, 17)
            assert moves in {s[1] for s in allowed}
            assert board in {s[2] for s in allowed}
            p.analyze_timed(1, 2)
            seen += 1

    run_threads([writer] + [reader] * (THREADS - 1))
    assert p.piece_count("white") == 16


# --- other interpreters ------------------------------------------------------
# The class and the shared texts belong to the whole process, so the module
# refuses isolated subinterpreters; legacy ones share the main interpreter's
# allocator and lock, and work. Each case runs in a fresh process so that the
# first import can happen inside the subinterpreter.

SUBINTERPRETER_SCRIPT = r"""
import sys
try:
    import _interpreters as interpreters
except ImportError:
    import _xxsubinterpreters as interpreters
import _testcapi

use = "import tovak_python\np = tovak_python.Position()\np.apply_move('a1-b3')\nassert p.legal_moves()[0] == 'a8-b6'\n"
assert _testcapi.run_in_subinterp(use) == 0  # legacy: first import happens here
assert _testcapi.run_in_subinterp(use) == 0

isolated = interpreters.create()
try:
    failure = interpreters.run_string(isolated, "import tovak_python")  # 3.13 returns the failure
except Exception as error:  # 3.12 raises it
    failure = error
interpreters.destroy(isolated)
print("isolated", failure)

import tovak_python
p = tovak_python.Position()
for _ in range(200):
    p.supporting_pivots("d1-d3")
    p.legal_moves()
print("main", p.legal_moves()[0])
"""


def test_subinterpreters_refuse_or_share_without_crashing():
    import subprocess
    pytest.importorskip("_testcapi")
    done = subprocess.run([sys.executable, "-c", SUBINTERPRETER_SCRIPT], capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert lines[-1] == "main a1-b3"
    assert "does not support loading in subinterpreters" in lines[0] or "ImportError" in lines[0]
