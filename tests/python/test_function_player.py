"""``python -m tovak.protocol.function_server``: a Python function answering the line protocol."""

import json
import subprocess
import sys
from pathlib import Path

import pytest

BOTS = Path(__file__).parent / "match_bots"
TARGET = "function_bots:first_move"
ONE_MOVE = "W:a1,b1,c1 B:h8 w"  # White's only legal move is a1-d1
DECIDED = "W:a1 B: w"  # Black has no piece left


def converse(*lines):
    """The exit status, the events written and the standard error of one player fed ``lines``."""
    raw = b"".join((line if isinstance(line, bytes) else json.dumps(line).encode()) + b"\n" for line in lines)
    run = subprocess.run(
        [sys.executable, "-m", "tovak.protocol.function_server", TARGET],
        input=raw,
        capture_output=True,
        cwd=BOTS,
        timeout=60,
    )
    return run.returncode, [json.loads(line) for line in run.stdout.splitlines()], run.stderr.decode()


def bestmove(move):
    return {"event": "bestmove", "move": move, "score": None, "depth": None}


@pytest.mark.parametrize(
    "lines, events",
    [
        pytest.param(
            [{"cmd": "hello"}],
            [{"event": "hello", "name": TARGET, "version": "0.1.0", "protocol": 1}],
            id="hello names the function",
        ),
        pytest.param(
            [{"cmd": "position", "position": ONE_MOVE}, {"cmd": "go"}],
            [bestmove("a1-d1")],
            id="go asks the function",
        ),
        pytest.param(
            [{"cmd": "position", "position": DECIDED}, {"cmd": "go"}],
            [bestmove(None)],
            id="no move in a decided position",
        ),
        pytest.param(
            [{"cmd": "position", "position": ONE_MOVE}, {"cmd": "position", "moves": ["e2-e4"]}, {"cmd": "go"}],
            [{"event": "error", "message": "move 1 ('e2-e4') cannot be played: "}, bestmove("a1-d1")],
            id="a bad position keeps the previous one",
        ),
        pytest.param(
            [b"", b"   ", b"not json", {"cmd": "stop"}, {"cmd": "position", "position": ONE_MOVE}, {"cmd": "go"}],
            [{"event": "error", "message": "not a JSON object: "}, bestmove("a1-d1")],
            id="blank lines, bad requests and stop are passed over",
        ),
        pytest.param(
            [{"cmd": "quit"}, {"cmd": "hello"}],
            [],
            id="nothing is answered after quit",
        ),
    ],
)
def test_conversation(lines, events):
    status, written, stderr = converse(*lines)
    assert status == 0, stderr
    assert len(written) == len(events), written
    for got, expected in zip(written, events):
        if expected["event"] == "error":
            # The start of the message is the system's; the rest names the fault in detail.
            assert got["event"] == "error" and got["message"].startswith(expected["message"]), got
        else:
            assert got == expected


def test_what_the_function_prints_goes_to_standard_error():
    status, written, stderr = converse({"cmd": "go"})
    assert status == 0 and [event["event"] for event in written] == ["bestmove"]
    assert "function players may print" in stderr
