"""``tovak selfplay`` and ``tovak replay`` through the command: the dataset
against the games, the summary, reproducibility, refusals, and runs stopped
by a kill or by Ctrl-C and resumed."""

import fcntl
import json
import os
import pty
import re
import signal
import struct
import subprocess
import termios
import time

import pyarrow.parquet as pq
import pytest
from command_support import TOVAK, start_python, start_tovak, tovak
from tovak_python import Position

from tovak.runs import reader
from tovak.notation import SQUARES, from_text, to_text
from tovak.replay.page import replay_page
from tovak.runs.selfplay import settings_from_json


def selfplay(out_dir, *args):
    run = tovak("selfplay", "--out", str(out_dir), *args)
    assert run.returncode == 0, run.stderr
    assert run.stderr == ""  # no progress bar when stderr is not a terminal
    return run


def sorted_rows(run_dir):
    return reader.read_plies(run_dir).to_pylist()


def directory_listing(path):
    return sorted((str(p.relative_to(path)), p.stat().st_size, p.stat().st_mtime_ns) for p in path.rglob("*"))


RUN = ("--games", "3", "--depth", "1", "--seed", "5", "--max-plies", "60")


@pytest.fixture(scope="module")
def run_dir(tmp_path_factory):
    out = tmp_path_factory.mktemp("selfplay") / "run"
    run = selfplay(out, *RUN, "--replays", "2")
    return out, run.stdout


def test_every_row_is_a_legal_ply_of_its_game(run_dir):
    out, _ = run_dir
    table = reader.read_plies(out)
    assert table.column_names[:14] == [
        "game", "ply", "position", "white", "black", "side", "move", "chosen_by", "score", "depth",
        "nodes", "quiescence_nodes", "winner", "result",
    ]
    rows = table.to_pylist()
    assert sorted({row["game"] for row in rows}) == [1, 2, 3]
    for number in (1, 2, 3):
        game = [row for row in rows if row["game"] == number]
        position = Position()
        winner = game[0]["winner"]
        for index, row in enumerate(game, start=1):
            assert row["ply"] == index
            assert row["position"] == to_text(position)
            # The occupancy sets say what the text says, square by square.
            for bit, square in enumerate(SQUARES):
                owner = position.piece_at(square)
                assert (row["white"] >> bit) & 1 == (owner == "white")
                assert (row["black"] >> bit) & 1 == (owner == "black")
            assert row["side"] == position.side_to_move()
            assert row["chosen_by"] == ("random" if index <= 2 else "engine")
            engine_figures = (row["score"], row["depth"], row["nodes"], row["quiescence_nodes"])
            if index <= 2:
                assert engine_figures == (None, None, None, None)
            else:
                assert None not in engine_figures
            assert row["winner"] == winner
            if winner is None:
                assert row["result"] is None
            else:
                assert row["result"] == (1 if row["side"] == winner else -1)
            position.apply_move(row["move"])
        if winner is None:
            assert game[0]["end_reason"] == "ply limit" and len(game) == 60
        else:
            assert game[0]["end_reason"] == "no legal move"
            assert position.outcome() == winner


def test_engine_plies_are_the_engine_choice(run_dir):
    out, _ = run_dir
    game = reader.read_game(out, 1)
    for ply in game.plies[2:8]:
        analysis = from_text(ply.position).analyze_timed(1, 2**64 - 1)
        assert (ply.move, ply.score, ply.depth, ply.nodes, ply.quiescence_nodes) == (
            analysis["best_move"],
            analysis["score"],
            analysis["completed_depth"],
            analysis["nodes"],
            analysis["quiescence_nodes"],
        )


def test_run_description_and_summary_match_the_dataset(run_dir):
    out, stdout = run_dir
    info = json.loads((out / "run.json").read_text())
    assert info["kind"] == "selfplay"
    assert info["settings"] == {
        "games": 3, "depth": 1, "time_ms": None, "random_plies": 2, "max_plies": 60, "seed": 5, "start": None,
    }
    games = reader.read_games(out)
    white = sum(g.winner == "white" for g in games)
    black = sum(g.winner == "black" for g in games)
    unfinished = sum(g.winner is None for g in games)
    plies = sum(len(g.plies) for g in games)
    assert f"Games: 3 (White won {white}, Black won {black}, unfinished {unfinished})" in stdout
    assert f"Average length: {plies / 3:.1f} plies" in stdout
    assert re.search(r"Speed: [0-9.]+ plies per second", stdout)
    summary = json.loads((out / "summary.json").read_text())
    assert (summary["white_wins"], summary["black_wins"], summary["unfinished"]) == (white, black, unfinished)
    assert summary["plies"] == plies
    size = sum(p.stat().st_size for p in (out / "data").iterdir())
    assert summary["bytes_per_ply"] == pytest.approx(size / plies)
    assert summary["replays"] == ["replays/game-0001.html", "replays/game-0002.html"]


def test_replays_only_for_the_games_asked_for(run_dir, tmp_path):
    out, stdout = run_dir
    assert sorted(p.name for p in (out / "replays").iterdir()) == ["game-0001.html", "game-0002.html"]
    settings_text = settings_from_json(json.loads((out / "run.json").read_text())["settings"]).describe()
    assert settings_text == "Self-play at depth 1, 2 random plies"
    for number in (1, 2):
        page = (out / "replays" / f"game-{number:04d}.html").read_text()
        assert page == replay_page(reader.read_game(out, number), settings_text)
        assert f"replay: {out / 'replays' / f'game-{number:04d}.html'}" in stdout
    # Any other game later, from the dataset alone.
    target = tmp_path / "three.html"
    run = tovak("replay", str(out), "--game", "3", "--out", str(target))
    assert run.returncode == 0, run.stderr
    assert target.read_text() == replay_page(reader.read_game(out, 3), settings_text)
    assert str(target) in run.stdout


@pytest.mark.parametrize(
    "args, message",
    [
        (("--game", "4"), "game 4 is not recorded in"),
        (("--game", "0"), "game must be at least 1"),
    ],
)
def test_replay_of_a_missing_game_is_one_line(run_dir, args, message):
    out, _ = run_dir
    run = tovak("replay", str(out), *args)
    assert run.returncode != 0
    assert message in run.stderr and len(run.stderr.splitlines()) == 1


def test_games_are_the_same_whatever_the_number_of_jobs(run_dir, tmp_path):
    out, _ = run_dir
    selfplay(tmp_path / "jobs", *RUN, "--jobs", "2")
    assert sorted_rows(tmp_path / "jobs") == sorted_rows(out)


def test_seed_decides_the_random_opening(run_dir, tmp_path):
    out, _ = run_dir
    selfplay(tmp_path / "other", "--games", "3", "--depth", "1", "--seed", "6", "--max-plies", "2")
    openings_5 = reader.move_lists(out)
    openings_6 = reader.move_lists(tmp_path / "other")
    assert [openings_5[n][:2] for n in (1, 2, 3)] != [openings_6[n] for n in (1, 2, 3)]
    assert len({tuple(o[:2]) for o in openings_5.values()}) > 1  # games of one run differ from each other


def test_ply_limit_and_show(tmp_path):
    run = selfplay(tmp_path / "run", "--depth", "1", "--random-plies", "0", "--max-plies", "3", "--show")
    game = reader.read_game(tmp_path / "run", 1)
    assert (game.winner, game.end_reason, len(game.plies)) == (None, "ply limit", 3)
    assert all(p.chosen_by == "engine" for p in game.plies)
    assert "Games: 1 (White won 0, Black won 0, unfinished 1)" in run.stdout
    # The start and the position after each ply, as the module draws them.
    diagrams = [from_text(p.position).ascii_board() for p in game.plies] + [
        from_text(game.final_position).ascii_board()
    ]
    position_in_output = 0
    for diagram in diagrams:
        position_in_output = run.stdout.index(diagram, position_in_output) + 1
    assert "Game 1: no result after 3 plies (ply limit)" in run.stdout


def test_games_from_a_given_position(tmp_path):
    selfplay(tmp_path / "run", "--depth", "1", "--random-plies", "0", "--position", "W:a1,b1,a2 B:b2,h8 w")
    game = reader.read_game(tmp_path / "run", 1)
    assert game.start == "W:a1,b1,a2 B:b2,h8 w"
    assert [p.move for p in game.plies] == ["a1-b2"]
    assert game.winner == "white"


def test_progress_counts_games_and_plies_on_a_terminal(tmp_path):
    main_end, terminal_end = pty.openpty()
    # A terminal of 24 rows and 120 columns (a new one has no size at all).
    fcntl.ioctl(terminal_end, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 120, 0, 0))
    try:
        run = subprocess.run(
            [*TOVAK, "selfplay", "--games", "6", "--depth", "3",
             "--max-plies", "40", "--out", str(tmp_path / "run")],
            stdout=subprocess.PIPE,
            stderr=terminal_end,
            text=True,
            timeout=120,
        )
        # Read while this process still holds the terminal side open: once
        # every holder has closed it, Linux drops what was not read yet.
        shown = read_available(main_end)
    finally:
        os.close(terminal_end)
        os.close(main_end)
    assert run.returncode == 0
    assert "/6 [" in shown and "game/s" in shown, shown
    assert re.search(r"\d+ plies, \d+ plies/s", shown), shown
    assert re.search(r"<\d\d:\d\d", shown), shown  # time left
    assert "Games: 6" in run.stdout


def read_available(fd):
    os.set_blocking(fd, False)
    chunks = []
    while True:
        try:
            chunk = os.read(fd, 4096)
        except BlockingIOError:
            break
        if not chunk:
            break
        chunks.append(chunk)
    return b"".join(chunks).decode("utf-8", "replace")


# --- nothing is lost -------------------------------------------------------------------------


@pytest.mark.parametrize(
    "existing, message",
    [
        ({"run.json": "{}", "data/chunk-000001.parquet": "x"}, "holds another run; continue it with --resume"),
        ({"notes.txt": "mine"}, "is not empty; choose a new or empty directory"),
        ({"game-0001.jsonl": "{}"}, "is not empty"),
    ],
)
def test_a_used_directory_is_refused_and_left_alone(tmp_path, existing, message):
    for name, text in existing.items():
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text(text)
    before = directory_listing(tmp_path)
    run = tovak("selfplay", "--depth", "1", "--out", str(tmp_path))
    assert run.returncode == 2
    assert message in run.stderr and len(run.stderr.splitlines()) == 1
    assert directory_listing(tmp_path) == before


@pytest.mark.parametrize(
    "args, message",
    [
        (("--depth", "2"), "--depth 2 conflicts with the recorded run (depth 1)"),
        (("--seed", "6"), "--seed 6 conflicts"),
        (("--games", "4"), "--games 4 conflicts"),
        (("--position", "W:a1,b1,c1 B:h8 w"), "--position W:a1,b1,c1 B:h8 w conflicts"),
    ],
)
def test_resume_refuses_other_settings(run_dir, args, message):
    out, _ = run_dir
    before = directory_listing(out)
    run = tovak("selfplay", "--out", str(out), "--resume", *args)
    assert run.returncode == 2
    assert message in run.stderr and len(run.stderr.splitlines()) == 1
    assert directory_listing(out) == before


def test_resume_of_a_finished_run_plays_nothing(run_dir):
    out, _ = run_dir
    chunks = sorted(p.name for p in (out / "data").iterdir())
    run = tovak("selfplay", "--out", str(out), "--resume", "--depth", "1")  # agreeing options are fine
    assert run.returncode == 0, run.stderr
    assert "Games: 3" in run.stdout
    assert sorted(p.name for p in (out / "data").iterdir()) == chunks


@pytest.mark.parametrize(
    "run_json, message",
    [
        (None, "holds no run (no run.json)"),
        ("{not json", "is not valid JSON"),
        ('{"format_version": 7, "kind": "selfplay", "settings": {}}', "was written in format 7"),
        ('{"format_version": 1, "kind": "match", "settings": {}}', "holds a match run, not a selfplay run"),
        ('{"format_version": 1, "kind": "selfplay", "settings": {"seed": 1}}', "does not record its games"),
    ],
)
def test_resume_needs_a_self_play_run(tmp_path, run_json, message):
    if run_json is not None:
        (tmp_path / "run.json").write_text(run_json)
    before = directory_listing(tmp_path)
    run = tovak("selfplay", "--out", str(tmp_path), "--resume")
    assert run.returncode == 2
    assert message in run.stderr and len(run.stderr.splitlines()) == 1
    assert directory_listing(tmp_path) == before


# A game a batch, so that a run of sixteen games writes many chunks.
KILL_RUN = ("--games", "16", "--depth", "3", "--seed", "3", "--max-plies", "60", "--chunk-plies", "100",
            "--replays", "0", "--batch-games", "1")


@pytest.fixture(scope="module")
def uninterrupted(tmp_path_factory):
    out = tmp_path_factory.mktemp("whole") / "run"
    selfplay(out, *KILL_RUN)
    return sorted_rows(out)


def start_run(out, *args):
    return start_tovak("selfplay", "--out", str(out), *KILL_RUN, *args, start_new_session=True)


def wait_for_chunks(process, data_dir, count, timeout=120):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and process.poll() is None:
        if data_dir.is_dir() and len(list(data_dir.glob("chunk-*.parquet"))) >= count:
            return
        time.sleep(0.01)
    pytest.fail(f"no {count} chunks in time (exit status {process.poll()})")


@pytest.mark.parametrize("jobs", ["1", "2"])
def test_resume_after_sigkill_gives_the_uninterrupted_dataset(tmp_path, uninterrupted, jobs):
    out = tmp_path / "run"
    process = start_run(out, "--jobs", jobs)
    try:
        wait_for_chunks(process, out / "data", 2)
        os.killpg(process.pid, signal.SIGKILL)
        process.wait(timeout=30)
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
    # Every chunk written before the kill is whole; a chunk being written is invisible.
    kept = reader.read_plies(out).to_pylist()
    assert 0 < len({row["game"] for row in kept}) < 16
    assert all(row in uninterrupted for row in kept[:50])
    for chunk in (out / "data").glob("chunk-*.parquet"):
        pq.read_table(chunk)
    # A stale temporary file, as a kill in the middle of a write leaves it.
    (out / "data" / ".chunk-000099.parquet.12345.tmp").write_bytes(b"PAR1 half a chunk")
    resumed = tovak("selfplay", "--out", str(out), "--resume", "--jobs", jobs)
    assert resumed.returncode == 0, resumed.stderr
    assert "Games: 16" in resumed.stdout
    assert sorted_rows(out) == uninterrupted
    assert not list((out / "data").glob(".*"))


def test_ctrl_c_saves_the_finished_games_and_resume_completes_the_run(tmp_path, uninterrupted):
    out = tmp_path / "run"
    # The games finished so far are held in memory (the chunk is large):
    # Ctrl-C, to the whole process group as a terminal sends it, writes them
    # before the command stops.
    returncode, stdout, stderr = run_interrupted(out, "os.killpg(os.getpgrp(), signal.SIGINT)")
    assert returncode == 130
    match = re.fullmatch(r"tovak: error: interrupted; (\d+) of 16 games recorded in .*--resume\)\n", stderr)
    assert match, stderr
    assert "Games:" not in stdout
    recorded = reader.recorded_games(out)
    assert len(recorded) == int(match.group(1)) > 0
    assert len(recorded) == 2  # the interrupt came as the second game was counted
    resumed = tovak("selfplay", "--out", str(out), "--resume")
    assert resumed.returncode == 0, resumed.stderr
    assert sorted_rows(out) == uninterrupted


# The command, with ACTION run in its own process as soon as the run has
# counted its second game: with 16 games to play, the run is then certainly
# under way, whatever the speed of the machine.
_INTERRUPTED_RUN = """
import multiprocessing, os, signal, sys
import {where} as runner
from tovak.cli import main

played_games = runner.play_batches

def games_then_action(*args, **kwargs):
    for count, games in enumerate(played_games(*args, **kwargs), start=1):
        yield games
        if count == 2:
            {action}

runner.play_batches = games_then_action
sys.exit(main(sys.argv[1:]))
"""
# The module whose play_batches the resumable run calls.
RUNNER_MODULE = "tovak.runs.session"


def run_interrupted(out, action):
    """Run a two-job run with a large chunk, with ``action`` (a Python
    statement) run in the command's process once two games have been counted;
    its exit status, standard output and standard error."""
    program = _INTERRUPTED_RUN.format(where=RUNNER_MODULE, action=action)
    process = start_python(
        "-c", program, "selfplay", "--out", str(out), *KILL_RUN, "--jobs", "2", "--chunk-plies", "100000",
        start_new_session=True,
    )
    try:
        stdout, stderr = process.communicate(timeout=120)
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.communicate()
    return process.returncode, stdout, stderr


def test_a_lost_local_worker_stops_the_run_with_the_finished_games_saved(tmp_path, uninterrupted):
    out = tmp_path / "run"
    # Killed while the games after the first task are still being played.
    kill_a_worker = "os.kill(multiprocessing.active_children()[0].pid, signal.SIGKILL)"
    returncode, _, stderr = run_interrupted(out, kill_a_worker)
    assert returncode == 1
    match = re.fullmatch(r"tovak: error: the games stopped: BrokenProcessPool: .*; (\d+) of 16 games recorded "
                         r"in .*--resume\)\n", stderr)
    assert match, stderr
    assert len(reader.recorded_games(out)) == int(match.group(1)) >= 2
    resumed = tovak("selfplay", "--out", str(out), "--resume")
    assert resumed.returncode == 0, resumed.stderr
    assert sorted_rows(out) == uninterrupted


def test_a_directory_in_use_is_refused(tmp_path):
    out = tmp_path / "run"
    process = start_run(out, "--games", "1000", "--chunk-plies", "1")
    try:
        wait_for_chunks(process, out / "data", 1)
        run = tovak("selfplay", "--out", str(out), "--resume")
    finally:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
    assert run.returncode == 2
    assert "in use by another running process" in run.stderr
