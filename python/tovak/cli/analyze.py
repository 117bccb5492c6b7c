"""``tovak analyze``: diagram, static score and engine analysis of one position.

The search runs as a live analysis (:func:`tovak.analysis.start`): one line
per depth as it completes, then the summary of the deepest one. Ctrl-C stops
it at once and still prints the deepest completed depth.
"""

from __future__ import annotations

import argparse
import dataclasses
import json
import time
from typing import TYPE_CHECKING, Any

from tovak_python import Position

from tovak import analysis
from tovak.cli.args import add_search_options, add_style_option
from tovak.errors import USAGE_ERROR, CommandError
from tovak.analysis import DEFAULT_DEPTH, SearchLimits, SearchReport
from tovak.notation import from_text, to_text
from tovak.terms import LOSS_SCORE, legal_move_count, winner_sentence

if TYPE_CHECKING:
    from tovak_python import TimedAnalysis

DESCRIPTION = """\
Show a position, its static score and the engine's analysis: one line per
search depth as it completes, then the best move, score, principal variation,
completed depth, nodes searched and time taken. Scores are from the point of
view of the side to move. Ctrl-C stops the search at once and prints the
deepest completed depth.

The search is the engine's iterative deepening (Position.analyze_timed): each
depth's line is exactly what analyze_timed gives for that depth, so with
--depth alone the output is the same on every run and every machine.

The position is given in the text form "W:<squares> B:<squares> <w|b>" (quote
it, or pass its three fields as separate words); without one, the initial
position is analyzed.
"""

ENTRY_POINT = "analyze_timed"
LABEL_WIDTH = 21


def add_parser(subparsers: Any) -> None:
    """Register ``tovak analyze`` and its options."""
    parser = subparsers.add_parser(
        "analyze",
        help="analyze a position",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument(
        "position",
        nargs="*",
        metavar="TEXT",
        help='position text, e.g. "W:a1,b1,c1 B:h8 w" (default: the initial position)',
    )
    add_search_options(
        parser,
        f"search depth (default {DEFAULT_DEPTH}; with --time-ms, as deep as the time allows)",
    )
    parser.add_argument("--json", action="store_true", help="print one JSON object instead of text")
    add_style_option(parser)
    parser.set_defaults(run=run)


@dataclasses.dataclass
class AnalysisRun:
    """What one run of the command found: the summary and the depths behind it."""

    searched: bool
    report: SearchReport | None = None  # None: no search, or no depth completed before Ctrl-C
    depths: list[tuple[TimedAnalysis, float]] = dataclasses.field(default_factory=list)
    interrupted: bool = False
    fallback: bool = False  # the report is the engine's answer without a search


def run(args: argparse.Namespace) -> int:
    """Analyze the position the options name and print the result."""
    position = _read_position(args.position)
    limits = SearchLimits(depth=args.depth, time_ms=args.time_ms)
    static_score = position.evaluate()
    if not args.json:
        print(_header(position, static_score, args.style), flush=True)
    if position.outcome() is not None or limits.max_depth() == 0:
        found = AnalysisRun(searched=False)
    else:
        found = _deepen(position, limits, show_depths=not args.json)
    if args.json:
        print(json.dumps(_as_json(position, static_score, limits, found)))
    else:
        print(_summary(position, limits, found), end="")
    if found.interrupted:
        raise KeyboardInterrupt  # reported by the command's entry point, status 130
    return 0


def _deepen(position: Position, limits: SearchLimits, show_depths: bool) -> AnalysisRun:
    if show_depths:
        print(_line("Search", f"iterative deepening ({ENTRY_POINT}), {limits.describe()}"))
        print("  depth     score        nodes      time  line", flush=True)
    found = AnalysisRun(searched=True)
    started = time.perf_counter()

    def take(result: TimedAnalysis) -> None:
        seconds = time.perf_counter() - started
        found.depths.append((result, seconds))
        if show_depths:
            print(_depth_line(result, seconds), flush=True)

    with analysis.start(position, depth=limits.depth, time_ms=limits.time_ms) as handle:
        try:
            for result in handle:
                take(result)
        except KeyboardInterrupt:
            found.interrupted = True
            handle.stop()
            # Depths that completed while the interrupt arrived still count.
            for result in list(handle)[len(found.depths) :]:
                take(result)
    seconds = time.perf_counter() - started
    latest = handle.latest
    if latest is not None:
        cut_by_clock = limits.time_ms is not None and not found.interrupted
        timed_out = cut_by_clock and latest["completed_depth"] < limits.max_depth()
        found.report = dataclasses.replace(SearchReport.from_result(latest, seconds), timed_out=timed_out)
    elif not found.interrupted:
        # The clock ran out before depth 1 completed: the engine's quick
        # answer without a search (its first move in move order, scored
        # statically), which analyze_timed gives for a budget of zero.
        found.report = SearchReport.from_result(position.analyze_timed(limits.max_depth(), 0), seconds)
        found.fallback = True
    return found


def _line(label: str, value: str) -> str:
    return f"{label + ':':<{LABEL_WIDTH}}{value}"


def _depth_line(result: TimedAnalysis, seconds: float) -> str:
    score = result["score"]
    shown = "" if score is None else f"{score:+d}"
    line = " ".join(result["principal_variation"])
    return f"  {result['completed_depth']:5d} {shown:>9} {result['nodes']:12d} {seconds:7.3f} s  {line}"


def _verdict(score: int) -> str:
    # The engine scores a side left without a move at LOSS_SCORE, whatever
    # the distance: a score of that size is a forced result within the depth.
    if score == -LOSS_SCORE:
        return " (a forced win)"
    if score == LOSS_SCORE:
        return " (a forced loss)"
    return ""


def _read_position(words: list[str]) -> Position:
    if not words:
        return Position()
    text = " ".join(words)
    try:
        return from_text(text)
    except ValueError as error:
        raise CommandError(f"bad position {text!r}: {error}", USAGE_ERROR) from None


def _header(position: Position, static_score: int, style: str) -> str:
    side = position.side_to_move().capitalize()
    return "\n".join(
        [
            position.ascii_board(style).rstrip("\n"),
            _line("Position", to_text(position)),
            _line("Side to move", f"{side} ({legal_move_count(len(position.legal_moves()))})"),
            _line("Static score", f"{static_score:+d}"),
        ]
    )


def _as_json(position: Position, static_score: int, limits: SearchLimits, found: AnalysisRun) -> dict[str, object]:
    report = found.report
    return {
        "position": to_text(position),
        "side_to_move": position.side_to_move(),
        "outcome": position.outcome(),
        "static_score": static_score,
        "max_depth": limits.max_depth(),
        "time_ms": limits.time_ms,
        "best_move": None if report is None else report.best_move,
        "score": None if report is None else report.score,
        "principal_variation": [] if report is None else report.principal_variation,
        "completed_depth": 0 if report is None else report.completed_depth,
        "nodes": 0 if report is None else report.nodes,
        "quiescence_nodes": 0 if report is None else report.quiescence_nodes,
        "root_legal_moves": len(position.legal_moves()),
        "timed_out": False if report is None else report.timed_out,
        "seconds": 0.0 if report is None else round(report.seconds, 6),
        "entry_point": ENTRY_POINT if found.searched else None,
        "interrupted": found.interrupted,
        "depths": [
            {
                "depth": result["completed_depth"],
                "score": result["score"],
                "nodes": result["nodes"],
                "quiescence_nodes": result["quiescence_nodes"],
                "seconds": round(seconds, 6),
                "principal_variation": result["principal_variation"],
            }
            for result, seconds in found.depths
        ],
    }


def _summary(position: Position, limits: SearchLimits, found: AnalysisRun) -> str:
    winner = position.outcome()
    if winner is not None:
        return _line("Game over", winner_sentence(winner)) + "\n"
    report = found.report
    if report is None:
        if found.interrupted:
            return _line("Best move", "none (interrupted before depth 1 completed)") + "\n"
        return _line("Search", "none (depth 0: no search is run)") + "\n"
    if report.best_move is None or report.score is None:
        return _line("Best move", "none found") + "\n"
    best = report.best_move
    if found.fallback:
        best += " (no depth completed in time: the first move in the engine's order, scored statically)"
    ending = ""
    if found.interrupted:
        ending = " (interrupted)"
    elif report.timed_out:
        ending = " (stopped by the time limit)"
    lines = [
        _line("Best move", best),
        _line("Score", f"{report.score:+d}{_verdict(report.score)}"),
        _line("Principal variation", " ".join(report.principal_variation)),
        _line("Completed depth", f"{report.completed_depth} of {limits.max_depth()}{ending}"),
        _line("Nodes", f"{report.nodes} (+ {report.quiescence_nodes} quiescence)"),
        _line("Time", f"{report.seconds:.3f} s"),
    ]
    return "\n".join(lines) + "\n"
