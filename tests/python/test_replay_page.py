"""The replay page's contents, read as HTML and its score chart as XML, checked
against the game it was made from."""

import html
import re
import xml.etree.ElementTree as ET
from html.parser import HTMLParser

import pytest

from tovak.analysis import SearchLimits
from tovak.notation import from_text
from tovak.replay.page import replay_page, result_text
from tovak.replay._chart import score_chart
from tovak.runs.records import GameRecord, PlyRecord
from tovak.runs.selfplay import GameSettings, play_game

SVG = "{http://www.w3.org/2000/svg}"


@pytest.fixture(scope="module", params=[(1, 3), (2, 8)], ids=["depth-1", "depth-2"])
def record(request):
    depth, seed = request.param
    settings = GameSettings(limits=SearchLimits(depth=depth), random_plies=3, max_plies=60, seed=seed)
    return play_game(settings, 1)


def chart_of(page):
    match = re.search(r'<svg[^>]*id="score-chart".*?</svg>', page, re.DOTALL)
    assert match, "no score chart"
    return ET.fromstring(match.group(0))


def path_runs(chart):
    """The score line's vertices, split where the line is broken."""
    (path,) = chart.iter(SVG + "path")
    runs = []
    for command, x, y in re.findall(r"([ML])([-0-9.]+),([-0-9.]+)", path.get("d")):
        if command == "M":
            runs.append([])
        runs[-1].append((float(x), float(y)))
    return runs


def captures_by_piece_count(record):
    """Which plies capture, found by counting the opponent's pieces before and after."""
    captures = []
    for ply in record.plies:
        position = from_text(ply.position)
        other = "black" if ply.side == "white" else "white"
        before = position.piece_count(other)
        position.apply_move(ply.move)
        captures.append(position.piece_count(other) < before)
    return captures


def test_chart_points_are_the_scores_from_whites_view(record):
    chart = chart_of(replay_page(record))
    points = {int(c.get("data-ply")): c for c in chart.iter(SVG + "circle")}
    expected = {
        ply.ply: (ply.score if ply.side == "white" else -ply.score)
        for ply in record.plies
        if ply.chosen_by == "engine"
    }
    assert {ply: int(c.get("data-score")) for ply, c in points.items()} == expected
    assert any(p.side == "black" and p.score for p in record.plies)  # the negation is exercised

    # The line joins consecutive scored plies and breaks at every random one.
    runs = path_runs(chart)
    scored = sorted(expected)
    expected_runs = [[scored[0]]]
    for ply in scored[1:]:
        if ply == expected_runs[-1][-1] + 1:
            expected_runs[-1].append(ply)
        else:
            expected_runs.append([ply])
    centre = {ply: (float(c.get("cx")), float(c.get("cy"))) for ply, c in points.items()}
    assert runs == [[centre[ply] for ply in run] for run in expected_runs]

    # Left to right in ply order, evenly spaced; higher scores higher up.
    xs = [centre[ply][0] for ply in scored]
    assert all(b > a for a, b in zip(xs, xs[1:]))
    spacing = (xs[-1] - xs[0]) / (scored[-1] - scored[0])
    assert all(abs((x - xs[0]) - (ply - scored[0]) * spacing) <= 0.1 for ply, x in zip(scored, xs))
    (zero,) = [line for line in chart.iter(SVG + "line") if line.get("class") == "zero"]
    zero_y = float(zero.get("y1"))
    for ply_a in scored:
        for ply_b in scored:
            if expected[ply_a] < expected[ply_b]:
                assert centre[ply_a][1] >= centre[ply_b][1]
    for ply in scored:
        sign = (expected[ply] > 0) - (expected[ply] < 0)
        assert sign == (zero_y > centre[ply][1]) - (zero_y < centre[ply][1]), (ply, expected[ply])


def test_ply_numbers_stand_under_their_plies(record):
    chart = chart_of(replay_page(record))
    labels = {int(t.text): float(t.get("x")) for t in chart.iter(SVG + "text") if t.get("class") == "ply"}
    assert min(labels) == 1 and max(labels) == len(record.plies) and len(labels) >= 3
    points = {int(c.get("data-ply")): float(c.get("cx")) for c in chart.iter(SVG + "circle")}
    assert {ply: labels[ply] for ply in labels if ply in points} == {ply: points[ply] for ply in labels if ply in points}
    assert any(ply in points for ply in labels)


def synthetic_record(scores):
    """A record whose plies carry the given White-view scores (None: a random ply);
    only the chart reads it, so the positions are placeholders."""
    plies = []
    for number, score in enumerate(scores, start=1):
        side = "white" if number % 2 else "black"
        mover_score = None if score is None else (score if side == "white" else -score)
        plies.append(
            PlyRecord(number, "W:- B:- w", side, "a1-a2", "random" if score is None else "engine", mover_score, 1, 1)
        )
    return GameRecord(number=1, seed="s", start="W:- B:- w", plies=plies, final_position="W:- B:- w")


@pytest.mark.parametrize(
    "scores",
    [
        [None, 40, -250, 1800, -100000, 100000],
        [None, None, 5, -5, 0],
        [100000, -100000],
        [None, None, None],
        [],
    ],
    ids=["mixed", "quiet", "only-forced", "only-random", "no-plies"],
)
def test_forced_results_sit_on_the_edge_and_the_rest_inside(scores):
    chart = ET.fromstring(score_chart(synthetic_record(scores)))
    (plot,) = [r for r in chart.iter(SVG + "rect") if r.get("class") == "plot"]
    top, bottom = float(plot.get("y")), float(plot.get("y")) + float(plot.get("height"))
    circles = list(chart.iter(SVG + "circle"))
    assert len(circles) == sum(s is not None for s in scores)
    for circle in circles:
        score, y = int(circle.get("data-score")), float(circle.get("cy"))
        decisive = "decisive" in circle.get("class").split()
        assert decisive == (abs(score) >= 100000)
        if score >= 100000:
            assert y == top
        elif score <= -100000:
            assert y == bottom
        else:
            assert top < y < bottom  # never clipped, whatever its size
    assert list(chart.iter(SVG + "path")) == [] or any(s is not None for s in scores)
    marker = chart.find(f".//{SVG}line[@id='chart-marker']")
    assert marker is not None


def test_captures_are_named_and_marked(record):
    page = replay_page(record)
    captures = captures_by_piece_count(record)
    assert any(captures) and not all(captures)
    links = re.findall(r'<a href="#ply-(\d+)" data-frame="\d+"( class="[^"]*")?>([^<\s]+)\s*(<span[^>]*>)?', page)
    assert [int(number) for number, *_ in links] == [ply.ply for ply in record.plies]
    captions = re.findall(r'data-caption="([^"]*)"', page)
    for ply, captured, (_, classes, move, mark) in zip(record.plies, captures, links, strict=True):
        destination = ply.move.split("-")[1]
        assert move == ply.move
        assert ("capture" in classes) == bool(mark) == captured, ply
        assert (f" captures on {destination}" in captions[ply.ply - 1]) == captured, ply


def test_frames_counters_and_captions_name_the_same_ply(record):
    page = replay_page(record)
    frames = [
        (index, html.unescape(counter), html.unescape(caption))
        for index, counter, caption in re.findall(
            r'<div class="frame" id="frame-(\d+)" data-counter="([^"]*)" data-caption="([^"]*)"', page
        )
    ]
    assert [int(index) for index, _, _ in frames] == list(range(len(record.plies) + 1))
    for ply, (_, counter, caption) in zip(record.plies, frames):
        assert counter == f"Ply {ply.ply} of {len(record.plies)}"
        assert caption.startswith(f"{counter}: {ply.side.capitalize()} plays {ply.move}")
        # Each frame is the module's picture of the position with its move and pivots.
        assert from_text(ply.position).svg_for_move(ply.move) in page
    last = record.plies[-1]
    assert frames[-1][1:] == (
        "Final position",
        f"Final position, after {last.side.capitalize()}'s {last.move}: {result_text(record)}",
    )
    assert from_text(record.final_position).svg_board() in page


class ExternalReferences(HTMLParser):
    def __init__(self):
        super().__init__()
        self.found = []

    def handle_starttag(self, tag, attrs):
        for name, value in attrs:
            if name in ("src", "href", "xlink:href") and not value.startswith("#"):
                self.found.append((tag, value))
            if tag == "link":
                self.found.append((tag, dict(attrs)))


def test_page_loads_nothing_from_elsewhere(record):
    page = replay_page(record)
    reader = ExternalReferences()
    reader.feed(page)
    assert reader.found == []
    assert "url(" not in page and "@import" not in page


def test_a_game_that_black_starts_lines_up_under_black():
    start = "W:a1,b1,a2,h1 B:b2,h8,g8,h7 b"
    settings = GameSettings(limits=SearchLimits(depth=1), random_plies=0, max_plies=4, start=start)
    record = play_game(settings, 1)
    assert record.plies[0].side == "black"
    page = replay_page(record)
    rows = re.search(r'<div id="moves">\n(.*?)\n</div>', page, re.DOTALL).group(1).splitlines()
    # Row one: its number, an empty White cell, then Black's first move.
    assert rows[0] == '<span class="number">1.</span>'
    assert rows[1] == "<span></span>"
    assert f">{record.plies[0].move}" in rows[2]
