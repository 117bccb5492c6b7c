"""``tovak analyze``: diagram, static score and engine analysis of one position."""

from __future__ import annotations

import argparse
import json
from typing import Any

from tovak_python import Position

from tovak.cli.args import CommandError, USAGE_ERROR, add_search_options, add_style_option
from tovak.analysis import DEFAULT_DEPTH, SearchLimits, SearchReport, search
from tovak.notation import from_text, to_text
from tovak.terms import LOSS_SCORE, winner_sentence


DESCRIPTION = """\
Show a position, its static score and the engine's analysis: best move, score,
principal variation, completed depth, nodes searched and time taken. Scores
are from the point of view of the side to move. The position is given in the
text form "W:<squares> B:<squares> <w|b>" (quote it, or pass its three fields
as separate words); without one, the initial position is analysed.
"""


def add_parser(subparsers: Any) -> None:
    parser = subparsers.add_parser(
        "analyze",
        help="analyse a position",
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


def run(args: argparse.Namespace) -> int:
    position = _read_position(args.position)
    limits = SearchLimits(depth=args.depth, time_ms=args.time_ms)
    static_score = position.evaluate()
    report = search(position, limits)
    if args.json:
        print(json.dumps(_as_json(position, static_score, limits, report)))
    else:
        print(_as_text(position, static_score, limits, report, args.style), end="")
    return 0


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


def _as_json(
    position: Position, static_score: int, limits: SearchLimits, report: SearchReport
) -> dict[str, object]:
    return {
        "position": to_text(position),
        "side_to_move": position.side_to_move(),
        "outcome": position.outcome(),
        "static_score": static_score,
        "max_depth": limits.max_depth(),
        "time_ms": limits.time_ms,
        "best_move": report.best_move,
        "score": report.score,
        "principal_variation": report.principal_variation,
        "completed_depth": report.completed_depth,
        "nodes": report.nodes,
        "quiescence_nodes": report.quiescence_nodes,
        "root_legal_moves": report.root_legal_moves,
        "timed_out": report.timed_out,
        "seconds": round(report.seconds, 6),
    }


def _as_text(
    position: Position,
    static_score: int,
    limits: SearchLimits,
    report: SearchReport,
    style: str,
) -> str:
    side = position.side_to_move().capitalize()
    lines = [
        position.ascii_board(style).rstrip("\n"),
        f"Position:            {to_text(position)}",
        f"Side to move:        {side} ({report.root_legal_moves} legal moves)",
        f"Static score:        {static_score:+d}",
    ]
    winner = position.outcome()
    if winner is not None:
        lines.append(f"Game over:           {winner_sentence(winner)}")
        return "\n".join(lines) + "\n"
    if report.best_move is None or report.score is None:
        lines.append("Best move:           none found")
        return "\n".join(lines) + "\n"
    timing = " (stopped by the time limit)" if report.timed_out else ""
    lines += [
        f"Best move:           {report.best_move}",
        f"Score:               {report.score:+d}{_verdict(report.score)}",
        f"Principal variation: {' '.join(report.principal_variation)}",
        f"Completed depth:     {report.completed_depth} of {limits.max_depth()}{timing}",
        f"Nodes:               {report.nodes} (+ {report.quiescence_nodes} quiescence)",
        f"Time:                {report.seconds:.3f} s",
    ]
    return "\n".join(lines) + "\n"
