"""``tovak selfplay``: engine-versus-engine games written to a Parquet dataset.

The run's directory only grows: chunks of whole games are added as they are
played, each visible whole, so a run stopped at any moment (Ctrl-C, a kill, a
full disk) keeps every chunk written before, and ``--resume`` plays only the
games still missing.
"""

from __future__ import annotations

import argparse
import os
import signal
import time
from collections.abc import Callable, Iterator
from contextlib import contextmanager
from pathlib import Path
from types import FrameType
from typing import Any

from tqdm import tqdm

from tovak.analysis import DEFAULT_DEPTH, SearchLimits
from tovak.cli.args import add_game_options, add_search_options, add_style_option, bounded_int, position_arg
from tovak.errors import USAGE_ERROR, CommandError
from tovak.notation import from_text
from tovak.replay import result_text
from tovak.runs.batched import DEFAULT_GAMES_PER_TASK
from tovak.runs.dataset import DATA_DIR, REPLAYS_DIR, GameRows, RunDirectory, RunDirectoryError, read_run_info
from tovak.runs.executors import open_executor
from tovak.runs.reader import games_from_table, read_games
from tovak.runs.records import GameRecord
from tovak.runs.selfplay import DEFAULT_MAX_PLIES, GameSettings
from tovak.runs.session import (
    DEFAULT_CHUNK_PLIES,
    KIND,
    RECORDED_SETTINGS,
    SelfPlayRun,
    conflicting_setting,
    recorded_settings,
)
from tovak.runs.summary import replay_name, run_summary
from tovak.terms import winner_sentence

DESCRIPTION = """\
Let the engine play against itself and write every ply to a Parquet dataset
in the output directory (DIR/data/*.parquet, one row per ply: the position
before the move, the move, the engine's score and the game's result), with
the run's settings in DIR/run.json and its figures in DIR/summary.json. Each
game starts with a few random plies so that games differ; with --depth alone
the games are reproducible: the same --seed gives the same games whatever
--jobs is and wherever they are played.

The output directory must be new or empty. A stopped run (Ctrl-C, a kill, a
full disk) keeps the games written so far; --resume continues it with its
recorded settings. HTML replays are written for the first --replays games;
"tovak replay" writes any other from the dataset.
"""

# The option of each recorded setting whose name is not the setting's own.
_OPTION_DESTS = {"start": "position"}


def _given(args: argparse.Namespace, key: str) -> Any:
    """The value given for a recorded setting; None when its option was left out."""
    return getattr(args, _OPTION_DESTS.get(key, key))


def _option(key: str) -> str:
    return "--" + _OPTION_DESTS.get(key, key).replace("_", "-")


def add_parser(subparsers: Any) -> None:
    """Register ``tovak selfplay`` and its options."""
    parser = subparsers.add_parser(
        "selfplay",
        help="engine-versus-engine games written to a Parquet dataset",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument("--games", type=bounded_int("games", 1), metavar="N", help="number of games (default 1)")
    add_search_options(
        parser,
        f"engine search depth (default {DEFAULT_DEPTH}; with --time-ms, as deep as the time allows)",
    )
    where = parser.add_mutually_exclusive_group()
    where.add_argument(
        "--jobs",
        type=bounded_int("jobs", 1),
        default=1,
        metavar="N",
        help="games played at once, each in its own local process (default 1)",
    )
    where.add_argument(
        "--cluster",
        metavar="ADDRESS",
        help="play the games on the Dask cluster whose scheduler is at ADDRESS (tcp://host:port); "
        "needs the cluster extra: pip install 'tovak[cluster]'",
    )
    # No defaults here: on --resume an option left out takes the recorded value.
    add_game_options(
        parser,
        seed_help="run seed (default 0)",
        random_plies_help="random moves at the start of each game (default 2; 0 for none)",
        max_plies_help=f"stop a game without result after this many plies (default {DEFAULT_MAX_PLIES})",
    )
    parser.add_argument(
        "--position", type=position_arg, metavar="TEXT", help="start every game from this position text"
    )
    parser.add_argument("--out", default="selfplay", metavar="DIR", help="output directory (default ./selfplay)")
    parser.add_argument(
        "--resume",
        action="store_true",
        help="continue the run recorded in --out with its settings, playing only the missing games",
    )
    parser.add_argument(
        "--replays",
        type=bounded_int("replays", 0),
        default=1,
        metavar="N",
        help="write HTML replays of the first N games to DIR/replays (default 1; 0 for none)",
    )
    parser.add_argument(
        "--chunk-plies",
        type=bounded_int("chunk plies", 1),
        default=DEFAULT_CHUNK_PLIES,
        metavar="N",
        help=f"plies per data file (default {DEFAULT_CHUNK_PLIES}; larger files compress better)",
    )
    parser.add_argument(
        "--batch-games",
        type=bounded_int("batch games", 1),
        default=DEFAULT_GAMES_PER_TASK,
        metavar="N",
        help=f"games a worker plays in one batch and hands back together (default {DEFAULT_GAMES_PER_TASK}; "
        "fewer lose less work to a lost worker or a kill)",
    )
    parser.add_argument("--show", action="store_true", help="print the diagram after every ply of every game")
    parser.add_argument(
        "--no-progress", action="store_true", help="no progress bar (it is off anyway when stderr is no terminal)"
    )
    add_style_option(parser)
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    """Play the games the run still lacks, write them, and report the run."""
    out = Path(args.out)
    # Refusals come first, so that a refused run touches nothing; the
    # directory is created only once the games have somewhere to be played.
    _check_run_directory(args, out)
    with open_executor(args.jobs, args.cluster) as executor, _open_run(args, out) as run_dir:
        started = time.perf_counter()
        session = SelfPlayRun(
            run_dir, chunk_plies=args.chunk_plies, replays=args.replays, games_per_task=args.batch_games
        )
        with _progress(args, session.games, len(session.done)) as session.on_games, _terminate_as_interrupt():
            session.play(executor)
        seconds = time.perf_counter() - started
        session.write_missing_replays()
        summary = run_summary(
            out,
            seconds=seconds,
            session_plies=session.writer.plies_written,
            jobs=args.jobs,
            cluster=args.cluster,
            replays=[f"{REPLAYS_DIR}/{replay_name(n)}" for n in session.replay_numbers()],
        )
        run_dir.write_summary(summary)
    print("\n".join(summary_lines(summary, out) + _replay_lines(out, session.replay_numbers())))
    return 0


@contextmanager
def _progress(args: argparse.Namespace, games: int, done: int) -> Iterator[Callable[[GameRows], None]]:
    """What the command does with the games kept: the progress bar, and the diagrams with --show."""
    bar = tqdm(
        total=games,
        initial=done,
        unit="game",
        disable=True if args.no_progress else None,
        leave=False,
        dynamic_ncols=True,
    )
    started = time.perf_counter()
    plies = 0

    def on_games(played: GameRows) -> None:
        nonlocal plies
        plies += played.ply_count
        if args.show:
            for record in games_from_table(played.rows):
                tqdm.write(_game_diagrams(record, args.style), end="")
        rate = plies / max(time.perf_counter() - started, 1e-9)
        bar.set_postfix_str(f"{plies} plies, {rate:.0f} plies/s", refresh=False)
        bar.update(len(played.numbers))

    try:
        yield on_games
    finally:
        bar.close()


# The games named one by one after the summary; further replays are counted.
_GAMES_LISTED = 3


def _replay_lines(out: Path, numbers: list[int]) -> list[str]:
    lines = []
    for record in read_games(out, numbers[:_GAMES_LISTED]):
        result = result_text(record)
        if record.winner is not None:
            result += f" after {len(record.plies)} plies"
        lines.append(f"Game {record.number}: {result}; replay: {out / REPLAYS_DIR / replay_name(record.number)}")
    if len(numbers) > _GAMES_LISTED:
        lines.append(f"... and {len(numbers) - _GAMES_LISTED} more replays in {out / REPLAYS_DIR}{os.sep}")
    return lines


def _check_run_directory(args: argparse.Namespace, out: Path) -> None:
    try:
        if args.resume:
            _check_resume_options(args, read_run_info(out, KIND)["settings"])
        else:
            _check_start_is_playable(_settings_from_options(args))
            RunDirectory.check_new(out)
    except RunDirectoryError as error:
        raise CommandError(str(error), USAGE_ERROR) from None


@contextmanager
def _open_run(args: argparse.Namespace, out: Path) -> Iterator[RunDirectory]:
    try:
        if args.resume:
            run_dir = RunDirectory.open(out, KIND)
        else:
            settings = _settings_from_options(args)
            run_dir = RunDirectory.create(out, KIND, recorded_settings(_given_or_default(args, "games"), settings))
    except RunDirectoryError as error:
        raise CommandError(str(error), USAGE_ERROR) from None
    except OSError as error:
        raise CommandError(f"cannot create output directory {str(out)!r}: {error.strerror}") from None
    with run_dir:
        yield run_dir


def _settings_from_options(args: argparse.Namespace) -> GameSettings:
    return GameSettings(
        limits=SearchLimits(args.depth, args.time_ms),
        random_plies=_given_or_default(args, "random_plies"),
        max_plies=_given_or_default(args, "max_plies"),
        seed=_given_or_default(args, "seed"),
        start=args.position,
    )


def _given_or_default(args: argparse.Namespace, key: str) -> int:
    value: int | None = _given(args, key)
    return value if value is not None else int(RECORDED_SETTINGS[key] or 0)


def _check_start_is_playable(settings: GameSettings) -> None:
    if settings.start is not None:
        winner = from_text(settings.start).outcome()
        if winner is not None:
            raise CommandError(f"the start position is already decided: {winner_sentence(winner)}", USAGE_ERROR)


def _check_resume_options(args: argparse.Namespace, recorded: dict[str, Any]) -> None:
    missing = [key for key in RECORDED_SETTINGS if key not in recorded]
    if missing:
        raise CommandError(
            f"the run in {args.out!r} does not record its {missing[0]}: it was not written by tovak selfplay",
            USAGE_ERROR,
        )
    key = conflicting_setting(recorded, {key: _given(args, key) for key in RECORDED_SETTINGS})
    if key is not None:
        raise CommandError(
            f"{_option(key)} {_given(args, key)} conflicts with the recorded run ({key} {recorded.get(key)}); "
            "leave it out to resume with the recorded settings",
            USAGE_ERROR,
        )


@contextmanager
def _terminate_as_interrupt() -> Iterator[None]:
    """SIGTERM (a scheduler stopping the job) saves the finished games as Ctrl-C does."""

    def interrupt(signum: int, frame: FrameType | None) -> None:
        raise KeyboardInterrupt

    previous = signal.signal(signal.SIGTERM, interrupt)
    try:
        yield
    finally:
        signal.signal(signal.SIGTERM, previous)


def _game_diagrams(record: GameRecord, style: str) -> str:
    chunks = [f"Game {record.number} from {record.start}\n", from_text(record.start).ascii_board(style)]
    for ply in record.plies:
        after = record.plies[ply.ply].position if ply.ply < len(record.plies) else record.final_position
        chunks.append(f"\nPly {ply.ply}: {ply.side.capitalize()} plays {ply.move}\n")
        chunks.append(from_text(after).ascii_board(style))
    chunks.append(f"Game {record.number}: {result_text(record)}\n\n")
    return "".join(chunks)


def summary_lines(summary: dict[str, Any], run_dir: Path) -> list[str]:
    """The summary as the command prints it, a line per figure."""
    speed = summary["plies_per_second"]
    speed_text = "n/a" if speed is None else f"{speed:.1f}"
    where = f"cluster {summary['cluster']}" if summary["cluster"] else _jobs_text(summary["jobs"])
    per_ply = summary["bytes_per_ply"]
    lines = [
        f"Games: {summary['games']} (White won {summary['white_wins']}, "
        f"Black won {summary['black_wins']}, unfinished {summary['unfinished']})",
        f"Average length: {summary['average_plies']:.1f} plies",
        f"Speed: {speed_text} plies per second ({summary['seconds']:.2f} s, {where})",
        f"Dataset: {os.path.join(run_dir, DATA_DIR)}{os.sep} ({summary['plies']} plies, "
        + ("empty)" if per_ply is None else f"{per_ply:.1f} bytes per ply)"),
    ]
    return lines


def _jobs_text(jobs: int) -> str:
    return f"{jobs} job{'s' if jobs != 1 else ''}"
