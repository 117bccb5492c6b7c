"""``tovak serve`` over plain HTTP: what it refuses (malformed, oversized,
illegal requests, paths, requests without the token), how many search
processes it runs, and Ctrl-C, which stops them all."""

import http.client
import json
import socket
import time
import urllib.parse
import urllib.request

import pytest
from command_support import tovak
from serve_support import BoardServer, alive, read_events, wait_until

from tovak.game import Game
from tovak.notation import from_text, to_text
from tovak_python import Position

START = to_text(Position())
AFTER_ONE = Game(START, ["h1-d3"]).to_text()
# A long search: the live analysis of each stream runs until it is stopped.
DEEP = ("--depth", "12")


@pytest.fixture(scope="module")
def server():
    board = BoardServer(*DEEP)
    yield board
    board.close()


def search_path(page, position=START, **params):
    return "/api/search?" + urllib.parse.urlencode({"page": page, "position": position, **params})


def open_stream(board, page, position=START, **params):
    """An open event stream of a search, its first event (start) read."""
    response = urllib.request.urlopen(board.base.rstrip("/") + search_path(page, position, **params), timeout=60)
    events = read_events(response)
    name, data = next(events)
    assert name == "start" and data["position"] == to_text(from_text(position))
    return response, events


BAD_REQUESTS = [
    # (path, body or raw bytes, content type, status, words of the error)
    ("/api/view", b"{not json", "application/json", 400, "not JSON"),
    ("/api/view", b"[1, 2]", "application/json", 400, "JSON object"),
    ("/api/view", b"\xff\xfe", "application/json", 400, "not JSON"),
    ("/api/view", {"start": START, "moves": [], "ply": 0}, "text/plain", 415, "must be JSON"),
    ("/api/view", {"start": START, "moves": []}, "application/json", 400, "missing field 'ply'"),
    ("/api/view", {"start": START, "moves": "h1-d3", "ply": 0}, "application/json", 400, "list of move texts"),
    ("/api/view", {"start": START, "moves": [], "ply": "zero"}, "application/json", 400, "'ply' must be an integer"),
    ("/api/view", {"start": START, "moves": [], "ply": True}, "application/json", 400, "'ply' must be an integer"),
    ("/api/view", {"start": START, "moves": [], "ply": 1}, "application/json", 422, "'ply' must be from 0 to 0"),
    ("/api/view", {"start": START, "moves": ["a1-a8"], "ply": 0}, "application/json", 422, "move 1 ('a1-a8')"),
    ("/api/view", {"start": START, "moves": ["zz"], "ply": 0}, "application/json", 422, "move 1"),
    ("/api/view", {"start": "W:a1 B:a1 w", "moves": [], "ply": 0}, "application/json", 422, "also in the White"),
    ("/api/load", {"text": '{"format": "tovak game", "version": 9}'}, "application/json", 422, "version 9"),
    ("/api/load", {"text": "not a position"}, "application/json", 422, "neither a game file nor"),
    ("/api/chart", {"scores": ["high"]}, "application/json", 400, "integers or nulls"),
    ("/api/game-file", {"start": START, "moves": ["h1-d3", "h1-d3"]}, "application/json", 422, "move 2"),
]


@pytest.mark.parametrize("path, body, content_type, status, words", BAD_REQUESTS)
def test_a_bad_request_gets_a_4xx_json_error_and_the_server_goes_on(server, path, body, content_type, status, words):
    raw = body if isinstance(body, bytes) else json.dumps(body).encode()
    code, answer = server.request(path, raw=raw, method="POST", headers={"Content-Type": content_type})
    assert (code, type(answer)) == (status, dict), answer
    assert words in answer["error"]
    assert server.request("/api/view", {"start": START, "moves": ["h1-d3"], "ply": 1})[0] == 200


@pytest.mark.parametrize(
    "path, method, status",
    [("/nowhere", "GET", 404), ("/api/view", "GET", 405), ("/", "POST", 405), ("/api/search", "POST", 405)],
)
def test_unknown_routes_and_methods_get_json_errors(server, path, method, status):
    code, answer = server.request(path, method=method, raw=b"" if method == "POST" else None)
    assert code == status and "error" in answer


@pytest.mark.parametrize(
    "params, status, words",
    [
        ({"page": "short"}, 400, "page's id"),
        ({"page": "0" * 32, "position": "W:z9 B:- w"}, 422, "bad position"),
        ({"page": "0" * 32, "purpose": "ponder"}, 400, "'purpose'"),
        ({"page": "0" * 32, "depth": "0"}, 422, "'depth' must be from 1"),
        ({"page": "0" * 32, "time_ms": "-5"}, 400, "'time_ms' must be an integer"),
        ({"page": "0" * 32, "file": "/etc/passwd"}, 400, "unknown parameter 'file'"),
    ],
)
def test_a_bad_search_request_is_refused_before_any_search_starts(server, params, status, words):
    query = {"position": START, **params}
    code, answer = server.request("/api/search?" + urllib.parse.urlencode(query))
    assert code == status and words in answer["error"]
    assert server.workers() == []


def test_the_views_are_the_modules_own_answers(server):
    # The page has no rules of its own: the view carries the module's legal
    # moves, picture and captures.
    game = Game("W:a1,c1,a3,h1 B:c3,h8 w")
    capture = next(m for m in game.legal_moves() if m.endswith("-c3"))
    code, view = server.request("/api/view", {"start": game.start, "moves": [capture], "ply": 1})
    assert code == 200
    game.push(capture)
    assert view["position"] == game.to_text() and view["board"] == game.svg()
    assert view["legal_moves"] == game.legal_moves()
    assert view["moves"] == [{"move": capture, "capture": "c3"}]
    assert view["positions"] == [game.start, game.to_text()]
    code, file = server.request("/api/game-file", {"start": game.start, "moves": [capture]})
    assert code == 200 and Game.from_json(json.dumps(file)) == game


def chunked_post(board, path, chunks):
    host, port = urllib.parse.urlsplit(board.base).netloc.split(":")
    connection = http.client.HTTPConnection(host, int(port), timeout=30)
    try:
        connection.request("POST", path, body=iter(chunks), headers={"Content-Type": "application/json"},
                           encode_chunked=True)
        response = connection.getresponse()
        return response.status, json.loads(response.read())
    finally:
        connection.close()


def test_an_oversized_body_is_refused_whether_or_not_it_says_its_length(server):
    huge = json.dumps({"text": "x" * 300_000}).encode()
    code, answer = server.request("/api/load", raw=huge, method="POST", headers={"Content-Type": "application/json"})
    assert code == 413 and "larger than" in answer["error"]
    # Without a Content-Length the body is counted as it arrives.
    code, answer = chunked_post(server, "/api/load", [huge[i : i + 8192] for i in range(0, len(huge), 8192)])
    assert code == 413 and "larger than" in answer["error"]
    code, answer = server.request("/api/view", {"start": START, "moves": ["h1-d3"] * 5000, "ply": 0})
    assert code == 413 and "more than 4096 moves" in answer["error"]
    assert server.request("/api/view", {"start": START, "moves": [], "ply": 0})[0] == 200


def test_a_path_in_a_request_is_never_opened(server, tmp_path):
    secret = tmp_path / "secret.json"
    secret.write_text(Game(START, ["h1-d3"]).to_json())
    for body in ({"path": str(secret)}, {"text": str(secret), "path": str(secret)}, {"file": str(secret)}):
        code, answer = server.request("/api/load", body)
        assert code == 400 and "unknown field" in answer["error"]
    # A path where a text belongs is read as a text, which it is not.
    code, answer = server.request("/api/load", {"text": str(secret)})
    assert code == 422 and "h1-d3" not in json.dumps(answer)
    for path in ("/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/api/../../etc/passwd", "/" + str(secret)):
        code, answer = server.request(path)
        assert code == 404 and "root:" not in json.dumps(answer)


def test_a_host_header_naming_another_machine_is_refused_on_loopback(server):
    code, answer = server.request("/", headers={"Host": "attacker.example:80"})
    assert code == 403 and "loopback" in answer["error"]
    code, answer = server.request("/api/view", {"start": START, "moves": [], "ply": 0},
                                  headers={"Origin": "http://attacker.example"})
    assert code == 403 and "other sites" in answer["error"]
    assert server.request("/", headers={"Host": "localhost"})[0] == 200


def test_a_non_loopback_bind_needs_the_printed_token_on_every_request():
    board = BoardServer("--host", "0.0.0.0", *DEEP)
    try:
        assert board.token is not None and len(board.token) >= 20
        port = urllib.parse.urlsplit(board.base).port
        board.base = f"http://127.0.0.1:{port}/"
        view = {"start": START, "moves": [], "ply": 0}
        for path, body in (("/", None), ("/api/view", view), (search_path("1" * 32), None)):
            for headers in ({}, {"X-Tovak-Token": board.token[:-1] + "x"}):
                code, answer = board.request(path, body, headers=headers)
                assert code == 403 and "token" in answer["error"], (path, headers)
        assert board.workers() == []
        code, page = board.request(f"/?token={board.token}")
        assert code == 200 and "<!DOCTYPE html>" in page
        assert board.request("/api/view", view, headers={"X-Tovak-Token": board.token})[0] == 200
        response, events = open_stream(board, "1" * 32, token=board.token, depth="2")
        assert [name for name, _ in events] == ["depth", "depth", "end"]
        response.close()
        returncode, out, err = board.interrupt()
        assert returncode == 130 and "token" in out
    finally:
        board.close()


def test_a_page_has_one_search_and_its_new_position_stops_the_old_one_at_once(server):
    first, first_events = open_stream(server, "2" * 32)
    (old,) = wait_until(server.workers, message="the first search process")
    second, _ = open_stream(server, "2" * 32, AFTER_ONE)
    wait_until(lambda: not alive(old), timeout=1, message="the old search to stop")
    assert [data["reason"] for name, data in first_events if name == "end"] == ["stopped"]
    (new,) = wait_until(server.workers, message="the new search process")
    assert new != old
    second.close()  # the page went away: its search stops
    wait_until(lambda: not alive(new), timeout=5, message="the search of a closed stream to stop")


def test_the_search_processes_are_bounded_and_ctrl_c_stops_them_all():
    board = BoardServer(*DEEP)
    try:
        streams = []
        seen = set()
        for page in range(7):
            streams.append(open_stream(board, f"{page:032x}"))
            time.sleep(0.3)
            running = board.workers()
            assert len(running) <= 4
            seen.update(running)
        running = wait_until(lambda: (r := board.workers()) and len(r) == 4 and r, message="four searches")
        # The oldest were stopped to make room, each saying so at its end.
        for response, events in streams[:3]:
            assert [data["reason"] for name, data in events if name == "end"] == ["stopped"]
        assert len(seen) == 7 and all(not alive(pid) for pid in seen - set(running))
        started = time.monotonic()
        returncode, out, err = board.interrupt()
        assert time.monotonic() - started < 10
        assert (returncode, err) == (130, "tovak: error: interrupted\n")
        assert all(not alive(pid) for pid in seen)
        for response, _ in streams:
            response.close()
    finally:
        board.close()


@pytest.mark.parametrize(
    "args, status, words",
    [
        (("--position", START, "--run", "somewhere", "--game", "1"), 2, "not --run and --position"),
        (("--run", "somewhere"), 2, "--run and --game go together"),
        (("--position", "W:a9 B:- w"), 2, "bad position"),
        (("--ply", "3"), 2, "--ply must be at most 0"),
        (("--depth", "0"), 2, "above 0"),
        (("GAME",), 2, "not a game file"),
    ],
)
def test_the_command_refuses_bad_options(tmp_path, args, status, words):
    (tmp_path / "GAME").write_text("{}")
    args = [str(tmp_path / "GAME") if arg == "GAME" else arg for arg in args]
    run = tovak("serve", "--port", "0", *args, timeout=60)
    assert run.returncode == status and words in run.stderr and "Traceback" not in run.stderr


def test_a_busy_port_is_one_line_of_error():
    sock = socket.create_server(("127.0.0.1", 0))
    try:
        run = tovak("serve", "--port", str(sock.getsockname()[1]), timeout=60)
    finally:
        sock.close()
    assert run.returncode == 1 and run.stderr.startswith("tovak: error: cannot listen on 127.0.0.1 port")
