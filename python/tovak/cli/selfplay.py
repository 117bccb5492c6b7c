"""``tovak selfplay``: engine-versus-engine games, saved as JSON lines and HTML replays."""

from __future__ import annotations

import argparse
import json
import os
import time
from typing import Any

from tqdm import tqdm

from tovak.cli.args import (
    CommandError,
    add_search_options,
    add_style_option,
    bounded_int,
    position_arg,
)
from tovak.analysis import DEFAULT_DEPTH, SearchLimits
from tovak.notation import from_text
from tovak.replay_html import replay_page, result_text
from tovak.selfplay import DEFAULT_MAX_PLIES, GameRecord, GameSettings, play_games, write_jsonl

DESCRIPTION = """\
Let the engine play against itself. Each game starts with a few random plies
(so that games differ) and is written to the output directory twice: as JSON
lines (game-NNNN.jsonl: a header, one line per ply with the position text
before the move and the move, and the result) and as a self-contained HTML
page (game-NNNN.html) that replays it. With --depth alone the games are
reproducible: the same --seed gives the same games whatever --jobs is.
"""


def add_parser(subparsers: Any) -> None:
    """Register ``tovak selfplay`` and its options."""
    parser = subparsers.add_parser(
        "selfplay",
        help="engine-versus-engine games with JSON-lines records and HTML replays",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument(
        "--games", type=bounded_int("games", 1), default=1, metavar="N", help="number of games (default 1)"
    )
    add_search_options(
        parser,
        f"engine search depth (default {DEFAULT_DEPTH}; with --time-ms, as deep as the time allows)",
    )
    parser.add_argument(
        "--jobs",
        type=bounded_int("jobs", 1),
        default=1,
        metavar="N",
        help="games played at once, each in its own process (default 1)",
    )
    parser.add_argument(
        "--seed", type=bounded_int("seed", 0), default=0, metavar="S", help="run seed (default 0)"
    )
    parser.add_argument(
        "--random-plies",
        type=bounded_int("random plies", 0),
        default=2,
        metavar="N",
        help="random moves at the start of each game (default 2; 0 for none)",
    )
    parser.add_argument(
        "--max-plies",
        type=bounded_int("max plies", 1),
        default=DEFAULT_MAX_PLIES,
        metavar="N",
        help=f"stop a game without result after this many plies (default {DEFAULT_MAX_PLIES})",
    )
    parser.add_argument(
        "--position", type=position_arg, metavar="TEXT", help="start every game from this position text"
    )
    parser.add_argument(
        "--out", default="selfplay", metavar="DIR", help="output directory (default ./selfplay)"
    )
    parser.add_argument(
        "--show", action="store_true", help="print the diagram after every ply of every game"
    )
    parser.add_argument(
        "--no-progress", action="store_true", help="no progress bar (it is off anyway when stderr is no terminal)"
    )
    add_style_option(parser)
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    """Play the games the options ask for and report them."""
    settings = GameSettings(
        limits=SearchLimits(args.depth, args.time_ms),
        random_plies=args.random_plies,
        max_plies=args.max_plies,
        seed=args.seed,
        start=args.position,
    )
    out_dir = args.out
    try:
        os.makedirs(out_dir, exist_ok=True)
    except OSError as error:
        raise CommandError(f"cannot create output directory {out_dir!r}: {error.strerror}") from None
    settings_text = f"Self-play at {settings.limits.describe()}, {settings.random_plies} random plies"

    started = time.perf_counter()
    bar = tqdm(total=args.games, unit="game", disable=True if args.no_progress else None, leave=False)

    def save(record: GameRecord) -> None:
        stem = os.path.join(out_dir, f"game-{record.number:04d}")
        write_jsonl(stem + ".jsonl", record, settings)
        with open(stem + ".html", "w", encoding="utf-8") as page:
            page.write(replay_page(record, settings_text))
        if args.show:
            tqdm.write(_game_diagrams(record, args.style), end="")
        bar.update(1)

    try:
        records = play_games(settings, args.games, args.jobs, on_done=save)
    finally:
        bar.close()
    seconds = time.perf_counter() - started
    summary = _summary(records, seconds, args.jobs)
    with open(os.path.join(out_dir, "summary.json"), "w", encoding="utf-8") as out:
        out.write(json.dumps(summary, indent=2) + "\n")
    print(_summary_text(summary, out_dir))
    return 0


def _game_diagrams(record: GameRecord, style: str) -> str:
    chunks = [f"Game {record.number} from {record.start}\n", from_text(record.start).ascii_board(style)]
    for ply in record.plies:
        after = record.plies[ply.ply].position if ply.ply < len(record.plies) else record.final_position
        chunks.append(f"\nPly {ply.ply}: {ply.side.capitalize()} plays {ply.move}\n")
        chunks.append(from_text(after).ascii_board(style))
    chunks.append(f"Game {record.number}: {result_text(record)}\n\n")
    return "".join(chunks)


def _summary(records: list[GameRecord], seconds: float, jobs: int) -> dict[str, Any]:
    plies = sum(len(r.plies) for r in records)
    return {
        "games": len(records),
        "white_wins": sum(r.winner == "white" for r in records),
        "black_wins": sum(r.winner == "black" for r in records),
        "unfinished": sum(r.winner is None for r in records),
        "plies": plies,
        "average_plies": plies / len(records),
        "seconds": round(seconds, 6),
        "plies_per_second": plies / seconds if seconds > 0 else None,
        "jobs": jobs,
        "replays": [f"game-{r.number:04d}.html" for r in records],
    }


def _summary_text(summary: dict[str, Any], out_dir: str) -> str:
    speed = summary["plies_per_second"]
    speed_text = "n/a" if speed is None else f"{speed:.1f}"
    first = os.path.join(out_dir, summary["replays"][0])
    return "\n".join(
        [
            f"Games: {summary['games']} (White won {summary['white_wins']}, "
            f"Black won {summary['black_wins']}, unfinished {summary['unfinished']})",
            f"Average length: {summary['average_plies']:.1f} plies",
            f"Speed: {speed_text} plies per second ({summary['seconds']:.2f} s, "
            f"{summary['jobs']} job{'s' if summary['jobs'] != 1 else ''})",
            f"Records and replays: {out_dir}{os.sep} (first replay: {first})",
        ]
    )
