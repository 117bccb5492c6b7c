"""Scripted games of ``tovak play``: moves on stdin, the dialogue on stdout."""

import re
import signal
import subprocess
import time

import pytest
from command_support import start_tovak, tovak
from tovak_python import Position

from tovak import Game

from tovak.analysis import NO_TIME_LIMIT_MS
from tovak.notation import from_text

WIN_IN_ONE = "W:a1,b1,a2 B:b2,h8 w"  # a1-b2 is White's only move, and it wins


def play(stdin, *args):
    run = tovak("play", *args, stdin=stdin)
    assert run.stderr == ""
    return run


def diagrams(stdout):
    """The diagrams printed, as the module draws them (ten lines each)."""
    header = "  a b c d e f g h\n"
    found = []
    lines = stdout.splitlines(keepends=True)
    for i, line in enumerate(lines):
        if line == header and i + 9 < len(lines) and lines[i + 9] == header:
            found.append("".join(lines[i : i + 10]))
    return found


def test_a_session_with_mistakes_help_and_a_move():
    run = play("e2-e4\ne9e4\nA1-A1\n?\na1-b3\n", "--depth", "1")
    assert run.returncode == 0
    out = run.stdout
    # Each mistake is answered with the module's own message, and the prompt comes back.
    assert "Illegal move e2-e4: no supporting pivot exists for this move." in out
    assert "'e9e4' is not a move: invalid square in move." in out
    assert "Illegal move a1-a1: start and destination must differ." in out
    assert out.count("Your move (White): ") == 6
    # "?" lists every legal move of the position.
    listing = out.split("62 legal moves:\n", 1)[1].split("Your move", 1)[0].split()
    assert listing == Position().legal_moves()
    assert "You play a1-b3." in out
    reply = re.search(r"Engine \(Black\) plays (\S+) \(", out).group(1)
    expected = Position()
    expected.apply_move("a1-b3")
    assert reply == expected.analyze_timed(1, NO_TIME_LIMIT_MS)["best_move"]
    expected.apply_move(reply)
    # A diagram at the start and after each of the two moves.
    shown = diagrams(out)
    assert len(shown) == 3
    assert shown[0] == Position().ascii_board()
    assert shown[2] == expected.ascii_board()
    assert out.rstrip().endswith(f"End of input: game abandoned.\nMoves: 1. a1-b3 {reply}")


def test_winning_the_game():
    run = play("a1-b2\n", "--position", WIN_IN_ONE, "--style", "letters")
    assert run.returncode == 0
    assert "You play a1-b2.\na1-b2 captures on b2 (Black has 1 piece left).\n" in run.stdout
    assert "Game over: White wins (Black has no legal move). You win!\nMoves: 1. a1-b2\n" in run.stdout
    assert diagrams(run.stdout)[-1] == from_text("W:b1,a2,b2 B:h8 b").ascii_board("letters")


def test_engine_moves_first_and_wins_when_the_player_takes_black():
    run = play("", "--side", "b", "--position", WIN_IN_ONE)
    assert run.returncode == 0
    assert "Engine (White) plays a1-b2" in run.stdout
    assert "a1-b2 captures on b2 (Black has 1 piece left)." in run.stdout
    assert "Your move" not in run.stdout
    assert "The engine wins.\nMoves: 1. a1-b2\n" in run.stdout


def test_engine_opens_the_initial_position_for_a_black_player():
    run = play("quit\n", "--side", "black", "--depth", "1")
    assert run.returncode == 0
    opening = re.search(r"Engine \(White\) plays (\S+) ", run.stdout).group(1)
    assert opening in Position().legal_moves()
    assert "Your move (Black): " in run.stdout
    assert f"Game abandoned.\nMoves: 1. {opening}\n" in run.stdout


def test_blank_lines_and_help_do_not_count_as_moves():
    run = play("\n   \nhelp\nboard\n", "--depth", "1")
    assert run.returncode == 0
    assert run.stdout.count("Your move (White): ") == 5
    assert "'?' lists your legal moves" in run.stdout
    assert len(diagrams(run.stdout)) == 2  # the start, and again on "board"
    assert not re.search(r"You play [a-h][1-8]-", run.stdout)


def test_time_limited_engine_still_answers():
    run = play("a1-b3\n", "--time-ms", "50")
    assert run.returncode == 0
    reply = re.search(r"Engine \(Black\) plays (\S+) \(", run.stdout).group(1)
    after = Position()
    after.apply_move("a1-b3")
    assert reply in after.legal_moves()


@pytest.mark.parametrize("entry", ["b1-b3", "b1b3", "b1 b3", "B1B3", "b1 - b3"])
def test_compact_moves_are_read_as_moves(entry):
    run = play(f"{entry}\n", "--depth", "1")
    assert run.returncode == 0
    assert "You play b1-b3." in run.stdout


def test_unknown_words_get_a_hint_and_help_lists_the_commands():
    run = play("hello\nhelp\n", "--depth", "1")
    assert run.returncode == 0
    assert "Unknown command 'hello': type 'help' for the commands" in run.stdout
    commands = run.stdout.split("Commands:\n", 1)[1]
    for word in ("?", "undo", "board", "help", "quit"):
        assert re.search(rf"^  {re.escape(word)} ", commands, re.M), word
    assert run.stdout.count("Your move (White): ") == 3


def test_undo_takes_back_the_move_and_the_reply():
    run = play("undo\na1-b3\nundo\nb1-b3\n", "--depth", "1")
    assert run.returncode == 0
    out = run.stdout
    assert "Nothing to undo: you have not moved yet." in out
    after = Position()
    after.apply_move("a1-b3")
    reply = after.analyze_timed(1, NO_TIME_LIMIT_MS)["best_move"]
    assert f"Took back a1-b3 and the reply {reply}." in out
    # The board after the undo is the initial one again, and the game goes on from it.
    took_back = out.split("Took back", 1)[1]
    assert diagrams(took_back)[0] == Position().ascii_board()
    second = Position()
    second.apply_move("b1-b3")
    second_reply = second.analyze_timed(1, NO_TIME_LIMIT_MS)["best_move"]
    assert out.rstrip().endswith(f"Moves: 1. b1-b3 {second_reply}")


def test_save_writes_the_game_that_load_reads_back(tmp_path):
    path = tmp_path / "game.json"
    run = play("a1-b3\nb1-a3\nquit\n", "--depth", "1", "--save", str(path))
    assert run.returncode == 0
    assert run.stdout.rstrip().endswith(f"Game saved to {path}.")
    game = Game.load(path)
    assert game.moves[0::2] == ("a1-b3", "b1-a3")
    assert len(game.moves) == 4
    assert f"Moves: 1. {game.moves[0]} {game.moves[1]} 2. {game.moves[2]} {game.moves[3]}" in run.stdout


def test_save_to_a_missing_directory_is_refused_before_the_game(tmp_path):
    run = tovak("play", "--save", str(tmp_path / "no" / "game.json"), stdin="a1-b3\n")
    assert run.returncode == 2
    assert run.stdout == ""
    assert "cannot save the game to" in run.stderr


def test_a_game_that_black_opens_is_numbered_from_black():
    run = play("quit\n", "--side", "white", "--depth", "1", "--position", "W:a1,b1,a2 B:b2,h8,g8,g7 b")
    assert run.returncode == 0
    opening = re.search(r"Engine \(Black\) plays (\S+) \(", run.stdout).group(1)
    assert run.stdout.rstrip().endswith(f"Moves: 1. ... {opening}")


def test_ctrl_c_while_the_engine_thinks_is_answered_at_once():
    process = start_tovak("play", "--side", "black", "--depth", "9", stdin=subprocess.PIPE)
    try:
        assert process.stdout.readline().startswith("You play Black")
        time.sleep(1.0)  # the engine is deep in a search of minutes
        assert process.poll() is None
        sent = time.monotonic()
        process.send_signal(signal.SIGINT)
        process.wait(timeout=30)
        elapsed = time.monotonic() - sent
        stdout, stderr = process.stdout.read(), process.stderr.read()
    finally:
        process.kill()
        for stream in (process.stdin, process.stdout, process.stderr):
            stream.close()
    assert elapsed < 0.5, f"the command took {elapsed:.2f} s to stop"
    assert process.returncode == 130
    assert stderr == "tovak: error: interrupted\n"
    assert "Engine (White) plays" not in stdout
    assert stdout.rstrip().endswith("Moves: none")
