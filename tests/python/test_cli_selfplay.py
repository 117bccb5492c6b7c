"""``tovak selfplay``: records, replays, reproducibility and the summary."""

import fcntl
import json
import os
import pty
import re
import struct
import subprocess
import sys
import termios
from html.parser import HTMLParser

import pytest
from tovak_python import Position

from tovak.notation import from_text, to_text


def selfplay(out_dir, *args):
    run = subprocess.run(
        [sys.executable, "-m", "tovak", "selfplay", "--out", str(out_dir), *args],
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert run.returncode == 0, run.stderr
    assert run.stderr == ""  # no progress bar when stderr is not a terminal
    return run


def read_game(path):
    lines = [json.loads(line) for line in path.read_text().splitlines()]
    assert [line["type"] for line in lines] == ["game"] + ["ply"] * (len(lines) - 2) + ["result"]
    return lines[0], lines[1:-1], lines[-1]


def without_timings(path):
    return [re.sub(r'"seconds": [0-9.e-]+', "", line) for line in path.read_text().splitlines()]


class PageReader(HTMLParser):
    def __init__(self):
        super().__init__()
        self.svg_count = 0
        self.frames = []
        self.external = []
        self.scripts = 0

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "svg":
            self.svg_count += 1
        if tag == "div" and attrs.get("class") == "frame":
            self.frames.append(attrs)
        if tag == "script":
            self.scripts += 1
            if "src" in attrs:
                self.external.append(attrs["src"])
        for name in ("src", "href"):
            if name in attrs and not attrs[name].startswith("#"):
                self.external.append(attrs[name])


@pytest.fixture(scope="module")
def run_dir(tmp_path_factory):
    out = tmp_path_factory.mktemp("selfplay")
    run = selfplay(out, "--games", "3", "--depth", "1", "--seed", "5", "--max-plies", "60")
    return out, run.stdout


def test_every_ply_record_is_a_legal_move_from_the_recorded_position(run_dir):
    out, _ = run_dir
    for number in (1, 2, 3):
        header, plies, result = read_game(out / f"game-{number:04d}.jsonl")
        assert header["game"] == number and header["depth"] == 1 and header["random_plies"] == 2
        position = from_text(header["start"])
        assert to_text(position) == to_text(Position())
        for index, ply in enumerate(plies, start=1):
            assert ply["ply"] == index
            assert ply["position"] == to_text(position)
            assert ply["side"] == position.side_to_move()
            assert ply["chosen_by"] == ("random" if index <= 2 else "engine")
            position.apply_move(ply["move"])
        assert result["final_position"] == to_text(position)
        assert result["plies"] == len(plies)
        if result["winner"] is None:
            assert result["reason"] == "ply limit" and len(plies) == 60
        else:
            assert result["reason"] == "no legal move"
            assert position.outcome() == result["winner"]


def test_engine_plies_are_the_engine_choice(run_dir):
    out, _ = run_dir
    _, plies, _ = read_game(out / "game-0001.jsonl")
    for ply in plies[2:6]:
        analysis = from_text(ply["position"]).analyze_timed(1, 2**64 - 1)
        assert (ply["move"], ply["score"], ply["depth"]) == (
            analysis["best_move"],
            analysis["score"],
            analysis["completed_depth"],
        )


def test_replay_page_holds_one_svg_per_position(run_dir):
    out, _ = run_dir
    for number in (1, 2, 3):
        _, plies, result = read_game(out / f"game-{number:04d}.jsonl")
        page = (out / f"game-{number:04d}.html").read_text()
        reader = PageReader()
        reader.feed(page)
        assert len(reader.frames) == len(plies) + 1
        assert reader.svg_count == len(reader.frames) + 1  # the frames and the score chart
        assert reader.external == []
        assert reader.scripts == 1
        assert "ArrowRight" in page and "ArrowLeft" in page
        # Each frame is the module's picture of the position with its move and pivots.
        for ply in plies:
            assert from_text(ply["position"]).svg_for_move(ply["move"]) in page
        assert from_text(result["final_position"]).svg_board() in page
        captions = [frame["data-caption"] for frame in reader.frames]
        assert captions[0].startswith(f"Ply 1 of {len(plies)}: White plays {plies[0]['move']}")
        assert captions[-1].startswith("Final position")


def test_summary_matches_the_records(run_dir):
    out, stdout = run_dir
    results = [read_game(out / f"game-{n:04d}.jsonl")[2] for n in (1, 2, 3)]
    white = sum(r["winner"] == "white" for r in results)
    black = sum(r["winner"] == "black" for r in results)
    unfinished = sum(r["winner"] is None for r in results)
    assert f"Games: 3 (White won {white}, Black won {black}, unfinished {unfinished})" in stdout
    average = sum(r["plies"] for r in results) / 3
    assert f"Average length: {average:.1f} plies" in stdout
    assert re.search(r"Speed: [0-9.]+ plies per second", stdout)
    summary = json.loads((out / "summary.json").read_text())
    assert (summary["white_wins"], summary["black_wins"], summary["unfinished"]) == (white, black, unfinished)
    assert summary["replays"] == ["game-0001.html", "game-0002.html", "game-0003.html"]


def test_games_are_the_same_whatever_the_number_of_jobs(run_dir, tmp_path):
    out, _ = run_dir
    selfplay(tmp_path, "--games", "3", "--depth", "1", "--seed", "5", "--max-plies", "60", "--jobs", "2")
    for number in (1, 2, 3):
        name = f"game-{number:04d}.jsonl"
        assert without_timings(tmp_path / name) == without_timings(out / name)


def test_seed_decides_the_random_opening(run_dir, tmp_path):
    out, _ = run_dir
    selfplay(tmp_path, "--games", "3", "--depth", "1", "--seed", "6", "--max-plies", "2")
    openings_5 = [[p["move"] for p in read_game(out / f"game-{n:04d}.jsonl")[1][:2]] for n in (1, 2, 3)]
    openings_6 = [[p["move"] for p in read_game(tmp_path / f"game-{n:04d}.jsonl")[1]] for n in (1, 2, 3)]
    assert openings_5 != openings_6
    assert len({tuple(o) for o in openings_5}) > 1  # games of one run differ from each other


def test_ply_limit_and_show(tmp_path):
    run = selfplay(tmp_path, "--depth", "1", "--random-plies", "0", "--max-plies", "3", "--show")
    _, plies, result = read_game(tmp_path / "game-0001.jsonl")
    assert (result["winner"], result["reason"], len(plies)) == (None, "ply limit", 3)
    assert all(p["chosen_by"] == "engine" for p in plies)
    assert "Games: 1 (White won 0, Black won 0, unfinished 1)" in run.stdout
    # The start and the position after each ply, as the module draws them.
    board = [from_text(p["position"]).ascii_board() for p in plies] + [
        from_text(result["final_position"]).ascii_board()
    ]
    position_in_output = 0
    for diagram in board:
        position_in_output = run.stdout.index(diagram, position_in_output) + 1
    assert "Game 1: no result after 3 plies (ply limit)" in run.stdout


def test_games_from_a_given_position(tmp_path):
    selfplay(tmp_path, "--depth", "1", "--random-plies", "0", "--position", "W:a1,b1,a2 B:b2,h8 w")
    header, plies, result = read_game(tmp_path / "game-0001.jsonl")
    assert header["start"] == "W:a1,b1,a2 B:b2,h8 w"
    assert [p["move"] for p in plies] == ["a1-b2"]
    assert result["winner"] == "white"
    page = (tmp_path / "game-0001.html").read_text()
    assert "White wins (Black has no legal move)" in page


def test_progress_bar_on_a_terminal(tmp_path):
    main_end, terminal_end = pty.openpty()
    # A terminal of 24 rows and 100 columns (a new one has no size at all).
    fcntl.ioctl(terminal_end, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    try:
        run = subprocess.run(
            [sys.executable, "-m", "tovak", "selfplay", "--games", "3", "--depth", "2",
             "--max-plies", "30", "--out", str(tmp_path)],
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
    assert "/3 [" in shown and "game/s" in shown, shown
    assert "Games: 3" in run.stdout


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
