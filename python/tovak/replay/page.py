"""A self-contained HTML page that replays one game.

The page holds one SVG picture per ply of the game, inline, each showing the
position before the ply with its move and that move's pivots marked, then
the final position bare. Beside the board: the engine's score over the game
(:mod:`tovak.replay._chart`) and the move list, captures marked. A few lines of
inline script (:mod:`tovak.replay._assets`) step through the frames with the
buttons, the arrow keys, the move list or a click on the chart, and keep the
address at ``#ply-N``. The page loads nothing from anywhere: it can be mailed
or opened from disk.
"""

from __future__ import annotations

import html
from dataclasses import dataclass

from tovak.notation import from_text
from tovak.replay._assets import PAGE_SCRIPT, PAGE_STYLE
from tovak.replay._chart import DECISIVE_SCORE, score_chart
from tovak.runs.records import GameRecord, PlyRecord
from tovak.terms import winner_sentence

__all__ = ["Frame", "captured_square", "frames", "replay_page", "result_text"]


@dataclass(frozen=True)
class Frame:
    """One picture of the replay, with the words shown beside it.

    ``counter`` and ``caption`` name the same ply: the counter is the short
    form ("Ply 5 of 60"), the caption starts with it and says what happens.
    """

    svg: str
    counter: str
    caption: str


def captured_square(ply: PlyRecord) -> str | None:
    """The square on which ``ply`` captures, or None when it captures nothing.

    A move never lands on a piece of its own side, so any piece on the
    destination before the move is an enemy piece, and it is taken.
    """
    destination = ply.move.split("-")[-1]
    return destination if from_text(ply.position).piece_at(destination) is not None else None


def result_text(record: GameRecord) -> str:
    """How the game ended, in words."""
    if record.winner is None:
        return f"no result after {len(record.plies)} plies (ply limit)"
    return winner_sentence(record.winner)


def frames(record: GameRecord) -> list[Frame]:
    """The frames of the replay: one per ply, then the final position."""
    total = len(record.plies)
    shown: list[Frame] = []
    for ply in record.plies:
        counter = f"Ply {ply.ply} of {total}"
        shown.append(
            Frame(
                svg=from_text(ply.position).svg_for_move(ply.move),
                counter=counter,
                caption=f"{counter}: {_describe_ply(ply)}",
            )
        )
    last_move = ""
    if record.plies:
        last = record.plies[-1]
        last_move = f", after {last.side.capitalize()}'s {last.move}"
    shown.append(
        Frame(
            svg=from_text(record.final_position).svg_board(),
            counter="Final position",
            caption=f"Final position{last_move}: {result_text(record)}",
        )
    )
    return shown


def replay_page(record: GameRecord, settings_text: str = "") -> str:
    """The HTML page of ``record``; ``settings_text`` is shown under the title."""
    shown = frames(record)
    title = f"Game {record.number}: {result_text(record)}"
    meta = f"Start {record.start}; seed {record.seed!r}"
    if settings_text:
        meta = f"{settings_text}; {meta}"
    parts = [
        "<!DOCTYPE html>",
        '<html lang="en"><head><meta charset="utf-8">',
        '<meta name="viewport" content="width=device-width, initial-scale=1">',
        f"<title>{html.escape(title)}</title>",
        f"<style>\n{PAGE_STYLE}\n</style></head><body>",
        f"<h1>{html.escape(title)}</h1>",
        f'<p class="meta">{html.escape(meta)}</p>',
        '<div class="layout">',
        '<section class="stage"><div class="board">',
    ]
    for index, frame in enumerate(shown):
        hidden = "" if index == 0 else " hidden"
        parts.append(
            f'<div class="frame" id="frame-{index}" data-counter="{html.escape(frame.counter)}" '
            f'data-caption="{html.escape(frame.caption)}"{hidden}>{frame.svg}</div>'
        )
    parts += [
        "</div>",
        f'<p id="caption" aria-live="polite">{html.escape(shown[0].caption)}</p>',
        '<nav><button id="first" title="First (Home)">&laquo;</button>'
        '<button id="prev" title="Back (left arrow)">&lsaquo; Back</button>'
        f'<span id="counter">{html.escape(shown[0].counter)}</span>'
        '<button id="next" title="Forward (right arrow)">Forward &rsaquo;</button>'
        '<button id="last" title="Last (End)">&raquo;</button></nav>',
        '<p class="meta hint">The left and right arrow keys step; Home and End jump. '
        "The address names the ply shown, so a link or a reload opens it.</p>",
        "</section>",
        '<section class="side">',
        "<h2>Engine score</h2>",
        score_chart(record),
        '<p class="chart-note">From White\'s point of view: up is good for White. '
        "Gaps are random opening plies; red dots are forced wins (for either side). Click to jump.</p>",
        "<h2>Moves</h2>",
        *_move_list(record, result_text(record)),
        '<p class="legend">&times; capture &middot; <i>italic</i>: random opening move</p>',
        "</section>",
        "</div>",
        f"<script>\n{PAGE_SCRIPT}\n</script>",
        "</body></html>",
        "",
    ]
    return "\n".join(parts)


def _move_list(record: GameRecord, result: str) -> list[str]:
    """The moves in numbered rows of two (White's, then Black's), each a link
    to its ply, then a link to the final position."""
    cells: list[str] = []
    if record.plies and record.plies[0].side == "black":
        cells.append("<span></span>")  # the game starts with Black to move
    for index, ply in enumerate(record.plies):
        classes = []
        if ply.chosen_by == "random":
            classes.append("random")
        square = captured_square(ply)
        mark = ""
        if square is not None:
            classes.append("capture")
            mark = f' <span title="captures on {square}">&times;</span>'
        class_attr = f' class="{" ".join(classes)}"' if classes else ""
        cells.append(
            f'<a href="#ply-{ply.ply}" data-frame="{index}"{class_attr}>{html.escape(ply.move)}{mark}</a>'
        )
    rows = ['<div id="moves">']
    for start in range(0, len(cells), 2):
        rows.append(f'<span class="number">{start // 2 + 1}.</span>')
        rows += cells[start : start + 2]
        if start + 1 == len(cells):
            rows.append("<span></span>")
    final = len(record.plies)
    rows.append(f'<a class="result" href="#final" data-frame="{final}">{html.escape(result)}</a>')
    rows.append("</div>")
    return rows


def _describe_ply(ply: PlyRecord) -> str:
    side = ply.side.capitalize()
    text = f"{side} plays {ply.move}"
    square = captured_square(ply)
    if square is not None:
        text += f" and captures on {square}"
    if ply.chosen_by == "random":
        return text + " (random opening move)"
    details = []
    if ply.score is not None:
        details.append(_score_text(ply.score, side))
    if ply.depth is not None:
        details.append(f"depth {ply.depth}")
    return text + (f" ({', '.join(details)})" if details else "")


def _score_text(score: int, side: str) -> str:
    if score >= DECISIVE_SCORE:
        return f"a forced win for {side}"
    if score <= -DECISIVE_SCORE:
        return f"a forced loss for {side}"
    return f"score {score:+d} for {side}"
