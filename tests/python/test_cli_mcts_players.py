"""The tree-search players, through the real commands: ``tovak match`` with
``mcts:...`` and ``mcts-python:...``, and ``tovak engine --player``."""

import json
import subprocess

import pytest
from command_support import TOVAK
from test_cli_match import BOTS, games_of, match, replay_is_legal, summary_of

from tovak.match.player_spec import parse_player_spec
from tovak.mcts import SearchPlayer
from tovak.notation import from_text

WIN_IN_ONE = "W:b1,e1,f2,b3,f6,f7,d8 B:c1,h3,b4,b8 w"  # f6-b4 and no other move wins at once
MIDGAME = "W:a1,b1,c1,d1,b2,c2,e3,d4 B:h8,g8,f8,e8,g7,f7,d6,e5 b"


def test_the_search_with_its_evaluator_beats_a_player_of_first_moves(tmp_path):
    out = tmp_path / "run"
    match(out, "mcts:simulations=200", "python:function_bots:first_move", args=["--games", "2", "--max-plies", "120"])
    summary = summary_of(out)
    assert summary["players"][0] == "mcts:simulations=200"
    assert summary["failures"] == [] and summary["wins"][1] == 0
    # Games between sixteen pieces a side rarely end in 120 plies: the
    # search shows by being ahead in pieces when they stop, with either colour.
    for rows in games_of(out).values():
        replay_is_legal(rows)
        last = from_text(rows[-1]["position"])
        side = "white" if rows[0]["white_player"] == "mcts:simulations=200" else "black"
        other = "black" if side == "white" else "white"
        assert rows[-1]["winner"] == side or last.piece_count(side) > last.piece_count(other)


def test_the_search_with_a_python_network_plays_in_a_process_of_its_own(tmp_path):
    out = tmp_path / "run"
    player = "mcts-python:network_bots:material,simulations=60"
    match(out, player, "mcts:simulations=20,evaluator=rollout", args=["--games", "2", "--max-plies", "40"])
    summary = summary_of(out)
    assert summary["players"][0] == player and summary["failures"] == []
    for rows in games_of(out).values():
        replay_is_legal(rows)
        assert len(rows) > 6


def test_a_network_whose_answers_are_refused_loses_by_a_crash(tmp_path):
    out = tmp_path / "run"
    player = "mcts-python:network_bots:out_of_range_on_second_move,simulations=8"
    match(out, "engine:depth=1", player, args=["--games", "2", "--random-plies", "0"])
    summary = summary_of(out)
    assert summary["wins"] == [2, 0]
    assert [f["reason"] for f in summary["failures"]] == ["crash", "crash"]
    assert all("outside [-1, 1]" in f["detail"] for f in summary["failures"]), summary["failures"]


def engine_moves(player, *requests):
    """Run ``tovak engine --player PLAYER`` over ``requests`` (then quit); its events and stderr."""
    lines = "".join(json.dumps(r) + "\n" for r in (*requests, {"cmd": "quit"}))
    run = subprocess.run(
        [*TOVAK, "engine", "--player", player], input=lines, capture_output=True, text=True, timeout=300, cwd=BOTS
    )
    return [json.loads(line) for line in run.stdout.splitlines()], run


@pytest.mark.parametrize(
    "player",
    ["mcts:simulations=300", "mcts:simulations=800,evaluator=rollout", "mcts-python:network_bots:material,simulations=300"],
)
def test_the_engine_command_serves_the_search(player):
    events, run = engine_moves(
        player,
        {"cmd": "hello"},
        {"cmd": "position", "position": WIN_IN_ONE, "moves": []},
        {"cmd": "go", "depth": 1},
        {"cmd": "position", "position": MIDGAME, "moves": []},
        {"cmd": "go"},
    )
    assert run.returncode == 0, run.stderr
    assert [e["event"] for e in events] == ["hello", "bestmove", "bestmove"]
    assert events[1]["move"] == "f6-b4"
    # The same move as the player in this process, which plays without noise.
    if player.startswith("mcts:") and "rollout" not in player:
        position = from_text(MIDGAME)
        assert events[2]["move"] == SearchPlayer(300, evaluator="uniform").move(position)


@pytest.mark.parametrize(
    "text, message",
    [
        ("mcts", "simulations=S is required"),
        ("mcts:simulations=0", "simulations must be from 1"),
        ("mcts:simulations=ten", "simulations must be an integer"),
        ("mcts:simulations=5,evaluator=minimax", "evaluator must be uniform or rollout"),
        ("mcts:simulations=5,depth=2", "unknown option"),
        ("mcts:simulations=5,simulations=6", "given twice"),
        ("mcts-python:network_bots,simulations=5", "expected mcts-python:MODULE:FUNCTION"),
        ("mcts-python:network_bots:material", "simulations=S is required"),
    ],
)
def test_bad_search_players_are_refused(tmp_path, text, message):
    with pytest.raises(ValueError, match=message):
        parse_player_spec(text)
    run = match(tmp_path / "run", text, "engine:depth=1", expect=2)
    assert message in run.stderr and run.stderr.count("\n") == 1


def test_search_player_specs_keep_their_settings():
    assert parse_player_spec("mcts:simulations=800").evaluator == "uniform"
    spec = parse_player_spec("mcts-python:pkg.nets:small,simulations=64")
    assert (spec.kind, spec.function, spec.simulations) == ("mcts-python", "pkg.nets:small", 64)


@pytest.mark.parametrize(
    "player, message",
    [
        ("engine:depth=2", "--player takes mcts:... or mcts-python:..."),
        ("mcts-python:no_such_module:net,simulations=4", "cannot import module 'no_such_module'"),
        ("mcts:simulations=-3", "simulations must be from 1"),
    ],
)
def test_the_engine_command_refuses_a_player_it_cannot_serve(player, message):
    events, run = engine_moves(player, {"cmd": "hello"})
    assert run.returncode == 2 and events == []
    assert message in run.stderr


def test_the_player_in_process_wins_at_once_and_refuses_a_finished_position():
    assert SearchPlayer(200, evaluator="uniform").move(from_text(WIN_IN_ONE)) == "f6-b4"
    with pytest.raises(ValueError, match="no legal move"):
        SearchPlayer(4, evaluator="uniform").move(from_text("W:a1 B:h8,g8 w"))
    with pytest.raises(ValueError, match="either a built-in evaluator or a network"):
        SearchPlayer(4)
