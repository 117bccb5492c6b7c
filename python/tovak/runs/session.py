"""A resumable self-play run: the games a run directory still lacks, played and written in chunks.

The run's directory only grows: chunks of whole games are added as they are
played, each visible whole, so a run stopped at any moment (Ctrl-C, a kill, a
full disk) keeps every chunk written before, and a later sitting plays only
the games still missing::

    with RunDirectory.create(path, KIND, recorded_settings(games, settings)) as run_dir:
        SelfPlayRun(run_dir).play(executor)          # a new run
    with RunDirectory.open(path, KIND) as run_dir:
        SelfPlayRun(run_dir).play(executor)          # the same run, resumed

A sitting that cannot go on saves the finished games first, then raises a
:class:`~tovak.errors.CommandError` that says how many games are recorded
and how to continue.
"""

from __future__ import annotations

import time
from collections.abc import Callable, Generator, Mapping
from concurrent.futures import Executor
from typing import Any, Final, NoReturn

import pyarrow as pa

from tovak._atomic_files import write_atomically
from tovak.errors import CommandError
from tovak.replay import replay_page
from tovak.runs.batched import DEFAULT_GAMES_PER_TASK, play_batches
from tovak.runs.dataset import GameRows, RunDirectory
from tovak.runs.reader import games_from_table, read_games, recorded_games
from tovak.runs.records import GameRecord
from tovak.runs.selfplay import DEFAULT_MAX_PLIES, GameSettings, settings_from_json, settings_to_json
from tovak.runs.summary import replay_name

__all__ = [
    "CHUNK_SECONDS",
    "DEFAULT_CHUNK_PLIES",
    "INTERRUPTED",
    "KIND",
    "RECORDED_SETTINGS",
    "SelfPlayRun",
    "conflicting_setting",
    "recorded_settings",
]

KIND: Final = "selfplay"
"""The kind of the run directory of a self-play run."""
DEFAULT_CHUNK_PLIES: Final = 50_000
"""Plies gathered before a chunk is written, unless the run says otherwise."""
CHUNK_SECONDS: Final = 60.0
"""A chunk is also written when this long has passed since the last one, so a
slow run (deep searches) does not keep much unsaved work in memory."""
INTERRUPTED: Final = 130
"""The exit status of a sitting stopped by Ctrl-C or SIGTERM."""

RECORDED_SETTINGS: Final[Mapping[str, int | None]] = {
    "games": 1,
    "depth": None,
    "time_ms": None,
    "seed": 0,
    "random_plies": 2,
    "max_plies": DEFAULT_MAX_PLIES,
    "start": None,
}
"""The settings a run records, with their defaults: a resumed run takes the
recorded ones, and a setting given again must agree with its recorded value."""


def recorded_settings(games: int, settings: GameSettings) -> dict[str, Any]:
    """What ``run.json`` records of a run of ``games`` games with ``settings``."""
    recorded = {"games": games, **settings_to_json(settings)}
    assert recorded.keys() == RECORDED_SETTINGS.keys()
    return recorded


def conflicting_setting(recorded: Mapping[str, Any], given: Mapping[str, object]) -> str | None:
    """The first setting that ``given`` names (None meaning not given) with
    another value than the run recorded; None when they agree."""
    for key in RECORDED_SETTINGS:
        value = given.get(key)
        if value is not None and value != recorded.get(key):
            return key
    return None


class SelfPlayRun:
    """One sitting of a self-play run: plays the missing games and writes them in chunks.

    The games are played in batches (:mod:`tovak.runs.batched`), here or on
    the executor, and come back as rows that the sitting appends to its
    chunks as they are. A chunk is written once ``chunk_plies`` plies are
    kept or :data:`CHUNK_SECONDS` have passed; the first ``replays`` games
    get an HTML replay in the run's replays folder as their chunk is
    written. ``on_games`` is called with each batch of games as it is kept;
    ``games_per_task`` games are played in one batch (and so in one chunk at
    least).
    """

    def __init__(
        self,
        run_dir: RunDirectory,
        *,
        chunk_plies: int = DEFAULT_CHUNK_PLIES,
        replays: int = 1,
        on_games: Callable[[GameRows], None] | None = None,
        games_per_task: int = DEFAULT_GAMES_PER_TASK,
    ):
        self.run_dir = run_dir
        self.settings = settings_from_json(run_dir.info["settings"])
        self.games = int(run_dir.info["settings"]["games"])
        self.done = recorded_games(run_dir.path)
        self.chunk_plies = chunk_plies
        self.replays = replays
        self.on_games = on_games
        self.games_per_task = games_per_task
        self.writer = run_dir.writer()
        self.last_chunk = time.monotonic()
        self.settings_text = self.settings.describe()

    @property
    def missing(self) -> list[int]:
        """The numbers of the games the run does not hold yet."""
        return [n for n in range(1, self.games + 1) if n not in self.done]

    def play(self, executor: Executor | None) -> None:
        """Play the missing games here (``executor`` None) or on ``executor``, and write them all."""
        played = play_batches(self.settings, self.missing, executor, games_per_task=self.games_per_task)
        try:
            while (games := self._next_games(played)) is not None:
                if not self.done.isdisjoint(games.numbers):
                    # Games played twice (a lost worker's task run again)
                    # are kept the first time only.
                    games = games.only(set(games.numbers) - self.done)
                    if not games.numbers:
                        continue
                self.done.update(games.numbers)
                self.writer.add_rows(games)
                if self.on_games is not None:
                    self.on_games(games)
                if self._chunk_is_due():
                    self.write_chunk()
            self.write_chunk()
        except KeyboardInterrupt:
            self._stop("interrupted", INTERRUPTED)
        except OSError as error:
            raise CommandError(self._write_failure(error)) from None
        finally:
            played.close()

    def _next_games(self, played: Generator[GameRows, None, None]) -> GameRows | None:
        """The next finished games; a failure to play one (a lost cluster, a
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
        return self.writer.pending_plies >= self.chunk_plies or waited >= CHUNK_SECONDS

    def write_chunk(self) -> None:
        """Write the games kept so far, and the replays due among them."""
        _, written = self.writer.flush()
        if not written:
            return
        self.last_chunk = time.monotonic()
        for games in written:
            wanted = [number for number in games.numbers if number <= self.replays]
            if wanted:
                for record in games_from_table(_rows_of(games, wanted), self.settings.seed):
                    self._write_replay(record)

    def _stop(self, reason: str, status: int) -> NoReturn:
        """Save the finished games, then end the sitting with ``reason``."""
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
        folder = self.run_dir.replays_dir
        folder.mkdir(exist_ok=True)
        page = replay_page(record, self.settings_text).encode("utf-8")
        write_atomically(folder / replay_name(record.number), page, replace=True)

    def write_missing_replays(self) -> None:
        """Replays asked for but not written yet (by a run stopped before they were due)."""
        wanted = range(1, min(self.replays, self.games) + 1)
        missing = [n for n in wanted if not (self.run_dir.replays_dir / replay_name(n)).exists()]
        if missing:
            for record in read_games(self.run_dir.path, missing):
                self._write_replay(record)

    def replay_numbers(self) -> list[int]:
        """The games whose replays the run directory holds, of those asked for."""
        wanted = range(1, min(self.replays, self.games) + 1)
        return [n for n in wanted if (self.run_dir.replays_dir / replay_name(n)).exists()]


def _rows_of(games: GameRows, numbers: list[int]) -> pa.Table:
    """The rows of the games ``numbers`` of ``games``, as the reader takes them."""
    return games.only(set(numbers)).rows.sort_by([("game", "ascending"), ("ply", "ascending")])
