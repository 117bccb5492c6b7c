"""The style sheet of the analysis board's page.

The board keeps its size and place whatever happens beside it: the panels
on the right scroll inside themselves, and the status lines under the board
have fixed heights, so a click lands where the eye expects it.
"""

from __future__ import annotations

__all__ = ["PAGE_STYLE"]

PAGE_STYLE = """
:root { --board: min(512px, calc(100vw - 4.5rem)); --side: 30rem; }
* { box-sizing: border-box; }
body { font-family: system-ui, sans-serif; margin: 1.2rem 1.5rem; color: #222; background: #fbf8f2; }
h1 { font-size: 1.25rem; margin: 0 0 .2rem; }
h2 { font-size: .95rem; margin: .9rem 0 .3rem; }
.meta { color: #555; margin: 0 0 .8rem; font-size: .9rem; }
.layout { display: flex; gap: 1.5rem; align-items: flex-start; flex-wrap: wrap; }
.stage { flex: none; width: calc(var(--board) + 1.5rem); }
.frame { display: grid; grid-template-columns: 1.5rem var(--board); grid-template-rows: var(--board) 1.4rem; }
.ranks { display: flex; flex-direction: column; justify-content: space-around; text-align: center; color: #777;
  font-size: .8rem; }
.files { grid-column: 2; display: flex; justify-content: space-around; color: #777; font-size: .8rem;
  align-items: center; }
#board { position: relative; width: var(--board); height: var(--board); cursor: pointer; user-select: none; }
#board svg { position: absolute; inset: 0; display: block; width: 100%; height: 100%; }
#board.flipped svg { transform: rotate(180deg); }
#overlay { pointer-events: none; }
#status { font-weight: 600; height: 1.5em; margin: .4rem 0 .2rem; white-space: nowrap; overflow: hidden;
  text-overflow: ellipsis; }
#message { height: 1.4em; margin: 0 0 .3rem; font-size: .9rem; color: #a01e2f; white-space: nowrap; overflow: hidden;
  text-overflow: ellipsis; }
#message.ok { color: #2a6d3a; }
nav, .row { display: flex; align-items: center; gap: .35rem; flex-wrap: wrap; margin: .25rem 0; }
button { font-size: .92rem; padding: .25rem .6rem; }
#counter { flex: none; width: 7.5em; text-align: center; font-variant-numeric: tabular-nums; }
#branch-note { font-size: .85rem; color: #6b4c1e; height: 1.3em; margin: .2rem 0; }
.hint { font-size: .8rem; color: #666; margin: .3rem 0; }
.side { flex: none; width: min(var(--side), calc(100vw - 3rem)); }
#lines { width: 100%; border-collapse: collapse; font-size: .85rem; font-variant-numeric: tabular-nums;
  table-layout: fixed; }
#lines th { text-align: left; color: #666; font-weight: 500; border-bottom: 1px solid #e2d9c9; }
#lines td { padding: .1rem .25rem; vertical-align: top; }
#lines td.line { white-space: nowrap; overflow: hidden; text-overflow: ellipsis; }
#lines col.depth { width: 3rem; } #lines col.score { width: 5.5rem; } #lines col.nodes { width: 5.5rem; }
#lines-box { height: 10.5rem; overflow-y: auto; border-bottom: 1px solid #e2d9c9; }
#analysis-state { font-size: .8rem; color: #666; margin: .2rem 0 0; height: 1.2em; }
#chart svg { display: block; width: 100%; height: auto; cursor: pointer; }
#moves { position: relative; height: 9rem; overflow-y: auto; margin: 0; padding: .2rem 0; border-top: 1px solid #e2d9c9;
  border-bottom: 1px solid #e2d9c9; display: grid; grid-template-columns: 2.6rem 7rem 7rem; align-content: start;
  row-gap: .1rem; font-variant-numeric: tabular-nums; font-size: .92rem; }
#moves .number { color: #777; text-align: right; padding-right: .5rem; }
#moves a { justify-self: start; color: inherit; text-decoration: none; padding: 0 .25rem; border-radius: 3px;
  white-space: nowrap; }
#moves a.capture { font-weight: 600; }
#moves a.current { background: #d7263d; color: #fff; }
#moves .start { grid-column: 1 / -1; }
input[type=text] { font-family: ui-monospace, monospace; font-size: .8rem; flex: 1; min-width: 12rem; }
input[type=number] { width: 4.2rem; }
label { font-size: .9rem; }
""".strip()
