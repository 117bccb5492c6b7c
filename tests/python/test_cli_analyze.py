import json
import subprocess
import sys

import pytest
from tovak_python import Position

from tovak.analysis import NO_TIME_LIMIT_MS
from tovak.notation import from_text, to_text


def tovak(*args):
    return subprocess.run(
        [sys.executable, "-m", "tovak", *args], capture_output=True, text=True, timeout=120
    )


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
    one.pop("seconds"), three.pop("seconds")
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
