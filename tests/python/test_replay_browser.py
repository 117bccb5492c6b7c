"""The replay page in a real headless browser (Debian's chromium and its driver):
stepping keeps the layout still, the counter, caption and address agree, the
address survives a reload and a changed address is followed, the chart's
marker follows the shown ply."""

import re

import pytest
from browser_support import chromium
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

from tovak.analysis import SearchLimits
from tovak.replay.page import replay_page
from tovak.runs.selfplay import GameSettings, play_game

# One round trip reads everything a step may change.
STATE_SCRIPT = """
const box = (id) => { const r = document.getElementById(id).getBoundingClientRect();
                      return [r.x, r.y, r.width, r.height]; };
const marker = document.getElementById('chart-marker');
return {
  moves: box('moves'),
  chart: box('score-chart'),
  shown: Array.from(document.querySelectorAll('.frame')).filter((f) => !f.hidden)
              .map((f) => Number(f.id.replace('frame-', ''))),
  highlighted: Array.from(document.querySelectorAll('#moves a.current')).map((a) => Number(a.dataset.frame)),
  counter: document.getElementById('counter').textContent,
  caption: document.getElementById('caption').textContent,
  hash: window.location.hash,
  marker: Number(marker.getAttribute('x1')),
  history: window.history.length,
};
"""


@pytest.fixture(scope="module")
def record():
    # A real game with random opening plies (gaps in the chart), engine plies
    # and captures; long enough that the move list has to scroll.
    settings = GameSettings(limits=SearchLimits(depth=1), random_plies=2, max_plies=70, seed=11)
    return play_game(settings, 1)


@pytest.fixture(scope="module")
def page_url(record, tmp_path_factory):
    path = tmp_path_factory.mktemp("replay") / "game.html"
    path.write_text(replay_page(record, "Self-play at depth 1"), encoding="utf-8")
    return path.as_uri()


@pytest.fixture(scope="module")
def browser():
    with chromium() as session:
        yield session


def state(browser):
    return browser.execute_script(STATE_SCRIPT)


def open_page(browser, url, size, fragment=""):
    browser.set_window_size(*size)
    browser.get("about:blank")  # a real load even when only the fragment differs
    browser.get(url + fragment)
    return state(browser)


def ply_named(text):
    """The ply a counter, caption or address names; 'final' for the final position."""
    match = re.match(r"(?:#ply-|Ply )(\d+)\b", text)
    if match:
        return int(match.group(1))
    assert re.match(r"(#final|Final position)\b", text), text
    return "final"


def expected_name(record, frame):
    return "final" if frame == len(record.plies) else frame + 1


def check_frame(record, seen, frame):
    assert seen["shown"] == [frame]
    assert seen["highlighted"] == [frame]
    name = expected_name(record, frame)
    assert ply_named(seen["counter"]) == ply_named(seen["caption"]) == ply_named(seen["hash"]) == name
    assert seen["caption"].startswith(seen["counter"])


# A wide window puts the move list beside the board, a narrow one below it:
# in both it must not move while the caption and the counter change.
@pytest.mark.parametrize("size", [(1280, 900), (640, 1400)], ids=["wide", "narrow"])
def test_stepping_keeps_the_move_list_still_and_the_ply_in_agreement(browser, page_url, record, size):
    first = open_page(browser, page_url, size)
    check_frame(record, first, 0)
    frames = len(record.plies) + 1
    history = first["history"]
    markers = [first["marker"]]

    forward = browser.find_element(By.ID, "next")
    for frame in range(1, frames):
        forward.click()
        seen = state(browser)
        check_frame(record, seen, frame)
        assert (seen["moves"], seen["chart"]) == (first["moves"], first["chart"]), f"moved at frame {frame}"
        markers.append(seen["marker"])
    forward.click()  # past the end: stays on the final position
    check_frame(record, state(browser), frames - 1)

    body = browser.find_element(By.TAG_NAME, "body")
    for frame in range(frames - 2, -1, -1):
        body.send_keys(Keys.ARROW_LEFT)
        seen = state(browser)
        check_frame(record, seen, frame)
        assert (seen["moves"], seen["chart"]) == (first["moves"], first["chart"]), f"moved at frame {frame}"
        assert seen["marker"] == markers[frame]

    body.send_keys(Keys.END)
    check_frame(record, state(browser), frames - 1)
    browser.find_element(By.ID, "first").click()
    check_frame(record, state(browser), 0)
    # The marker moves one column per frame, left to right.
    steps = {round(b - a, 3) for a, b in zip(markers, markers[1:])}
    assert len(steps) == 1 and steps.pop() > 0
    # Stepping replaces the address rather than piling up history entries.
    assert state(browser)["history"] == history


def test_an_address_opens_its_ply_and_a_reload_keeps_it(browser, page_url, record):
    seen = open_page(browser, page_url, (1280, 900), "#ply-5")
    check_frame(record, seen, 4)
    browser.refresh()
    check_frame(record, state(browser), 4)
    # The address follows a step, so a reload after it keeps the new ply.
    browser.find_element(By.TAG_NAME, "body").send_keys(Keys.ARROW_RIGHT)
    check_frame(record, state(browser), 5)
    browser.refresh()
    check_frame(record, state(browser), 5)


@pytest.mark.parametrize(
    "fragment, frame",
    [("#ply-9", 8), ("#final", "last"), ("#ply-1", 0), ("#ply-99999", "last"), ("#ply-0", 0)],
)
def test_a_changed_address_shows_its_ply(browser, page_url, record, fragment, frame):
    open_page(browser, page_url, (1280, 900), "#ply-3")
    browser.execute_script("window.location.hash = arguments[0];", fragment)
    target = len(record.plies) if frame == "last" else frame
    # The page answers the hashchange event, which comes after the script.
    WebDriverWait(browser, 5).until(lambda b: state(b)["shown"] == [target])
    check_frame(record, state(browser), target)


def test_an_unknown_address_opens_the_first_ply(browser, page_url, record):
    check_frame(record, open_page(browser, page_url, (1280, 900), "#nonsense"), 0)


def test_the_move_list_and_the_chart_jump_to_a_ply(browser, page_url, record):
    first = open_page(browser, page_url, (1280, 900))
    target = len(record.plies) - 3
    link = browser.find_element(By.CSS_SELECTOR, f'#moves a[data-frame="{target}"]')
    browser.execute_script("arguments[0].scrollIntoView({block: 'center'});", link)
    link.click()
    seen = state(browser)
    check_frame(record, seen, target)
    # Like a step, a click on a move replaces the address.
    assert seen["history"] == first["history"]

    # A click on the chart at the centre of a ply's column shows that ply.
    chart = browser.find_element(By.ID, "score-chart")
    geometry = browser.execute_script(
        "const c = arguments[0]; const r = c.getBoundingClientRect();"
        "return [r.width, c.viewBox.baseVal.width, Number(c.dataset.left), Number(c.dataset.column)];",
        chart,
    )
    width, view_width, left, column = geometry
    for frame in (6, len(record.plies) // 2):
        x = (left + (frame + 0.5) * column) * width / view_width
        ActionChains(browser).move_to_element_with_offset(chart, round(x - width / 2), 0).click().perform()
        seen = state(browser)
        check_frame(record, seen, frame)
        # The marker stands on the ply's point of the chart.
        point = chart.find_element(By.CSS_SELECTOR, f'circle[data-ply="{frame + 1}"]')
        assert seen["marker"] == pytest.approx(float(point.get_attribute("cx")), abs=0.11)
