"""The style sheet and the script of the HTML replay page, inlined into every page.

The layout keeps everything the reader's eye returns to in one place while
stepping: the board area, the caption and the buttons have fixed sizes, so
the move list and the chart beside them never move, whatever the caption or
the counter says.

The script shows one frame at a time and keeps four things in step with it:
the caption, the counter, the highlighted move in the list and the marker on
the score chart. The address follows the shown frame (``#ply-N``, or
``#final`` for the final position) without adding history entries, so a
reload, a bookmark or a link opens the same frame, and editing the address
(a ``hashchange``) jumps to the frame it names.
"""

from __future__ import annotations

__all__ = ["PAGE_SCRIPT", "PAGE_STYLE"]

PAGE_STYLE = """
:root { --board: min(512px, calc(100vw - 3rem)); --side: 26rem; }
body { font-family: system-ui, sans-serif; margin: 1.5rem; color: #222; background: #fbf8f2; }
h1 { font-size: 1.3rem; margin: 0 0 .3rem; }
.meta { color: #555; margin: 0 0 1rem; font-size: .9rem; }
.layout { display: flex; gap: 1.5rem; align-items: flex-start; flex-wrap: wrap; }
.stage { flex: none; width: var(--board); }
.board { width: var(--board); height: var(--board); }
.frame svg { display: block; width: 100%; height: 100%; }
#caption { font-weight: 600; height: 2.8em; line-height: 1.4em; overflow: hidden; margin: .6rem 0 .4rem; }
nav { display: flex; align-items: center; gap: .3rem; }
nav button { font-size: 1rem; padding: .3rem .7rem; }
#counter { flex: none; width: 9.5em; text-align: center; font-variant-numeric: tabular-nums; }
.hint { margin-top: .6rem; }
.side { flex: none; width: min(var(--side), calc(100vw - 3rem)); }
.side h2 { font-size: 1rem; margin: 0 0 .3rem; }
#score-chart { display: block; width: 100%; height: auto; cursor: pointer; }
.chart-note { font-size: .8rem; color: #555; margin: .2rem 0 1rem; }
#moves { position: relative; height: calc(var(--board) - 12rem); min-height: 12rem; overflow-y: auto;
  margin: 0; padding: .2rem 0; border-top: 1px solid #e2d9c9; border-bottom: 1px solid #e2d9c9;
  display: grid; grid-template-columns: 2.6rem 8rem 8rem; align-content: start; row-gap: .1rem;
  font-variant-numeric: tabular-nums; }
#moves .number { color: #777; text-align: right; padding-right: .5rem; }
#moves a { justify-self: start; color: inherit; text-decoration: none; padding: 0 .25rem; border-radius: 3px;
  white-space: nowrap; }
#moves a.random { color: #777; font-style: italic; }
#moves a.capture { font-weight: 600; }
#moves a.current { background: #d7263d; color: #fff; }
#moves .result { grid-column: 1 / -1; padding-top: .3rem; }
.legend { font-size: .8rem; color: #555; margin: .3rem 0 0; }
""".strip()

PAGE_SCRIPT = r"""
(function () {
  'use strict';
  var frames = document.querySelectorAll('.frame');
  var last = frames.length - 1;
  var links = document.querySelectorAll('#moves a[data-frame]');
  var list = document.getElementById('moves');
  var caption = document.getElementById('caption');
  var counter = document.getElementById('counter');
  var chart = document.getElementById('score-chart');
  var marker = document.getElementById('chart-marker');
  var current = -1;

  function nameOf(index) { return index === last ? 'final' : 'ply-' + (index + 1); }

  // The frame an address names, or null when it names none.
  function frameOf(hash) {
    if (hash === '#final') { return last; }
    var match = /^#ply-(\d+)$/.exec(hash);
    return match ? Math.max(0, Math.min(last, Number(match[1]) - 1)) : null;
  }

  // Scrolls the move list, and only the list, so that a link is in view.
  function reveal(link) {
    var top = link.offsetTop, bottom = top + link.offsetHeight;
    if (top < list.scrollTop) { list.scrollTop = top - 4; }
    else if (bottom > list.scrollTop + list.clientHeight) { list.scrollTop = bottom - list.clientHeight + 4; }
  }

  function show(index) {
    index = Math.max(0, Math.min(last, index));
    if (index !== current) {
      current = index;
      for (var i = 0; i < frames.length; i++) { frames[i].hidden = (i !== index); }
      caption.textContent = frames[index].dataset.caption;
      counter.textContent = frames[index].dataset.counter;
      for (var j = 0; j < links.length; j++) {
        var here = Number(links[j].dataset.frame) === index;
        links[j].classList.toggle('current', here);
        if (here) { reveal(links[j]); }
      }
      if (marker) {
        var x = Number(chart.dataset.left) + (index + 0.5) * Number(chart.dataset.column);
        marker.setAttribute('x1', x);
        marker.setAttribute('x2', x);
      }
    }
    var hash = '#' + nameOf(index);
    if (window.location.hash !== hash) {
      // Replace rather than push: stepping through a game is not a trail of
      // pages for the Back button. Some browsers refuse history edits on
      // file: pages; replacing the location does the same there.
      try { window.history.replaceState(null, '', hash); } catch (error) { window.location.replace(hash); }
    }
  }

  document.getElementById('first').addEventListener('click', function () { show(0); });
  document.getElementById('prev').addEventListener('click', function () { show(current - 1); });
  document.getElementById('next').addEventListener('click', function () { show(current + 1); });
  document.getElementById('last').addEventListener('click', function () { show(last); });
  document.addEventListener('keydown', function (event) {
    if (event.altKey || event.ctrlKey || event.metaKey) { return; }  // leave browser shortcuts alone
    if (event.key === 'ArrowRight') { show(current + 1); }
    else if (event.key === 'ArrowLeft') { show(current - 1); }
    else if (event.key === 'Home') { show(0); }
    else if (event.key === 'End') { show(last); }
    else { return; }
    event.preventDefault();
  });
  if (chart) {
    chart.addEventListener('click', function (event) {
      var box = chart.getBoundingClientRect();
      var x = (event.clientX - box.left) * chart.viewBox.baseVal.width / box.width;
      show(Math.floor((x - Number(chart.dataset.left)) / Number(chart.dataset.column)));
    });
  }
  // A click on a move shows its frame at once, like a step; the link's
  // "#ply-N" address is left to the browser only for a new tab or window.
  for (var k = 0; k < links.length; k++) {
    links[k].addEventListener('click', function (event) {
      if (event.button !== 0 || event.altKey || event.ctrlKey || event.metaKey || event.shiftKey) { return; }
      event.preventDefault();
      show(Number(this.dataset.frame));
    });
  }
  // Editing the address by hand changes the hash: show the frame it names.
  window.addEventListener('hashchange', function () {
    var index = frameOf(window.location.hash);
    if (index !== null) { show(index); }
  });
  var wanted = frameOf(window.location.hash);
  show(wanted === null ? 0 : wanted);
})();
""".strip()
