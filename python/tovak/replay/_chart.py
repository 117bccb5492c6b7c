"""The engine's score over a game, drawn as a small inline SVG chart.

Each engine ply carries the score of the search that chose it, from the
mover's point of view. The chart turns every score to White's point of view
(Black's are negated), so that up is good for White and down is good for
Black, and plots one column per frame of the replay: one per ply, then the
final position. Random plies have no score and leave a gap in the line.

:func:`chart_of_scores` draws the same chart from White's scores of the
positions of a game, one column per position (the one before ply 1 first):
the replay page draws a recorded game with it, the analysis board of
``tovak serve`` the scores its live analysis found.

The chart is plain SVG with no script of its own. The pages move the
current-ply marker (``#chart-marker``) and read the column geometry from the
``data-left`` and ``data-column`` attributes of the ``<svg>`` element.
"""

from __future__ import annotations

import html
from collections.abc import Iterator, Sequence
from dataclasses import dataclass

from tovak.runs.records import GameRecord
from tovak.terms import LOSS_SCORE

__all__ = ["CHART_HEIGHT", "CHART_WIDTH", "ChartPoint", "chart_of_scores", "score_chart", "white_view_scores"]

CHART_WIDTH = 416
CHART_HEIGHT = 146

# The plot area inside the chart: room on the left for the axis labels.
_LEFT = 46.0
_RIGHT = 6.0
_TOP = 8.0
_BOTTOM = 20.0  # room for the ply numbers under the plot

# Any score at least this large (in either direction) is a forced result; the
# engine scores every other position well inside it.
DECISIVE_SCORE = -LOSS_SCORE

# The vertical scale never shrinks below this, so a quiet game does not look
# like a wild one.
_MIN_SCALE = 100


@dataclass(frozen=True)
class ChartPoint:
    """One scored ply on the chart: its ply number, White's score and its place."""

    ply: int
    score: int
    x: float
    y: float
    decisive: bool


def white_view_scores(record: GameRecord) -> list[int | None]:
    """The score of every ply from White's point of view; None for an unscored ply."""
    scores: list[int | None] = []
    for ply in record.plies:
        if ply.score is None:
            scores.append(None)
        else:
            scores.append(ply.score if ply.side == "white" else -ply.score)
    return scores


def score_chart(record: GameRecord) -> str:
    """The chart of ``record`` as an ``<svg>`` element."""
    return chart_of_scores([*white_view_scores(record), None])  # the final position has no score


def chart_of_scores(position_scores: Sequence[int | None]) -> str:
    """The chart of a game as an ``<svg>`` element, from White's score of each
    of its positions (None where there is none), the start position first.

    Column ``i`` is the position before ply ``i + 1``, numbered so under the
    plot; the last column is the position after the last ply.
    """
    scores = list(position_scores) or [None]
    columns = len(scores)
    plies = columns - 1  # the columns numbered under the plot
    column = (CHART_WIDTH - _LEFT - _RIGHT) / columns
    scale = _vertical_scale(scores)
    middle = _TOP + (CHART_HEIGHT - _TOP - _BOTTOM) / 2
    half_height = (CHART_HEIGHT - _TOP - _BOTTOM) / 2

    def x_of(index: int) -> float:
        return _LEFT + (index + 0.5) * column

    def y_of(score: int) -> float:
        clipped = max(-scale, min(scale, score))
        return middle - clipped / scale * half_height

    points = [
        ChartPoint(index + 1, score, x_of(index), y_of(score), abs(score) >= DECISIVE_SCORE)
        for index, score in enumerate(scores)
        if score is not None
    ]
    label = "Engine score over the game, from White's point of view (up: White is ahead)"
    parts = [
        f'<svg xmlns="http://www.w3.org/2000/svg" id="score-chart" viewBox="0 0 {CHART_WIDTH} '
        f'{CHART_HEIGHT}" role="img" aria-label="{html.escape(label)}" '
        f'data-left="{_fmt(_LEFT)}" data-column="{column:.6f}" data-scale="{scale}">',
        f"<title>{html.escape(label)}</title>",
        f'<rect class="plot" x="{_fmt(_LEFT)}" y="{_fmt(_TOP)}" width="{_fmt(CHART_WIDTH - _LEFT - _RIGHT)}" '
        f'height="{_fmt(CHART_HEIGHT - _TOP - _BOTTOM)}" fill="#fffdf8" stroke="#d8cfc0"/>',
        f'<line class="zero" x1="{_fmt(_LEFT)}" y1="{_fmt(middle)}" x2="{_fmt(CHART_WIDTH - _RIGHT)}" '
        f'y2="{_fmt(middle)}" stroke="#9a9a9a" stroke-dasharray="3 3"/>',
        _axis_label(f"+{scale}", _TOP + 4),
        _axis_label("0", middle),
        _axis_label(f"\u2212{scale}", CHART_HEIGHT - _BOTTOM - 4),
        *(_ply_label(ply, x_of(ply - 1)) for ply in _labelled_plies(plies)),
    ]
    path = _path(points)
    if path:
        parts.append(f'<path class="score-line" d="{path}" fill="none" stroke="#2a5d9f" stroke-width="1.5"/>')
    radius = _fmt(max(1.2, min(3.0, column * 0.35)))
    for point in points:
        kind, color = ("point decisive", "#d7263d") if point.decisive else ("point", "#2a5d9f")
        parts.append(
            f'<circle class="{kind}" cx="{_fmt(point.x)}" cy="{_fmt(point.y)}" r="{radius}" '
            f'fill="{color}" data-ply="{point.ply}" data-score="{point.score}"/>'
        )
    parts += [
        f'<line id="chart-marker" x1="{_fmt(x_of(0))}" y1="{_fmt(_TOP)}" x2="{_fmt(x_of(0))}" '
        f'y2="{_fmt(CHART_HEIGHT - _BOTTOM)}" stroke="#d7263d" stroke-width="2" stroke-opacity="0.8"/>',
        "</svg>",
    ]
    return "".join(parts)


def _vertical_scale(scores: list[int | None]) -> int:
    """The score at the top of the chart: the largest score short of a forced
    result, rounded up to 1, 2 or 5 times a power of ten. Forced results are
    drawn at the edge rather than squashing everything else into the middle."""
    ordinary = [abs(s) for s in scores if s is not None and abs(s) < DECISIVE_SCORE]
    largest = max(ordinary, default=0)
    if largest <= _MIN_SCALE:
        return _MIN_SCALE
    power = 1  # the largest power of ten not above ``largest``
    while power * 10 <= largest:
        power *= 10
    for step in (1, 2, 5):
        if step * power >= largest:
            return step * power
    return 10 * power


def _path(points: list[ChartPoint]) -> str:
    """One polyline per run of consecutive scored plies: a gap at each unscored ply."""
    commands: list[str] = []
    previous_ply: int | None = None
    for point in points:
        command = "L" if previous_ply == point.ply - 1 else "M"
        commands.append(f"{command}{_fmt(point.x)},{_fmt(point.y)}")
        previous_ply = point.ply
    return " ".join(commands)


def _axis_label(text: str, y: float) -> str:
    return (
        f'<text class="axis" x="{_fmt(_LEFT - 4)}" y="{_fmt(y)}" text-anchor="end" '
        f'dominant-baseline="middle" font-size="10" font-family="sans-serif" fill="#555">'
        f"{html.escape(text)}</text>"
    )


def _labelled_plies(plies: int) -> list[int]:
    """The plies numbered under the chart: the first, the last and round
    numbers between them, few enough not to crowd each other."""
    if plies == 0:
        return []
    step = next(step for step in _round_steps() if plies <= 8 * step)
    between = [ply for ply in range(step, plies, step) if plies - ply >= step / 2]
    return sorted({1, *between, plies})


def _round_steps() -> Iterator[int]:
    """5, 10, 25, 50, 100, 250, ...: the gaps between numbered plies."""
    power = 1
    while True:
        yield from (5 * power, 10 * power, 25 * power)
        power *= 10


def _ply_label(ply: int, x: float) -> str:
    return (
        f'<text class="ply" x="{_fmt(x)}" y="{_fmt(CHART_HEIGHT - _BOTTOM + 13)}" text-anchor="middle" '
        f'font-size="10" font-family="sans-serif" fill="#555">{ply}</text>'
    )


def _fmt(value: float) -> str:
    """Coordinates to a tenth of a unit: plenty on a chart a few hundred units wide."""
    text = f"{value:.1f}"
    return text[:-2] if text.endswith(".0") else text
