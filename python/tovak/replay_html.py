"""A self-contained HTML page that replays one game.

The page holds one SVG picture per position of the game, inline, each with the
move played from it and that move's pivots marked, and the final position
bare. A few lines of inline script step through them with buttons or the
arrow keys. It loads nothing from anywhere: it can be mailed or opened from
disk.
"""

from __future__ import annotations

import html

from tovak.notation import from_text
from tovak.selfplay import GameRecord, PlyRecord
from tovak.terms import winner_sentence

__all__ = ["frame_captions", "replay_page"]

_STYLE = """
body { font-family: system-ui, sans-serif; margin: 1.5rem; color: #222; background: #fbf8f2; }
h1 { font-size: 1.3rem; margin: 0 0 .3rem; }
.meta { color: #555; margin: 0 0 1rem; font-size: .9rem; }
.layout { display: flex; gap: 1.5rem; align-items: flex-start; flex-wrap: wrap; }
.frame svg { display: block; width: min(512px, 90vw); height: auto; }
#caption { font-weight: 600; min-height: 1.4em; margin: .6rem 0; }
nav button { font-size: 1rem; padding: .3rem .8rem; margin-right: .3rem; }
#counter { margin: 0 .6rem; font-variant-numeric: tabular-nums; }
ol#moves { max-height: 560px; overflow-y: auto; margin: 0; padding: 0; list-style-position: inside;
  columns: 3 9rem; column-gap: 1.5rem; font-variant-numeric: tabular-nums; }
ol#moves li { white-space: nowrap; }
ol#moves a { color: inherit; text-decoration: none; }
ol#moves a.current { background: #d7263d; color: #fff; border-radius: 3px; padding: 0 .2rem; }
""".strip()

_SCRIPT = r"""
(function () {
  var frames = document.querySelectorAll('.frame');
  var links = document.querySelectorAll('#moves a');
  var caption = document.getElementById('caption');
  var counter = document.getElementById('counter');
  var current = 0;
  function go(index) {
    current = Math.max(0, Math.min(frames.length - 1, index));
    for (var i = 0; i < frames.length; i++) { frames[i].hidden = (i !== current); }
    for (var j = 0; j < links.length; j++) {
      links[j].className = (Number(links[j].dataset.frame) === current) ? 'current' : '';
    }
    caption.textContent = frames[current].dataset.caption;
    counter.textContent = 'position ' + current + ' of ' + (frames.length - 1);
  }
  document.getElementById('first').onclick = function () { go(0); };
  document.getElementById('prev').onclick = function () { go(current - 1); };
  document.getElementById('next').onclick = function () { go(current + 1); };
  document.getElementById('last').onclick = function () { go(frames.length - 1); };
  for (var k = 0; k < links.length; k++) {
    links[k].onclick = function (event) { event.preventDefault(); go(Number(this.dataset.frame)); };
  }
  document.addEventListener('keydown', function (event) {
    if (event.key === 'ArrowRight') { go(current + 1); }
    else if (event.key === 'ArrowLeft') { go(current - 1); }
    else if (event.key === 'Home') { go(0); }
    else if (event.key === 'End') { go(frames.length - 1); }
    else { return; }
    event.preventDefault();
  });
  // A link to "page.html#frame-12" opens at that position.
  var wanted = /^#frame-(\d+)$/.exec(window.location.hash);
  go(wanted ? Number(wanted[1]) : 0);
})();
""".strip()


def frame_captions(record: GameRecord) -> list[str]:
    """One caption per frame: one per ply, then one for the final position."""
    total = len(record.plies)
    captions = [f"Ply {ply.ply} of {total}: {_describe_ply(ply)}" for ply in record.plies]
    captions.append(f"Final position: {result_text(record)}")
    return captions


def result_text(record: GameRecord) -> str:
    """How the game ended, in words."""
    if record.winner is None:
        return f"no result after {len(record.plies)} plies (ply limit)"
    return winner_sentence(record.winner)


def replay_page(record: GameRecord, settings_text: str = "") -> str:
    """The HTML page of ``record``; ``settings_text`` is shown under the title."""
    captions = frame_captions(record)
    frames = [
        from_text(ply.position).svg_for_move(ply.move) for ply in record.plies
    ]
    frames.append(from_text(record.final_position).svg_board())
    title = f"Game {record.number}: {result_text(record)}"
    meta = f"Start {record.start}; seed {record.seed!r}"
    if settings_text:
        meta = f"{settings_text}; {meta}"
    parts = [
        "<!DOCTYPE html>",
        '<html lang="en"><head><meta charset="utf-8">',
        '<meta name="viewport" content="width=device-width, initial-scale=1">',
        f"<title>{html.escape(title)}</title>",
        f"<style>\n{_STYLE}\n</style></head><body>",
        f"<h1>{html.escape(title)}</h1>",
        f'<p class="meta">{html.escape(meta)}</p>',
        '<div class="layout"><div>',
    ]
    for index, (svg, caption) in enumerate(zip(frames, captions, strict=True)):
        hidden = "" if index == 0 else " hidden"
        parts.append(
            f'<div class="frame" id="frame-{index}" data-caption="{html.escape(caption)}"{hidden}>'
            f"{svg}</div>"
        )
    parts += [
        f'<p id="caption">{html.escape(captions[0])}</p>',
        '<nav><button id="first" title="Home">&laquo; First</button>'
        '<button id="prev" title="Left arrow">&lsaquo; Back</button>'
        '<span id="counter"></span>'
        '<button id="next" title="Right arrow">Forward &rsaquo;</button>'
        '<button id="last" title="End">Last &raquo;</button></nav>',
        '<p class="meta">The left and right arrow keys step; Home and End jump.</p>',
        '</div><ol id="moves">',
    ]
    for index, ply in enumerate(record.plies):
        parts.append(
            f'<li><a href="#frame-{index}" data-frame="{index}">'
            f"{html.escape(ply.side.capitalize())} {html.escape(ply.move)}</a></li>"
        )
    parts += [
        "</ol></div>",
        f"<script>\n{_SCRIPT}\n</script>",
        "</body></html>",
        "",
    ]
    return "\n".join(parts)


def _describe_ply(ply: PlyRecord) -> str:
    text = f"{ply.side.capitalize()} plays {ply.move}"
    if ply.chosen_by == "random":
        return text + " (random opening move)"
    details = []
    if ply.score is not None:
        details.append(f"score {ply.score:+d} for {ply.side.capitalize()}")
    if ply.depth is not None:
        details.append(f"depth {ply.depth}")
    return text + (f" ({', '.join(details)})" if details else "")
