"""``tovak replay``: the HTML replay of one recorded game, written from a run's dataset."""

from __future__ import annotations

import argparse
from pathlib import Path
from typing import Any

from tovak._atomic_files import write_atomically
from tovak.cli.args import bounded_int
from tovak.errors import USAGE_ERROR, CommandError
from tovak.runs.summary import replay_name
from tovak.runs.dataset import REPLAYS_DIR, RunDirectoryError, read_run_info
from tovak.runs.reader import read_game
from tovak.replay.page import replay_page
from tovak.runs.selfplay import settings_from_json

DESCRIPTION = """\
Write the HTML replay of game K of a run (a directory written by "tovak
selfplay"): a self-contained page that steps through the game. The page goes
to DIR/replays/game-NNNN.html unless --out names another file.
"""


def add_parser(subparsers: Any) -> None:
    """Register ``tovak replay`` and its options."""
    parser = subparsers.add_parser(
        "replay",
        help="write the HTML replay of a recorded game",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument("dir", metavar="DIR", help="the run's directory")
    parser.add_argument("--game", type=bounded_int("game", 1), required=True, metavar="K", help="the game's number")
    parser.add_argument("--out", metavar="FILE", help="where to write the page (default DIR/replays/game-NNNN.html)")
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    """Write the replay the options name and say where it went."""
    run_dir = Path(args.dir)
    try:
        info = read_run_info(run_dir)
    except RunDirectoryError as error:
        raise CommandError(str(error), USAGE_ERROR) from None
    try:
        record = read_game(run_dir, args.game)
    except LookupError as error:
        raise CommandError(str(error)) from None
    settings_text = settings_from_json(info["settings"]).describe() if info.get("kind") == "selfplay" else ""
    if args.out is None:
        target = run_dir / REPLAYS_DIR / replay_name(args.game)
        target.parent.mkdir(exist_ok=True)
    else:
        target = Path(args.out)
    write_atomically(target, replay_page(record, settings_text).encode("utf-8"), replace=True)
    print(f"Game {args.game} ({len(record.plies)} plies): {target}")
    return 0
