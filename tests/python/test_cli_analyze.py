import json
import re
import signal
import time

import pytest
from command_support import start_tovak, tovak
from tovak_python import Position

from tovak.analysis import NO_TIME_LIMIT_MS
from tovak.notation import from_text, to_text




def analyze_json(*args):
    run = tovak("analyze", "--json", *args)
    assert run.returncode == 0, run.stderr
    assert run.stderr == ""
    return json.loads(run.stdout)


def field(stdout, label):
    for line in stdout.splitlines():
        if line.startswith(label + ":"):
            return line.split(":", 1)[1].strip()
    raise AssertionError(f"no {label!r} line in:\n{stdout}")


def test_default_is_the_initial_position_in_text():
    run = tovak("analyze", "--depth", "2")
    assert run.returncode == 0, run.stderr
    position = Position()
    assert run.stdout.startswith(position.ascii_board())
    assert field(run.stdout, "Position") == to_text(position)
    assert field(run.stdout, "Static score") == f"{position.evaluate():+d}"
    expected = position.analyze_timed(2, NO_TIME_LIMIT_MS)
    assert field(run.stdout, "Best move") == expected["best_move"]
    assert field(run.stdout, "Score") == f"{expected['score']:+d}"
    assert field(run.stdout, "Principal variation") == " ".join(expected["principal_variation"])
    assert field(run.stdout, "Completed depth") == "2 of 2"
    assert field(run.stdout, "Nodes").startswith(f"{expected['nodes']} ")


@pytest.mark.parametrize("text", ["W:a1,b1,c1 B:h8 w", "W:d5,c6,g6,b7 B:h5,f7,e8 b"])
@pytest.mark.parametrize("depth", [1, 3])
def test_json_reports_what_the_module_finds(text, depth):
    report = analyze_json(text, "--depth", str(depth))
    position = from_text(text)
    expected = position.analyze_timed(depth, NO_TIME_LIMIT_MS)
    for key in ("best_move", "score", "principal_variation", "completed_depth", "nodes",
                "quiescence_nodes", "root_legal_moves", "timed_out"):
        assert report[key] == expected[key], key
    assert report["position"] == text
    assert report["static_score"] == position.evaluate()
    assert report["side_to_move"] == position.side_to_move()
    assert report["outcome"] is None
    assert report["max_depth"] == depth


def test_position_may_be_given_as_three_words():
    one = analyze_json("W:a1,b1,c1 B:h8 w", "--depth", "1")
    three = analyze_json("W:a1,b1,c1", "B:h8", "w", "--depth", "1")
    for report in (one, three):
        report.pop("seconds")
        for depth in report["depths"]:
            depth.pop("seconds")
    assert one == three


def test_finished_position_reports_the_winner():
    report = analyze_json("W:a1,b1 B:g8,h8,a8 w")
    assert report["outcome"] == "black"
    assert (report["best_move"], report["score"], report["principal_variation"]) == (None, None, [])
    assert report["root_legal_moves"] == 0
    run = tovak("analyze", "W:a1,b1", "B:g8,h8,a8", "w")
    assert run.returncode == 0
    assert "Game over:           Black wins (White has no legal move)" in run.stdout
    assert "Best move" not in run.stdout


def test_zero_time_budget_gives_the_fallback_line():
    report = analyze_json("--time-ms", "0", "--depth", "4")
    assert report["timed_out"] is True
    assert report["completed_depth"] == 0
    assert report["nodes"] == 0
    assert report["best_move"] in Position().legal_moves()
    assert report["principal_variation"] == [report["best_move"]]
    assert report["time_ms"] == 0


def test_time_limit_alone_deepens_until_the_clock_stops_it():
    report = analyze_json("--time-ms", "200")
    assert report["max_depth"] == 255
    assert report["completed_depth"] >= 1
    assert report["best_move"] in Position().legal_moves()


def test_letters_style():
    run = tovak("analyze", "--depth", "0", "--style", "letters")
    assert run.returncode == 0
    assert run.stdout.startswith(Position().ascii_board("letters"))


def test_a_winning_capture_is_called_a_forced_win():
    # b1 and d5 mirror a1 onto e5, and Black is left with two pieces.
    run = tovak("analyze", "W:a1,b1,c1,d5 B:h8,g7,e5 w", "--depth", "2")
    assert run.returncode == 0
    assert field(run.stdout, "Best move") == "a1-e5"
    assert field(run.stdout, "Score") == "+100000 (a forced win)"


def depth_lines(stdout):
    """The per-depth lines, as (depth, score, nodes, line)."""
    rows = []
    for text in stdout.splitlines():
        found = re.fullmatch(r"\s+(\d+)\s+([+-]\d+)\s+(\d+)\s+[\d.]+ s  (.*)", text)
        if found:
            rows.append((int(found[1]), int(found[2]), int(found[3]), found[4].split()))
    return rows


@pytest.mark.parametrize("text, depth", [("W:d5,c6,g6,b7 B:h5,f7,e8 b", 4), (to_text(Position()), 3)])
def test_one_line_per_depth_each_exact(text, depth):
    run = tovak("analyze", text, "--depth", str(depth))
    assert run.returncode == 0, run.stderr
    assert field(run.stdout, "Search") == f"iterative deepening (analyze_timed), depth {depth}"
    expected = []
    for d in range(1, depth + 1):
        result = from_text(text).analyze_timed(d, 10**9)
        expected.append((d, result["score"], result["nodes"], result["principal_variation"]))
    assert depth_lines(run.stdout) == expected
    # The lines come before the summary.
    assert run.stdout.index("Best move:") > run.stdout.index(" ".join(expected[-1][3]))


def test_json_lists_the_depths_and_names_the_entry_point():
    report = analyze_json("--depth", "3")
    assert report["entry_point"] == "analyze_timed"
    assert report["interrupted"] is False
    assert [d["depth"] for d in report["depths"]] == [1, 2, 3]
    for entry in report["depths"]:
        result = Position().analyze_timed(entry["depth"], 10**9)
        assert (entry["score"], entry["nodes"], entry["principal_variation"]) == (
            result["score"], result["nodes"], result["principal_variation"])


def test_depth_zero_runs_no_search_and_says_so():
    run = tovak("analyze", "--depth", "0")
    assert run.returncode == 0
    assert field(run.stdout, "Search") == "none (depth 0: no search is run)"
    assert "Best move" not in run.stdout
    report = analyze_json("--depth", "0")
    assert (report["best_move"], report["score"], report["principal_variation"]) == (None, None, [])
    assert (report["entry_point"], report["nodes"], report["depths"]) == (None, 0, [])


def test_one_legal_move_is_singular():
    run = tovak("analyze", "W:a1,b1,c1 B:h8 w", "--depth", "1")
    assert field(run.stdout, "Side to move") == "White (1 legal move)"


def test_ctrl_c_stops_at_once_and_prints_the_deepest_depth():
    process = start_tovak("analyze", "--depth", "9")
    try:
        seen = ""
        while not re.search(r"^\s+3\s", seen, re.M):  # depth 3 is in: the search is well under way
            line = process.stdout.readline()
            assert line, "the command ended before depth 3"
            seen += line
        time.sleep(0.3)
        sent = time.monotonic()
        process.send_signal(signal.SIGINT)
        process.wait(timeout=30)
        elapsed = time.monotonic() - sent
        stdout, stderr = seen + process.stdout.read(), process.stderr.read()
    finally:
        process.kill()
        process.stdout.close()
        process.stderr.close()
    assert elapsed < 0.5, f"the command took {elapsed:.2f} s to stop"
    assert process.returncode == 130
    assert stderr == "tovak: error: interrupted\n"
    deepest = depth_lines(stdout)[-1][0]
    assert 3 <= deepest < 9
    assert field(stdout, "Completed depth") == f"{deepest} of 9 (interrupted)"
    expected = Position().analyze_timed(deepest, 10**9)
    assert field(stdout, "Best move") == expected["best_move"]
    assert field(stdout, "Principal variation") == " ".join(expected["principal_variation"])
