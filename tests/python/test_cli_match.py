"""``tovak match``: strength, outside players, failures that cost a game, the SPRT, the records."""

import json
import shlex
import sys
from pathlib import Path

import pyarrow.parquet as pq
import pytest
from command_support import tovak
from tovak_python import Position

from tovak.notation import to_text

BOTS = Path(__file__).resolve().parent / "match_bots"
PROTOCOL_BOT = BOTS / "protocol_bot.py"


def bot(mode="first"):
    return f"cmd:{shlex.quote(sys.executable)} {shlex.quote(str(PROTOCOL_BOT))} {mode}"


def match(out_dir, *players, args=(), expect=0):
    command = ["match", "--out", str(out_dir), "--no-progress"]
    for player in players:
        command += ["--player", player]
    run = tovak(*command, *args, cwd=BOTS)
    assert run.returncode == expect, run.stderr
    return run


def summary_of(out_dir):
    return json.loads((out_dir / "summary.json").read_text())


def games_of(out_dir):
    """Each game's rows from the dataset, read with pyarrow alone."""
    rows = pq.read_table(out_dir / "data").sort_by([("game", "ascending"), ("ply", "ascending")]).to_pylist()
    games = {}
    for row in rows:
        games.setdefault(row["game"], []).append(row)
    return games


def replay_is_legal(rows):
    """Every recorded move is legal in the recorded position, and positions follow from the moves."""
    position = Position()
    for row in rows:
        assert row["position"] == to_text(position)
        if row["move"] is not None:
            assert position.is_legal_move(row["move"]), row
            position.apply_move(row["move"])


@pytest.fixture(scope="module")
def depth_match(tmp_path_factory):
    out = tmp_path_factory.mktemp("depths") / "run"
    run = match(
        out, "engine:depth=3", "engine:depth=1",
        args=["--games", "20", "--jobs", "2", "--seed", "0", "--max-plies", "100"],
    )
    return out, run.stdout


def test_the_deeper_engine_is_stronger_with_a_positive_elo(depth_match):
    out, stdout = depth_match
    summary = summary_of(out)
    assert summary["players"] == ["engine:depth=3", "engine:depth=1"]
    assert summary["games"] == 20 and summary["sprt"] is None
    assert summary["wins"][0] > summary["wins"][1]
    assert sum(summary["wins"]) + summary["unfinished"] == 20
    # Positive with 95% confidence, not only on average.
    low, high = summary["elo_interval"]
    assert low > 0 and (summary["elo"] is None or low < summary["elo"])
    assert high is None or high > summary["elo"]
    assert "Elo difference of engine:depth=3 over engine:depth=1: +" in stdout


def test_match_records_name_the_players_and_agree_with_the_summary(depth_match):
    out, _ = depth_match
    games = games_of(out)
    assert sorted(games) == list(range(1, 21))
    wins = {"engine:depth=3": 0, "engine:depth=1": 0}
    for number, rows in games.items():
        first_is_white = number % 2 == 1
        white, black = ("engine:depth=3", "engine:depth=1") if first_is_white else ("engine:depth=1", "engine:depth=3")
        assert {(r["white_player"], r["black_player"]) for r in rows} == {(white, black)}
        replay_is_legal(rows)
        winner = rows[0]["winner"]
        if winner is not None:
            wins[white if winner == "white" else black] += 1
        assert [r["chosen_by"] for r in rows[:4]] == ["random"] * 4
    assert [wins["engine:depth=3"], wins["engine:depth=1"]] == summary_of(out)["wins"]


def test_engine_plies_carry_every_search_figure_and_random_plies_none(depth_match):
    out, _ = depth_match
    rows = [row for rows in games_of(out).values() for row in rows]
    figures = ["score", "depth", "nodes", "quiescence_nodes"]
    engine = [row for row in rows if row["chosen_by"] == "engine"]
    assert engine and all(row[name] is not None for row in engine for name in figures)
    assert all(row[name] is None for row in rows if row["chosen_by"] == "random" for name in figures)
    assert any(row["quiescence_nodes"] > 0 for row in engine)


def test_both_games_of_a_pair_open_alike(depth_match):
    out, _ = depth_match
    games = games_of(out)
    for first in range(1, 21, 2):
        openings = [[r["move"] for r in games[n][:4]] for n in (first, first + 1)]
        assert openings[0] == openings[1]
    assert len({tuple(r["move"] for r in games[n][:4]) for n in range(1, 21, 2)}) > 1


def test_an_outside_program_plays_through_the_protocol(tmp_path):
    out = tmp_path / "run"
    match(out, "engine:depth=2", bot(), args=["--games", "4", "--max-plies", "60"])
    summary = summary_of(out)
    assert summary["players"][1] == bot()
    assert summary["failures"] == []
    # The bot plays the first legal move: the engine wins every finished game.
    assert summary["wins"][1] == 0 and summary["wins"][0] + summary["unfinished"] == 4
    for rows in games_of(out).values():
        replay_is_legal(rows)


def test_a_python_function_plays_and_its_prints_do_not_disturb_the_protocol(tmp_path):
    out = tmp_path / "run"
    match(out, "python:function_bots:first_move", "engine:depth=1", args=["--games", "2", "--max-plies", "30"])
    summary = summary_of(out)
    assert summary["failures"] == [] and summary["games"] == 2
    for rows in games_of(out).values():
        replay_is_legal(rows)
        assert len(rows) > 6


@pytest.mark.parametrize(
    "player, reason, detail",
    [
        (bot("crash"), "crash", "exited with status 1: RuntimeError: bot exploded"),
        (bot("illegal"), "illegal move", "'e4-e5'"),
        (bot("garbage"), "protocol error", "thinking very hard"),
        (bot("hang"), "time", "no answer in time"),
        ("python:function_bots:raises_on_second_move", "crash", "ValueError: no idea what to play"),
        ("python:function_bots:illegal_on_second_move", "illegal move", "'h8-a1'"),
    ],
    ids=["crash", "illegal", "garbage", "hang", "python-raises", "python-illegal"],
)
def test_a_failing_player_loses_each_game_and_the_match_goes_on(tmp_path, player, reason, detail):
    out = tmp_path / "run"
    # The move time is short so that the hanging bot is given up on quickly.
    run = match(out, "engine:depth=1", player, args=["--games", "2", "--random-plies", "0", "--time-ms", "50"])
    summary = summary_of(out)
    assert summary["wins"] == [2, 0]
    assert [(f["game"], f["player"], f["reason"]) for f in summary["failures"]] == [
        (1, player, reason),
        (2, player, reason),
    ]
    assert [f["color"] for f in summary["failures"]] == ["black", "white"]
    assert all(detail in f["detail"] for f in summary["failures"]), summary["failures"]
    games = games_of(out)
    for number, rows in games.items():
        assert {r["end_reason"] for r in rows} == {reason}
        replay_is_legal(rows)
        # The failing player had made exactly one move before its second one failed.
        failing_color = "black" if number == 1 else "white"
        assert sum(r["side"] == failing_color for r in rows if r["move"]) == 1
    assert f"lost by {reason}" in run.stdout


def test_sprt_stops_the_match_once_it_decides(tmp_path):
    stronger, weaker = tmp_path / "h1", tmp_path / "h0"
    args = ["--games", "60", "--sprt", "0,200", "--seed", "3", "--max-plies", "60"]
    match(stronger, "engine:depth=3", "engine:depth=1", args=args)
    match(weaker, "engine:depth=1", "engine:depth=3", args=args)
    for out, verdict in ((stronger, "H1"), (weaker, "H0")):
        summary = summary_of(out)
        assert summary["sprt"] == verdict
        assert 2 <= summary["games"] < 60 and summary["games"] % 2 == 0
        low, high = summary["sprt_settings"]["bounds"]
        assert not low < summary["sprt_settings"]["llr"] < high
        assert len(games_of(out)) == summary["games"]


def test_the_same_seed_gives_the_same_games_whatever_the_jobs(tmp_path):
    runs = []
    for jobs in ("1", "2"):
        out = tmp_path / f"jobs{jobs}"
        match(out, "engine:depth=2", "engine:depth=1", args=["--games", "4", "--jobs", jobs, "--seed", "9", "--max-plies", "40"])
        runs.append({n: [r["move"] for r in rows] for n, rows in games_of(out).items()})
    assert runs[0] == runs[1]


@pytest.mark.parametrize(
    "players, args, message",
    [
        (["engine:depth=1"], [], "exactly two --player"),
        (["engine:depth=1", "engine:depth=2"], ["--games", "3"], "--games must be even"),
        (["engine:depth=x", "engine:depth=2"], [], "depth must be an integer"),
        (["engine:deep=2", "engine:depth=2"], [], "unknown engine option"),
        (["robot:1", "engine:depth=2"], [], "expected engine:depth=N"),
        (["engine:depth=1", "engine:depth=2"], ["--sprt", "10,0"], "ELO0 < ELO1"),
        (["engine:depth=1", "engine:depth=2"], ["--sprt", "5"], "--sprt takes ELO0,ELO1"),
        (["engine:depth=1", "cmd:/nonexistent/bot"], [], "player 2 (cmd:/nonexistent/bot) cannot play"),
        (["python:no_such_module:play", "engine:depth=1"], [], "player 1 (python:no_such_module:play) cannot play"),
    ],
)
def test_bad_options_are_one_line_and_status_2(tmp_path, players, args, message):
    run = match(tmp_path / "run", *players, args=args, expect=2)
    assert message in run.stderr and run.stderr.count("\n") == 1
    assert not (tmp_path / "run").exists()


def test_a_directory_holding_a_run_is_refused(depth_match):
    out, _ = depth_match
    before = sorted(p.name for p in (out / "data").iterdir())
    run = match(out, "engine:depth=1", "engine:depth=1", args=["--games", "2"], expect=1)
    assert "holds another run" in run.stderr
    assert sorted(p.name for p in (out / "data").iterdir()) == before

