"""The analysis board of ``tovak serve`` in a real headless browser, served by
the real command: moves by clicks (captures, refused clicks, a flipped
board), the live lines and their replacement, the engine's best move and a
game against it, stepping by keys, the move list and the graph, loading and
downloading games, and the address that keeps the board."""

import time

import pytest
from browser_support import chromium
from command_support import tovak
from selenium.common.exceptions import StaleElementReferenceException
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select
from serve_support import BoardServer, alive, wait_until

from tovak.game import Game
from tovak.notation import SQUARES, from_text, to_text
from tovak.runs.reader import read_game
from tovak_python import Position

START = to_text(Position())
# White to move, with a capture (a1-c6) among its moves.
MIDDLE = "W:a1,b1,e1,f1,g1,h1,a2,b2,c2,d2,e2,g2,h2,a3,b3,b4 B:c6,f6,g6,b7,c7,d7,e7,g7,h7,a8,b8,d8,e8,f8,g8,h8 w"
# Two captures by Black leave White with two pieces, and no move, within a few plies.
ENDGAME = "W:b3,g3,b6,f6 B:c4,h6,f7,g8 w"

# One round trip reads all that the tests look at.
STATE_SCRIPT = """
const board = document.getElementById('board');
const lines = document.querySelector('#lines tbody');
const chart = document.querySelector('#chart svg');
const marker = chart && chart.querySelector('#chart-marker');
const current = document.querySelector('#moves a.current');
return {
  position: board.dataset.position || null,
  ply: board.dataset.ply === undefined ? null : Number(board.dataset.ply),
  status: document.getElementById('status').textContent,
  message: document.getElementById('message').textContent,
  moves: Array.from(document.querySelectorAll('#moves a[data-ply]:not(.start)')).map((a) => a.textContent),
  current: current ? Number(current.dataset.ply) : null,
  selected: document.querySelectorAll('#overlay .selected').length,
  targets: Array.from(document.querySelectorAll('#overlay .target')).map((c) => c.dataset.square).sort(),
  captureTargets: Array.from(document.querySelectorAll('#overlay .target.capture')).map((c) => c.dataset.square).sort(),
  linesPosition: lines.dataset.position || null,
  lines: Array.from(lines.rows).map((r) => Array.from(r.cells).map((c) => c.textContent)),
  flipped: board.classList.contains('flipped'),
  files: document.getElementById('files').textContent,
  hash: window.location.hash,
  marker: marker ? Number(marker.getAttribute('x1')) : null,
  points: chart ? chart.querySelectorAll('circle.point').length : 0,
  positionText: document.getElementById('position-text').value,
};
"""


@pytest.fixture(scope="module")
def downloads(tmp_path_factory):
    return tmp_path_factory.mktemp("downloads")


@pytest.fixture(scope="module")
def browser(downloads):
    with chromium(download_dir=downloads) as session:
        session.set_window_size(1200, 1000)
        yield session


@pytest.fixture
def serve():
    started = []

    def start(*args):
        started.append(BoardServer(*args))
        return started[-1]

    yield start
    for board in started:
        board.close()


def state(browser):
    return browser.execute_script(STATE_SCRIPT)


def wait_for(browser, check, timeout=30, message="the page"):
    """Wait until ``check(state)`` holds; return that state."""
    found = []

    def ready():
        seen = state(browser)
        if check(seen):
            found.append(seen)
            return True
        return False

    wait_until(ready, timeout=timeout, message=message)
    return found[0]


def open_board(browser, url):
    browser.get("about:blank")
    browser.get(url)
    return wait_for(browser, lambda s: s["position"] is not None, message="the first view")


def click_square(browser, square, flipped=False):
    """Click the centre of ``square``, where the board is drawn (White's side
    at the bottom, or Black's when ``flipped``)."""
    board = browser.find_element(By.ID, "board")
    width, height = board.size["width"], board.size["height"]
    column, row = "abcdefgh".index(square[0]), 8 - int(square[1])
    if flipped:
        column, row = 7 - column, 7 - row
    x = (column + 0.5) * width / 8 - width / 2
    y = (row + 0.5) * height / 8 - height / 2
    ActionChains(browser).move_to_element_with_offset(board, round(x), round(y)).click().perform()


def press(browser, key):
    browser.find_element(By.TAG_NAME, "body").send_keys(key)


def destinations(position_text, square):
    return sorted(m.split("-")[1] for m in from_text(position_text).legal_moves() if m.startswith(square + "-"))


def after(position_text, *moves):
    return Game(position_text, moves).to_text()


def test_clicks_play_moves_and_captures_and_refused_clicks_change_nothing(browser, serve):
    board = serve("--position", MIDDLE, "--depth", "1")
    seen = open_board(browser, board.url)
    assert (seen["position"], seen["ply"], seen["moves"]) == (MIDDLE, 0, [])

    # The other side's piece, an empty square nothing can reach: ignored.
    for square in ("c6", "h5"):
        click_square(browser, square)
        seen = state(browser)
        assert (seen["selected"], seen["targets"], seen["ply"], seen["message"]) == (0, [], 0, "")

    # A piece of the side to move: its destinations are marked, captures as such.
    click_square(browser, "a1")
    seen = state(browser)
    assert seen["selected"] == 1 and seen["targets"] == destinations(MIDDLE, "a1")
    assert "c6" in seen["captureTargets"] and all(from_text(MIDDLE).piece_at(s) for s in seen["captureTargets"])
    # A square it cannot reach lets go of it, and plays nothing.
    refused = next(s for s in ("h8", "d4", "a4") if s not in seen["targets"])
    click_square(browser, refused)
    seen = state(browser)
    assert (seen["selected"], seen["ply"], seen["position"], seen["message"]) == (0, 0, MIDDLE, "")

    click_square(browser, "a1")
    click_square(browser, "c6")
    captured = after(MIDDLE, "a1-c6")
    seen = wait_for(browser, lambda s: s["ply"] == 1, message="the capture")
    assert seen["position"] == captured and seen["moves"] == ["a1-c6 \u00d7"]
    assert seen["status"].startswith("Black to move")
    assert from_text(captured).piece_count("black") == from_text(MIDDLE).piece_count("black") - 1

    # Flipped, Black's side is at the bottom and a click lands on its own square.
    browser.find_element(By.ID, "flip").click()
    assert state(browser)["flipped"] and state(browser)["files"] == "hgfedcba"
    piece = next(m.split("-")[0] for m in from_text(captured).legal_moves())
    click_square(browser, piece, flipped=True)
    seen = state(browser)
    assert seen["targets"] == destinations(captured, piece)
    click_square(browser, seen["targets"][0], flipped=True)
    seen = wait_for(browser, lambda s: s["ply"] == 2, message="Black's move")
    assert seen["position"] == after(MIDDLE, "a1-c6", f"{piece}-{destinations(captured, piece)[0]}")


def rows_for(position_text, depth):
    """The rows the lines table shows for a search to ``depth``, deepest first."""
    position = from_text(position_text)
    sign = 1 if position.side_to_move() == "white" else -1
    rows = []
    for d in range(depth, 0, -1):
        result = position.analyze_timed(d, 10**9)
        score = sign * result["score"]
        shown = ("+" if score > 0 else "\u2212" if score < 0 else "") + str(abs(score))
        rows.append([str(d), shown, " ".join(result["principal_variation"])])
    return rows


def test_live_lines_arrive_depth_by_depth_and_are_replaced_after_a_move(browser, serve):
    board = serve("--depth", "4")
    open_board(browser, board.url)
    seen = wait_for(browser, lambda s: len(s["lines"]) == 4, message="four depths")
    assert seen["linesPosition"] == START
    # Each row is the module's own search of its depth, from White's view.
    assert [[row[0], row[1], row[3]] for row in seen["lines"]] == rows_for(START, 4)

    click_square(browser, "h1")
    click_square(browser, "d3")
    moved = after(START, "h1-d3")
    seen = wait_for(browser, lambda s: s["linesPosition"] == moved and len(s["lines"]) == 4, message="new lines")
    assert [[row[0], row[1], row[3]] for row in seen["lines"]] == rows_for(moved, 4)
    # The graph has the scores of both positions.
    assert wait_for(browser, lambda s: s["points"] == 2, message="two points on the graph")


def test_a_new_position_stops_the_old_search_at_once_and_closing_the_page_stops_its_search(browser, serve):
    board = serve("--depth", "12")  # searches that would outlast the test
    open_board(browser, board.url)
    (first,) = wait_until(board.workers, message="the first search")
    press(browser, Keys.ARROW_RIGHT)  # nothing to step to: the same search goes on
    time.sleep(0.3)
    assert board.workers() == [first]
    click_square(browser, "h1")
    click_square(browser, "d3")
    wait_until(lambda: not alive(first), timeout=1.5, message="the old search to stop")
    (second,) = wait_until(board.workers, message="the search of the new position")
    browser.get("about:blank")
    wait_until(lambda: not alive(second), timeout=5, message="the closed page's search to stop")
    assert board.workers() == []


def test_the_best_move_key_and_button_play_the_deepest_lines_first_move(browser, serve):
    board = serve("--depth", "3")
    open_board(browser, board.url)
    seen = wait_for(browser, lambda s: len(s["lines"]) == 3, message="three depths")
    best = seen["lines"][0][3].split()[0]
    press(browser, "b")
    seen = wait_for(browser, lambda s: s["ply"] == 1, message="the best move")
    assert seen["moves"] == [best] and seen["position"] == after(START, best)
    seen = wait_for(browser, lambda s: s["linesPosition"] == after(START, best) and len(s["lines"]) == 3)
    reply = seen["lines"][0][3].split()[0]
    assert reply == from_text(after(START, best)).analyze_timed(3, 10**9)["best_move"]
    browser.find_element(By.ID, "best").click()
    seen = wait_for(browser, lambda s: s["ply"] == 2, message="the second best move")
    assert seen["moves"][1] == reply


def test_a_game_against_the_engine_is_played_to_its_end(browser, serve):
    board = serve("--position", ENDGAME, "--depth", "1")
    open_board(browser, board.url)
    engine_depth = browser.find_element(By.ID, "engine-depth")
    engine_depth.clear()
    engine_depth.send_keys("3")
    Select(browser.find_element(By.ID, "engine-side")).select_by_value("black")
    game = Game(ENDGAME)
    for _ in range(10):
        seen = wait_for(
            browser,
            lambda s: s["ply"] == len(game.moves) and (s["position"].endswith(" w") or "wins" in s["status"]),
            message="White's turn or the end",
        )
        assert seen["position"] == game.to_text()
        if game.outcome() is not None:
            break
        move = game.legal_moves()[0]  # White (the test) plays its first legal move
        click_square(browser, move[:2])
        click_square(browser, move[3:])
        game.push(move)
        seen = wait_for(browser, lambda s: s["ply"] == len(game.moves) + 1 or "wins" in s["status"],
                        message="the engine's reply")
        if seen["ply"] == len(game.moves) + 1:
            # The engine answered in its own process with the search of the depth asked for.
            reply = seen["moves"][-1].split()[0]
            assert reply == game.position.analyze_timed(3, 10**9)["best_move"]
            game.push(reply)
    seen = state(browser)
    assert game.outcome() == "black" and seen["status"] == "Black wins (White has no legal move)"
    assert [m.split()[0] for m in seen["moves"]] == list(game.moves)
    # Clicks on a finished game are ignored.
    click_square(browser, next(s for s in SQUARES if game.position.piece_at(s) == "white"))
    assert state(browser)["selected"] == 0


@pytest.fixture(scope="module")
def recorded_run(tmp_path_factory):
    out = tmp_path_factory.mktemp("run") / "run"
    run = tovak("selfplay", "--out", str(out), "--games", "1", "--depth", "1", "--random-plies", "2",
                "--max-plies", "24", "--seed", "3")
    assert run.returncode == 0, run.stderr
    return out, read_game(out, 1)


def test_keys_the_move_list_and_the_graph_step_through_a_recorded_game(browser, serve, recorded_run):
    out, record = recorded_run
    board = serve("--run", str(out), "--game", "1", "--depth", "1")
    seen = open_board(browser, board.url)
    plies = len(record.plies)
    assert seen["ply"] == 0 and [m.split()[0] for m in seen["moves"]] == [p.move for p in record.plies]
    # The engine's recorded scores are on the graph before any analysis.
    assert seen["points"] >= sum(p.score is not None for p in record.plies)

    markers = {}
    for key, ply in [(Keys.ARROW_RIGHT, 1), (Keys.ARROW_RIGHT, 2), (Keys.ARROW_RIGHT, 3), (Keys.ARROW_LEFT, 2),
                     (Keys.END, plies), (Keys.ARROW_RIGHT, plies), (Keys.HOME, 0), (Keys.ARROW_LEFT, 0)]:
        press(browser, key)
        seen = wait_for(browser, lambda s: s["ply"] == ply and s["current"] == ply, message=f"ply {ply}")
        assert seen["position"] == (record.plies[ply].position if ply < plies else record.final_position)
        markers[ply] = seen["marker"]
    assert markers[0] < markers[2] < markers[plies]

    browser.find_element(By.CSS_SELECTOR, '#moves a[data-ply="5"]').click()
    wait_for(browser, lambda s: s["ply"] == 5 and s["current"] == 5, message="the clicked ply")

    # The graph is drawn again as the live analysis's scores arrive, and a
    # new drawing may lay the columns out afresh: each click reads the
    # drawing it lands on, and a click that a redraw swallowed is made again.
    for ply in (7, plies - 1, 0):
        seen = None
        for _attempt in range(3):
            try:
                click_graph_at(browser, ply)
                seen = wait_for(browser, lambda s: s["ply"] == ply, timeout=5, message=f"the graph's ply {ply}")
                break
            except (AssertionError, StaleElementReferenceException):
                continue
        assert seen is not None, f"no click on the graph reached ply {ply}"
        left, column = browser.execute_script(
            "const c = document.querySelector('#chart svg'); return [Number(c.dataset.left), Number(c.dataset.column)];")
        assert seen["marker"] == pytest.approx(left + (ply + 0.5) * column, abs=0.01)


def click_graph_at(browser, ply):
    """Click the middle of ply ``ply``'s column of the graph as it is drawn now."""
    chart = browser.find_element(By.CSS_SELECTOR, "#chart svg")
    width, view_width, left, column = browser.execute_script(
        "const c = arguments[0]; return [c.getBoundingClientRect().width,"
        " c.viewBox.baseVal.width, Number(c.dataset.left), Number(c.dataset.column)];", chart)
    x = (left + (ply + 0.5) * column) * width / view_width
    ActionChains(browser).move_to_element_with_offset(chart, round(x - width / 2), 0).click().perform()


def test_a_game_file_loads_and_the_game_downloads_as_a_game_file(browser, serve, downloads, tmp_path):
    board = serve("--depth", "1")
    open_board(browser, board.url)
    game = Game(MIDDLE, ["a1-c6"])
    game.push(game.legal_moves()[3])
    path = tmp_path / "study.json"
    game.save(path)
    browser.find_element(By.ID, "load-file").send_keys(str(path))  # the browser reads it, not the server
    seen = wait_for(browser, lambda s: s["ply"] == 2, message="the loaded game")
    assert [m.split()[0] for m in seen["moves"]] == list(game.moves) and seen["position"] == game.to_text()
    assert "Loaded study.json" in seen["message"]

    # A move from an earlier ply replaces the rest of the line, as the page says.
    press(browser, Keys.ARROW_LEFT)
    wait_for(browser, lambda s: s["ply"] == 1)
    assert "replaces the move after this ply" in browser.find_element(By.ID, "branch-note").text
    other = next(m for m in from_text(after(MIDDLE, "a1-c6")).legal_moves() if m != game.moves[1])
    click_square(browser, other[:2])
    click_square(browser, other[3:])
    seen = wait_for(browser, lambda s: s["ply"] == 2 and len(s["moves"]) == 2)
    assert seen["moves"][1].split()[0] == other
    browser.find_element(By.ID, "takeback").click()
    seen = wait_for(browser, lambda s: len(s["moves"]) == 1 and s["ply"] == 1, message="the move taken back")

    for old in downloads.glob("*"):
        old.unlink()
    browser.find_element(By.ID, "download").click()
    saved = wait_until(lambda: [p for p in downloads.glob("game*.json")], message="the download")
    wait_until(lambda: saved[0].read_text().endswith("\n"), message="the whole download")
    assert saved[0].read_text() == Game(MIDDLE, ["a1-c6"]).to_json() + "\n"
    assert Game.load(saved[0]) == Game(MIDDLE, ["a1-c6"])

    # A position text, pasted; a bad one is refused and changes nothing.
    field = browser.find_element(By.ID, "position-text")
    for text, expected in (("w:h8,g8,f8 b:a1 W", "W:f8,g8,h8 B:a1 w"), ("W:z9 B:- w", None)):
        field.clear()
        field.send_keys(text)
        browser.find_element(By.ID, "set-position").click()
        if expected is not None:
            seen = wait_for(browser, lambda s: s["position"] == expected and s["moves"] == [])
        else:
            seen = wait_for(browser, lambda s: "neither a game file nor a position text" in s["message"])
            assert seen["position"] == "W:f8,g8,h8 B:a1 w"
    bad = tmp_path / "bad.json"
    bad.write_text('{"format": "tovak game", "version": 1, "start": "W:a1 B:h8 w", "moves": ["a1-a2"]}')
    browser.find_element(By.ID, "load-file").send_keys(str(bad))
    seen = wait_for(browser, lambda s: "move 1" in s["message"], message="the refused file")
    assert seen["position"] == "W:f8,g8,h8 B:a1 w"
    browser.find_element(By.ID, "copy-position").click()
    assert wait_for(browser, lambda s: s["message"].startswith("Copied"))["positionText"] == "W:f8,g8,h8 B:a1 w"


def test_the_address_keeps_the_line_the_ply_and_the_orientation(browser, serve):
    board = serve("--depth", "1")
    open_board(browser, board.url)
    history = browser.execute_script("return window.history.length;")
    for ply in (1, 2, 3):
        wait_for(browser, lambda s: s["ply"] == ply - 1 and len(s["lines"]) == 1, message="the analysis")
        press(browser, "b")
        wait_for(browser, lambda s: s["ply"] == ply, message=f"move {ply}")
    press(browser, Keys.ARROW_LEFT)
    browser.find_element(By.ID, "flip").click()
    before = wait_for(browser, lambda s: s["ply"] == 2 and s["flipped"] and "flip=1" in s["hash"])
    address = browser.current_url
    # Moving and stepping replace the address rather than pile up history entries.
    assert browser.execute_script("return window.history.length;") == history

    for reopen in (lambda: browser.refresh(), lambda: open_board(browser, address)):
        reopen()
        seen = wait_for(browser, lambda s: s["position"] is not None)
        assert {k: seen[k] for k in ("position", "ply", "moves", "flipped", "hash")} == {
            k: before[k] for k in ("position", "ply", "moves", "flipped", "hash")}

    # An address edited by hand is followed; one naming an illegal line
    # falls back on the board the server opened with.
    browser.execute_script("window.location.hash = arguments[0];", before["hash"].replace("ply=2", "ply=1"))
    wait_for(browser, lambda s: s["ply"] == 1 and len(s["moves"]) == 3, message="the edited address")
    broken = address.split("#")[0] + "#start=" + START.replace(" ", "+") + "&moves=a1-a8&ply=1"
    open_board(browser, broken)
    seen = wait_for(browser, lambda s: "move 1" in s["message"] and s["moves"] == [], message="the fallback")
    assert (seen["position"], seen["ply"]) == (START, 0)


def test_on_a_non_loopback_bind_the_page_works_with_its_token_and_not_without(browser, serve):
    board = serve("--host", "0.0.0.0", "--depth", "2")
    local = board.url.replace("0.0.0.0", "127.0.0.1")
    open_board(browser, local)
    # The token of the page's address goes with its requests and its event streams.
    wait_for(browser, lambda s: s["linesPosition"] == START and len(s["lines"]) == 2, message="the lines")
    click_square(browser, "h1")
    click_square(browser, "d3")
    wait_for(browser, lambda s: s["ply"] == 1 and len(s["lines"]) == 2, message="the move and its lines")
    browser.get(local.split("?")[0])
    assert "needs the token" in browser.find_element(By.TAG_NAME, "body").text
