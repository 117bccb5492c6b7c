"""Live analyses: exact per-depth results from a separate process, stopped on request."""

import gc
import os
import signal
import subprocess
import sys
import textwrap
import time
from pathlib import Path

import pytest
from tovak_python import Position

from tovak import analysis
from tovak.notation import from_text, to_text

# The initial position at depth 9 runs for far longer than any test waits.
LONG_DEPTH = 9
MIDGAME = "W:a1,c1,d1,f1,g1,b2,d2,e2,g2,d4 B:e5,a7,c7,e7,g7,h7,b8,d8,f8 b"


def exact(text, depth):
    return from_text(text).analyze_timed(depth, 10**9)


def process_ended(pid, seconds=10.0):
    """Whether the process ends within ``seconds`` (an orphan's zombie counts as ended)."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            state = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0]
        except (FileNotFoundError, ProcessLookupError):
            return True
        if state == "Z" and not is_child(pid):
            return True
        time.sleep(0.02)
    return False


def is_child(pid):
    try:
        return int(Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[1]) == os.getpid()
    except FileNotFoundError:
        return False


def zombie_children():
    zombies = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            fields = (entry / "stat").read_text().rsplit(")", 1)[1].split()
        except (FileNotFoundError, ProcessLookupError):
            continue
        if fields[0] == "Z" and int(fields[1]) == os.getpid():
            zombies.append(int(entry.name))
    return zombies


def first_result(handle):
    return next(iter(handle))


@pytest.mark.parametrize("text, depth", [(to_text(Position()), 4), (MIDGAME, 4), ("W:a1,b1,c1,d5 B:h8,g7,e5 w", 3)])
def test_each_depth_is_the_exact_result_of_that_depth(text, depth):
    with analysis.start(text, depth=depth) as handle:
        results = list(handle)
    assert [r["completed_depth"] for r in results] == list(range(1, depth + 1))
    for d, result in enumerate(results, start=1):
        expected = exact(text, d)
        assert result == expected
        assert list(result) == list(expected)  # the module's key order
    assert handle.latest == results[-1]
    assert handle.done()
    assert list(handle) == results  # every iteration starts again at depth 1


def test_the_position_is_copied_and_may_be_given_as_an_object():
    position = from_text(MIDGAME)
    handle = analysis.start(position, depth=2)
    position.apply_move(position.legal_moves()[0])
    assert handle.wait(timeout=60) == exact(MIDGAME, 2)
    assert handle.position_text == MIDGAME


def test_no_limit_means_depth_four():
    handle = analysis.start("W:a1,b1,c1,d5 B:h8,g7,e5 w")
    assert handle.wait(timeout=60)["completed_depth"] == analysis.DEFAULT_DEPTH


@pytest.mark.parametrize(
    "text, depth",
    [(to_text(Position()), 0), ("W:a1,b1 B:g8,h8,a8 w", 3), ("W:- B:- b", None)],
    ids=["depth 0", "no legal move", "empty board"],
)
def test_nothing_to_search_is_done_at_once(text, depth):
    handle = analysis.start(text, depth=depth)
    assert handle.done()
    assert handle.latest is None and handle.wait() is None
    assert list(handle) == []
    assert handle.pid is None


def test_stop_returns_within_100_ms_and_keeps_the_deepest_depth():
    handle = analysis.start(Position(), depth=LONG_DEPTH)
    first_result(handle)
    time.sleep(1.0)
    assert not handle.done()  # the search is still running
    pid = handle.pid
    started = time.monotonic()
    latest = handle.stop()
    elapsed = time.monotonic() - started
    assert elapsed < 0.1, f"stop() took {elapsed * 1000:.0f} ms"
    assert handle.done()
    assert latest is handle.latest
    depth = latest["completed_depth"]
    assert 1 <= depth < LONG_DEPTH
    assert [r["completed_depth"] for r in handle] == list(range(1, depth + 1))
    assert latest == exact(to_text(Position()), depth)
    assert process_ended(pid)
    handle.stop()  # a second stop is harmless
    assert handle.latest is latest


def test_several_analyses_at_once():
    texts = [to_text(Position()), MIDGAME, "W:a1,b1,c1,d5 B:h8,g7,e5 w"]
    handles = [analysis.start(text, depth=4) for text in texts]
    for text, handle in zip(texts, handles):
        assert handle.wait(timeout=120) == exact(text, 4)
    pids = [h.pid for h in handles]
    assert len(set(pids)) == len(pids)
    assert all(process_ended(pid) for pid in pids)
    assert zombie_children() == []


def test_leaving_the_with_block_stops_the_process():
    with analysis.start(Position(), depth=LONG_DEPTH) as handle:
        first_result(handle)
        pid = handle.pid
    assert handle.done()
    assert process_ended(pid)
    assert zombie_children() == []


def test_dropping_the_handle_stops_the_process():
    handle = analysis.start(Position(), depth=LONG_DEPTH)
    first_result(handle)
    pid = handle.pid
    del handle
    gc.collect()
    assert process_ended(pid)


def test_a_time_limit_ends_the_analysis_with_exact_depths():
    handle = analysis.start(Position(), time_ms=300)
    latest = handle.wait(timeout=30)
    assert handle.done()
    results = list(handle)
    assert results and results[-1] is latest
    for d, result in enumerate(results, start=1):
        assert result == exact(to_text(Position()), d)


def test_no_time_at_all_gives_no_result():
    handle = analysis.start(Position(), depth=5, time_ms=0)
    assert handle.wait(timeout=30) is None
    assert handle.done() and list(handle) == []


def test_wait_with_a_timeout_returns_while_the_search_goes_on():
    with analysis.start(Position(), depth=LONG_DEPTH) as handle:
        first_result(handle)
        started = time.monotonic()
        latest = handle.wait(timeout=0.2)
        assert time.monotonic() - started < 5
        assert latest is not None and not handle.done()


def test_a_killed_worker_is_reported_not_taken_for_a_finished_search():
    handle = analysis.start(Position(), depth=LONG_DEPTH)
    first_result(handle)
    os.kill(handle.pid, signal.SIGKILL)
    with pytest.raises(analysis.AnalysisError, match="ended unexpectedly"):
        list(handle)
    with pytest.raises(analysis.AnalysisError):
        handle.wait()
    assert handle.latest["completed_depth"] >= 1


def test_the_worker_ends_with_its_parent(tmp_path):
    script = textwrap.dedent(
        f"""
        import sys, time
        from tovak import analysis
        handle = analysis.start("{to_text(Position())}", depth={LONG_DEPTH})
        next(iter(handle))
        print(handle.pid, flush=True)
        time.sleep(60)
        """
    )
    parent = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True)
    try:
        worker = int(parent.stdout.readline())
        assert not process_ended(worker, seconds=0.2)
        parent.kill()
        parent.wait(timeout=30)
        assert process_ended(worker)
    finally:
        parent.kill()
        parent.stdout.close()


@pytest.mark.parametrize(
    "kwargs, error, message",
    [
        ({"depth": 256}, ValueError, "depth must be from 0 to 255, got 256"),
        ({"depth": -1}, ValueError, "depth must be from 0 to 255"),
        ({"depth": 2.0}, TypeError, "depth must be an int or None"),
        ({"depth": True}, TypeError, "depth must be an int or None"),
        ({"time_ms": -5}, ValueError, "time_ms must be from 0"),
        ({"time_ms": "5"}, TypeError, "time_ms must be an int or None"),
        ({"position": 12}, TypeError, "position must be a tovak_python.Position or a position text"),
        ({"position": "W:a1 B:h8"}, ValueError, "three fields"),
    ],
)
def test_bad_arguments_are_refused_before_any_process_starts(kwargs, error, message):
    position = kwargs.pop("position", Position())
    with pytest.raises(error, match=message):
        analysis.start(position, **kwargs)
