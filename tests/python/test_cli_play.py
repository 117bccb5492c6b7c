"""Scripted games of ``tovak play``: moves on stdin, the dialogue on stdout."""

import re
import subprocess
import sys

from tovak_python import Position

from tovak.analysis import NO_TIME_LIMIT_MS
from tovak.notation import from_text

WIN_IN_ONE = "W:a1,b1,a2 B:b2,h8 w"  # a1-b2 is White's only move, and it wins


def play(stdin, *args):
    run = subprocess.run(
        [sys.executable, "-m", "tovak", "play", *args],
        input=stdin,
        capture_output=True,
        text=True,
        timeout=120,
    )
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
    run = play("e2-e4\ne2e4\nA1-A1\n?\na1-b3\n", "--depth", "1")
    assert run.returncode == 0
    out = run.stdout
    # Each mistake is answered with the module's own message, and the prompt comes back.
    assert "Illegal move e2-e4: no supporting pivot exists for this move." in out
    assert "'e2e4' is not a move: invalid square in move." in out
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
    assert out.rstrip().endswith("End of input: game abandoned.")


def test_winning_the_game():
    run = play("a1-b2\n", "--position", WIN_IN_ONE, "--style", "letters")
    assert run.returncode == 0
    assert "You play a1-b2." in run.stdout
    assert run.stdout.rstrip().endswith("Game over: White wins (Black has no legal move). You win!")
    assert diagrams(run.stdout)[-1] == from_text("W:b1,a2,b2 B:h8 b").ascii_board("letters")


def test_engine_moves_first_and_wins_when_the_player_takes_black():
    run = play("", "--side", "b", "--position", WIN_IN_ONE)
    assert run.returncode == 0
    assert "Engine (White) plays a1-b2" in run.stdout
    assert "Your move" not in run.stdout
    assert run.stdout.rstrip().endswith("The engine wins.")


def test_engine_opens_the_initial_position_for_a_black_player():
    run = play("quit\n", "--side", "black", "--depth", "1")
    assert run.returncode == 0
    opening = re.search(r"Engine \(White\) plays (\S+) ", run.stdout).group(1)
    assert opening in Position().legal_moves()
    assert "Your move (Black): " in run.stdout
    assert run.stdout.rstrip().endswith("Game abandoned.")


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
