"""The analysis board's page: one HTML document with its style and script inline.

The page is built once when the server starts; the game it opens with
travels inside it as JSON (read by the script, never by the browser as
markup). Everything it shows after that comes from the server's JSON
requests and event streams (:mod:`tovak.serve.app`).
"""

from __future__ import annotations

import html
import json

from tovak.replay import chart_of_scores
from tovak.serve._script import PAGE_SCRIPT
from tovak.serve._style import PAGE_STYLE
from tovak.serve.settings import BoardSettings
from tovak.terms import LOSS_SCORE

__all__ = ["board_page"]


def board_page(settings: BoardSettings) -> str:
    """The page of the board, opening on ``settings``' game."""
    game = settings.game
    scores = list(settings.scores[: len(game.moves) + 1])
    scores += [None] * (len(game.moves) + 1 - len(scores))
    initial = {
        "start": game.start,
        "moves": list(game.moves),
        "ply": settings.ply,
        "scores": scores,
        "decisive": -LOSS_SCORE,  # scores this large are forced results
    }
    # Inside <script>, "</" could end the element: JSON can spell "<" another way.
    initial_json = json.dumps(initial).replace("<", "\\u003c")
    title = html.escape(settings.title)
    parts = [
        "<!DOCTYPE html>",
        '<html lang="en"><head><meta charset="utf-8">',
        '<meta name="viewport" content="width=device-width, initial-scale=1">',
        '<link rel="icon" href="data:,">',  # no icon, and no request for one
        f"<title>tovak: {title}</title>",
        f"<style>\n{PAGE_STYLE}\n</style></head><body>",
        f"<h1>{title}</h1>",
        '<p class="meta">Click a piece of the side to move, then one of the squares marked for it. '
        "The engine analyses each position as you go.</p>",
        '<div class="layout">',
        '<section class="stage">',
        '<div class="frame"><div class="ranks" id="ranks"></div>',
        '<div id="board" role="img" aria-label="the board"></div>',
        '<div class="files" id="files"></div></div>',
        '<p id="status" aria-live="polite"></p>',
        '<p id="message" aria-live="polite"></p>',
        '<nav><button id="first" title="Start (Home)">&laquo;</button>'
        '<button id="prev" title="Back (left arrow)">&lsaquo;</button>'
        '<span id="counter"></span>'
        '<button id="next" title="Forward (right arrow)">&rsaquo;</button>'
        '<button id="last" title="End (End)">&raquo;</button>'
        '<button id="flip" title="Flip the board (f)">Flip</button>'
        '<button id="takeback" title="Take back the last move (u)">Take back</button>'
        '<button id="best" title="Play the engine\'s best move (b)">Best move</button></nav>',
        '<p id="branch-note"></p>',
        '<p class="hint">Keys: left and right arrows step, Home and End jump, b plays the best move, '
        "f flips, u takes back. The address keeps the position and the ply.</p>",
        "<h2>Game</h2>",
        '<div class="row"><label>Load a game file <input type="file" id="load-file" accept=".json,application/json">'
        '</label><button id="download" title="Save the game as a game file">Download the game</button></div>',
        '<div class="row"><input type="text" id="position-text" spellcheck="false" aria-label="position text">'
        '<button id="set-position" title="Start from the position text in the field">Set position</button>'
        '<button id="copy-position" title="Copy the position text">Copy</button></div>',
        "</section>",
        '<section class="side">',
        '<h2>Engine lines</h2>',
        '<div class="row"><label><input type="checkbox" id="analysis-on" checked> Live analysis</label></div>',
        '<div id="lines-box"><table id="lines"><colgroup><col class="depth"><col class="score"><col class="nodes">'
        "<col></colgroup><thead><tr><th>Depth</th><th>Score</th><th>Nodes</th><th>Line</th></tr></thead>"
        "<tbody></tbody></table></div>",
        '<p id="analysis-state"></p>',
        "<h2>Play against the engine</h2>",
        '<div class="row"><label>Engine plays <select id="engine-side"><option value="">neither side</option>'
        '<option value="white">White</option><option value="black">Black</option></select></label>'
        '<label>depth <input type="number" id="engine-depth" min="1" max="12" value="4"></label>'
        '<label>or ms <input type="number" id="engine-time" min="1" placeholder="none"></label></div>',
        "<h2>Evaluation</h2>",
        f'<div id="chart">{chart_of_scores(scores)}</div>',
        '<p class="hint">White\'s point of view: up is good for White. Click to jump to a ply.</p>',
        "<h2>Moves</h2>",
        '<div id="moves"></div>',
        "</section>",
        "</div>",
        f'<script type="application/json" id="initial">{initial_json}</script>',
        f"<script>\n{PAGE_SCRIPT}\n</script>",
        "</body></html>",
        "",
    ]
    return "\n".join(parts)
