"""``tovak engine``: the line protocol, spoken to a real engine process."""

import json
import queue
import subprocess
import threading
import time

import pytest
from command_support import TOVAK
from tovak_python import Position

from tovak.notation import to_text

INFO_KEYS = ["event", "depth", "score", "pv", "nodes", "quiescence_nodes", "time_ms"]
ANSWER_TIMEOUT = 60


class Engine:
    """A running ``tovak engine`` and the events it has written, read by a thread as they come."""

    def __init__(self):
        self.process = subprocess.Popen(
            [*TOVAK, "engine"],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
        )
        self.events = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.events.put((time.monotonic(), json.loads(line)))  # every line must be JSON
        self.events.put((time.monotonic(), None))

    def send(self, request):
        line = request if isinstance(request, bytes) else (
            request.encode() if isinstance(request, str) else json.dumps(request).encode()
        )
        self.process.stdin.write(line + b"\n")
        self.process.stdin.flush()

    def next_event(self, timeout=ANSWER_TIMEOUT):
        return self.events.get(timeout=timeout)[1]

    def until_bestmove(self):
        """The info events of one search, then its bestmove."""
        infos = []
        while (event := self.next_event())["event"] == "info":
            infos.append(event)
        assert event["event"] == "bestmove", event
        return infos, event

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        for stream in (self.process.stdin, self.process.stdout, self.process.stderr):
            stream.close()


@pytest.fixture
def engine():
    running = Engine()
    yield running
    running.close()


@pytest.fixture(scope="module")
def shared_engine():
    """One engine for the tests that leave no state behind (their requests all fail)."""
    running = Engine()
    yield running
    running.close()


def test_hello(engine):
    engine.send({"cmd": "hello"})
    assert engine.next_event() == {"event": "hello", "name": "tovak", "version": "0.1.0", "protocol": 1}


def test_go_reports_every_depth_then_the_same_answer_as_the_module(engine):
    engine.send({"cmd": "position", "moves": ["a1-b3", "h8-f6"]})
    engine.send({"cmd": "go", "depth": 3})
    infos, best = engine.until_bestmove()
    assert [info["depth"] for info in infos] == [1, 2, 3]
    assert all(list(info) == INFO_KEYS for info in infos)
    assert [info["time_ms"] for info in infos] == sorted(info["time_ms"] for info in infos)
    position = Position()
    position.apply_move("a1-b3")
    position.apply_move("h8-f6")
    for info in infos:
        expected = position.analyze_timed(info["depth"], 10**9)
        assert (info["score"], info["pv"], info["nodes"], info["quiescence_nodes"]) == (
            expected["score"],
            expected["principal_variation"],
            expected["nodes"],
            expected["quiescence_nodes"],
        )
    assert best == {"event": "bestmove", "move": infos[-1]["pv"][0], "score": infos[-1]["score"], "depth": 3}


def test_go_without_limits_searches_to_depth_4_from_a_position_text(engine):
    text = "W:a1,b1,c1,d5 B:e5,g7,h8 w"
    engine.send({"cmd": "position", "position": text})
    engine.send({"cmd": "go"})
    infos, best = engine.until_bestmove()
    assert infos[-1]["depth"] == 4 and best["depth"] == 4
    assert best["move"] == "a1-e5" and best["score"] == 100000


def test_stop_during_a_long_search_answers_within_100_ms(engine):
    engine.send({"cmd": "go", "depth": 255})
    first = engine.next_event()
    assert first["event"] == "info" and first["depth"] == 1
    time.sleep(0.2)
    sent = time.monotonic()
    engine.send({"cmd": "stop"})
    infos = [first]
    while True:
        arrived, event = engine.events.get(timeout=ANSWER_TIMEOUT)
        if event["event"] == "bestmove":
            break
        infos.append(event)
    assert arrived - sent < 0.1
    assert event["depth"] == infos[-1]["depth"] and event["move"] == infos[-1]["pv"][0]
    assert Position().is_legal_move(event["move"])
    engine.send({"cmd": "hello"})  # still serving
    assert engine.next_event()["event"] == "hello"


def test_stop_before_any_depth_completes_gives_the_quick_answer(engine):
    engine.send({"cmd": "go", "depth": 255})
    engine.send({"cmd": "stop"})
    infos, best = engine.until_bestmove()
    fallback = Position().analyze_timed(4, 0)
    if not infos:  # the stop came before depth 1 was done, as it almost always does
        assert (best["move"], best["score"], best["depth"]) == (fallback["best_move"], fallback["score"], 0)
    assert Position().is_legal_move(best["move"])


def test_a_side_without_moves_gets_a_null_move(engine):
    engine.send({"cmd": "position", "position": "W:a1,b1 B:h8 w"})
    engine.send({"cmd": "go", "depth": 2})
    assert engine.until_bestmove() == ([], {"event": "bestmove", "move": None, "score": -100000, "depth": 0})


BAD_REQUESTS = [
    (b"not json", "not a JSON object"),
    (b"[1, 2]", "must be a JSON object, got an array"),
    (b'{"cmd": "fly"}', "unknown or missing \"cmd\""),
    (b'{"depth": 3}', "unknown or missing \"cmd\""),
    (b'{"cmd": "go", "dept": 3}', "unknown field 'dept'"),
    (b'{"cmd": "go", "depth": "3"}', "'depth' must be an integer, got a string"),
    (b'{"cmd": "go", "depth": true}', "'depth' must be an integer, got a boolean"),
    (b'{"cmd": "go", "depth": 0}', "'depth' must be from 1 to 255"),
    (b'{"cmd": "go", "time_ms": -5}', "'time_ms' must be from 0"),
    (b'{"cmd": "position", "moves": "a1-b3"}', "'moves' must be an array"),
    (b'{"cmd": "position", "position": 7}', "'position' must be a string"),
    (b"\xff\xfe{}", "UTF-8"),
]


@pytest.mark.parametrize("line, message", BAD_REQUESTS, ids=[m for _, m in BAD_REQUESTS])
def test_a_bad_request_gets_an_error_and_the_engine_carries_on(shared_engine, line, message):
    shared_engine.send(line)
    event = shared_engine.next_event()
    assert event["event"] == "error" and message in event["message"], event
    shared_engine.send({"cmd": "hello"})
    assert shared_engine.next_event()["event"] == "hello"


@pytest.mark.parametrize(
    "request_, message",
    [
        ({"cmd": "position", "position": "W:a1 B:z9 w"}, "bad position"),
        ({"cmd": "position", "moves": ["a1-b3", "a1-b3"]}, "move 2 ('a1-b3') cannot be played"),
        ({"cmd": "position", "moves": ["e2-e4"]}, "move 1 ('e2-e4') cannot be played"),
    ],
)
def test_a_bad_position_leaves_the_previous_one_in_place(engine, request_, message):
    previous = "W:a1,b1,c1 B:h8 w"  # one legal move only: a1-d1
    engine.send({"cmd": "position", "position": previous})
    engine.send(request_)
    error = engine.next_event()
    assert error["event"] == "error" and message in error["message"] and "unchanged" in error["message"]
    engine.send({"cmd": "go", "depth": 1})
    _, best = engine.until_bestmove()
    assert best["move"] == "a1-d1"


def test_a_second_go_during_a_search_is_refused_and_the_first_finishes(engine):
    engine.send({"cmd": "go", "depth": 255})
    engine.send({"cmd": "go", "depth": 1})
    assert "already running" in engine.next_event()["message"]
    engine.send({"cmd": "stop"})
    _, best = engine.until_bestmove()
    assert Position().is_legal_move(best["move"])


def test_a_new_position_during_a_search_is_for_the_next_go(engine):
    engine.send({"cmd": "go", "depth": 255})
    engine.send({"cmd": "position", "position": "W:a1,b1,c1 B:h8 w"})
    engine.send({"cmd": "stop"})
    _, best = engine.until_bestmove()
    assert Position().is_legal_move(best["move"])
    engine.send({"cmd": "go", "depth": 2})
    assert engine.until_bestmove()[1]["move"] == "a1-d1"


def test_quit_ends_the_process_with_status_0_even_during_a_search(engine):
    engine.send({"cmd": "go", "depth": 255})
    engine.send({"cmd": "quit"})
    assert engine.process.wait(timeout=ANSWER_TIMEOUT) == 0


def test_end_of_input_lets_the_search_finish_then_exits_0():
    requests = [{"cmd": "position", "position": to_text(Position())}, {"cmd": "go", "depth": 2}]
    run = subprocess.run(
        [*TOVAK, "engine"],
        input="".join(json.dumps(r) + "\n" for r in requests),
        capture_output=True,
        text=True,
        timeout=ANSWER_TIMEOUT,
    )
    assert run.returncode == 0 and run.stderr == ""
    events = [json.loads(line) for line in run.stdout.splitlines()]
    assert [e["event"] for e in events] == ["info", "info", "bestmove"]
