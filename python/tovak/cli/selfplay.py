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
from collections.abc import Generator, Iterator
from concurrent.futures import Executor
from contextlib import contextmanager
from pathlib import Path
from types import FrameType
from typing import Any, NoReturn

from tqdm import tqdm

from tovak.analysis import DEFAULT_DEPTH, SearchLimits
from tovak.atomic_files import write_atomically
from tovak.cli.args import (
    USAGE_ERROR,
    CommandError,
    add_game_options,
    add_search_options,
    add_style_option,
    bounded_int,
    position_arg,
)
from tovak.cli.executors import open_executor
from tovak.dataset import (
    REPLAYS_DIR,
    DatasetWriter,
    RunDirectory,
    RunDirectoryError,
    read_run_info,
    records_table,
)
from tovak.notation import from_text
from tovak.records import games_from_table, read_games, recorded_games
from tovak.replay_html import replay_page, result_text
from tovak.cli.run_summary import replay_name, run_summary, summary_lines
from tovak.selfplay import (
    DEFAULT_MAX_PLIES,
    GameRecord,
    GameSettings,
    play_games,
    settings_from_json,
    settings_to_json,
)
from tovak.terms import winner_sentence

KIND = "selfplay"
DEFAULT_CHUNK_PLIES = 50_000
# A chunk is also written when this long has passed since the last one, so a
# slow run (deep searches) does not keep much unsaved work in memory.
CHUNK_SECONDS = 60.0
INTERRUPTED = 130

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

# The settings a run records, with their defaults: on --resume an option
# given again must agree with the recorded value.
_SETTING_OPTIONS = {
    "games": ("--games", 1),
    "depth": ("--depth", None),
    "time_ms": ("--time-ms", None),
    "seed": ("--seed", 0),
    "random_plies": ("--random-plies", 2),
    "max_plies": ("--max-plies", DEFAULT_MAX_PLIES),
    "start": ("--position", None),
}


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
        games = int(run_dir.info["settings"]["games"])
        settings = settings_from_json(run_dir.info["settings"])
        done = recorded_games(out)
        started = time.perf_counter()
        session = _Session(run_dir, settings, games, done, args)
        with _terminate_as_interrupt():
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
            recorded = {"games": _given_or_default(args, "games"), **settings_to_json(settings)}
            run_dir = RunDirectory.create(out, KIND, recorded)
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
    value: int | None = getattr(args, key)
    default = _SETTING_OPTIONS[key][1]
    return value if value is not None else int(default or 0)


def _check_start_is_playable(settings: GameSettings) -> None:
    if settings.start is not None:
        winner = from_text(settings.start).outcome()
        if winner is not None:
            raise CommandError(f"the start position is already decided: {winner_sentence(winner)}", USAGE_ERROR)


def _check_resume_options(args: argparse.Namespace, recorded: dict[str, Any]) -> None:
    missing = [key for key in _SETTING_OPTIONS if key not in recorded]
    if missing:
        raise CommandError(
            f"the run in {args.out!r} does not record its {missing[0]}: it was not written by tovak selfplay",
            USAGE_ERROR,
        )
    given = {
        "games": args.games,
        "depth": args.depth,
        "time_ms": args.time_ms,
        "seed": args.seed,
        "random_plies": args.random_plies,
        "max_plies": args.max_plies,
        "start": args.position,
    }
    for key, value in given.items():
        if value is not None and value != recorded.get(key):
            option = _SETTING_OPTIONS[key][0]
            raise CommandError(
                f"{option} {value} conflicts with the recorded run ({key} {recorded.get(key)}); "
                "leave it out to resume with the recorded settings",
                USAGE_ERROR,
            )


class _Session:
    """One sitting of a run: plays the missing games and writes them in chunks."""

    def __init__(
        self, run_dir: RunDirectory, settings: GameSettings, games: int, done: set[int], args: argparse.Namespace
    ):
        self.run_dir = run_dir
        self.settings = settings
        self.games = games
        self.done = set(done)
        self.args = args
        self.writer: DatasetWriter = run_dir.writer()
        self.last_chunk = time.monotonic()
        self.settings_text = settings.describe()

    def play(self, executor: Executor | None) -> None:
        missing = [n for n in range(1, self.games + 1) if n not in self.done]
        bar = tqdm(
            total=self.games,
            initial=len(self.done),
            unit="game",
            disable=True if self.args.no_progress else None,
            leave=False,
            dynamic_ncols=True,
        )
        started = time.perf_counter()
        plies = 0
        played = play_games(self.settings, missing, executor)
        try:
            while (record := self._next_game(played)) is not None:
                if record.number in self.done:
                    continue  # a game played twice (a lost worker's task run again)
                self.done.add(record.number)
                self.writer.add(record)
                plies += len(record.plies)
                if self.args.show:
                    tqdm.write(_game_diagrams(record, self.args.style), end="")
                if self._chunk_is_due():
                    self.write_chunk()
                rate = plies / max(time.perf_counter() - started, 1e-9)
                bar.set_postfix_str(f"{plies} plies, {rate:.0f} plies/s", refresh=False)
                bar.update(1)
            self.write_chunk()
        except KeyboardInterrupt:
            self._stop("interrupted", INTERRUPTED)
        except OSError as error:
            raise CommandError(self._write_failure(error)) from None
        finally:
            played.close()
            bar.close()

    def _next_game(self, played: Generator[GameRecord, None, None]) -> GameRecord | None:
        """The next finished game; a failure to play one (a lost cluster, a
        broken worker pool) stops the run with the finished games saved."""
        try:
            return next(played)
        except StopIteration:
            return None
        except (KeyboardInterrupt, CommandError):
            raise
        except Exception as error:  # noqa: BLE001 - reported in one line, with what was saved
            self._stop(f"the games stopped: {type(error).__name__}: {error}", 1)

    def _chunk_is_due(self) -> bool:
        waited = time.monotonic() - self.last_chunk
        return self.writer.pending_plies >= self.args.chunk_plies or waited >= CHUNK_SECONDS

    def write_chunk(self) -> None:
        written = self.writer.flush()
        if not written:
            return
        self.last_chunk = time.monotonic()
        for record in written:
            if record.number <= self.args.replays:
                self._write_replay(record)

    def _stop(self, reason: str, status: int) -> NoReturn:
        """Save the finished games, then end the command with ``reason``."""
        try:
            self.write_chunk()
        except OSError as error:
            raise CommandError(self._write_failure(error), status) from None
        out = self.run_dir.path
        raise CommandError(
            f"{reason}; {len(self.done)} of {self.games} games recorded in {str(out)!r} "
            f"(continue with: tovak selfplay --out {out} --resume)",
            status,
        )

    def _write_failure(self, error: OSError) -> str:
        where = f" {error.filename!r}" if error.filename else ""
        saved = len(self.done) - self.writer.pending
        return (
            f"cannot write{where}: {error.strerror or error}; {saved} of {self.games} games are recorded, "
            f"continue with: tovak selfplay --out {self.run_dir.path} --resume"
        )

    def _write_replay(self, record: GameRecord) -> None:
        # The page shows the game as the dataset holds it, as "tovak replay" would.
        recorded = games_from_table(records_table([record]), self.settings.seed)[0]
        folder = self.run_dir.replays_dir
        folder.mkdir(exist_ok=True)
        page = replay_page(recorded, self.settings_text).encode("utf-8")
        write_atomically(folder / replay_name(record.number), page, replace=True)

    def write_missing_replays(self) -> None:
        """Replays asked for but not written yet (by a run stopped before they were due)."""
        wanted = [n for n in range(1, min(self.args.replays, self.games) + 1)]
        missing = [n for n in wanted if not (self.run_dir.replays_dir / replay_name(n)).exists()]
        if missing:
            for record in read_games(self.run_dir.path, missing):
                self._write_replay(record)

    def replay_numbers(self) -> list[int]:
        """The games whose replays the run directory holds, of those asked for."""
        wanted = range(1, min(self.args.replays, self.games) + 1)
        return [n for n in wanted if (self.run_dir.replays_dir / replay_name(n)).exists()]


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

