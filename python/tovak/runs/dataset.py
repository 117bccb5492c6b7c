"""The on-disk form of a run of games: a directory that is only ever added to.

::

    DIR/run.json              what the run is: its kind, settings, seed and the package version
    DIR/data/chunk-*.parquet  one row per ply, written in chunks
    DIR/summary.json          the figures of the finished run
    DIR/replays/              HTML replays written on request

Each chunk holds whole games and becomes visible whole (see
:mod:`tovak._atomic_files`); a game is written in exactly one chunk. The
directory is locked while a run writes to it, so two runs never share one.
Any Parquet reader reads ``DIR/data/`` directly; :mod:`tovak.runs.reader` reads
it back into tables and game records.
"""

from __future__ import annotations

import datetime
import errno
import fcntl
import json
import os
import re
import signal
from collections.abc import Iterator, Mapping, Sequence
from contextlib import contextmanager
from dataclasses import dataclass
from pathlib import Path
from types import TracebackType
from typing import Any

import pyarrow as pa
import pyarrow.compute as pc
import pyarrow.parquet as pq

from tovak._atomic_files import remove_stale_temporaries, write_atomically
from tovak._occupancy import squares_mask
from tovak._version import __version__
from tovak.notation import canonical_fields
from tovak.runs.records import GameRecord

__all__ = [
    "DATA_DIR",
    "FORMAT_VERSION",
    "PLY_SCHEMA",
    "REPLAYS_DIR",
    "RUN_FILE",
    "SUMMARY_FILE",
    "DatasetWriter",
    "GameRows",
    "RunDirectory",
    "RunDirectoryError",
    "chunk_paths",
    "read_run_info",
    "records_table",
]

DATA_DIR = "data"
"""The folder of a run directory that holds the Parquet chunks."""
REPLAYS_DIR = "replays"
"""The folder of a run directory that holds the HTML replays."""
RUN_FILE = "run.json"
"""The file of a run directory that holds the run's settings."""
SUMMARY_FILE = "summary.json"
"""The file of a run directory that holds the figures of the finished run."""
FORMAT_VERSION = 1
"""The version of the run directory's layout, recorded in ``run.json``."""

CHUNK_NAME = re.compile(r"^chunk-(\d{6,})\.parquet$")

# One row per ply. A game that ended before its first move (a match whose
# first player failed at once) is one row with ply 0, the start position and
# no move, so that every recorded game has rows.
_PLY_FIELDS: list[pa.Field[Any]] = [
        pa.field("game", pa.int64(), nullable=False),
        pa.field("ply", pa.int32(), nullable=False),
        pa.field("position", pa.string(), nullable=False),
        pa.field("white", pa.uint64(), nullable=False),
        pa.field("black", pa.uint64(), nullable=False),
        pa.field("side", pa.string(), nullable=False),
        pa.field("move", pa.string()),
        pa.field("chosen_by", pa.string()),
        pa.field("score", pa.int32()),
        pa.field("depth", pa.int16()),
        pa.field("nodes", pa.int64()),
        pa.field("quiescence_nodes", pa.int64()),
        pa.field("winner", pa.string()),
        pa.field("result", pa.int8()),
        pa.field("end_reason", pa.string(), nullable=False),
        pa.field("white_player", pa.string()),
        pa.field("black_player", pa.string()),
]
PLY_SCHEMA = pa.schema(_PLY_FIELDS)
"""The columns of the dataset, one row per ply (see the dataset schema on the site)."""

# The text columns are dictionary-encoded (few distinct values) except the
# position, which zstd compresses well because consecutive rows differ in a
# square or two.
_DICTIONARY_COLUMNS = [
    "side", "move", "chosen_by", "winner", "end_reason", "white_player", "black_player",
]
_COMPRESSION_LEVEL = 3
_STATISTICS_COLUMNS = ["game", "ply"]



@dataclass(frozen=True)
class GameRows:
    """Whole games as the rows of a chunk: ``rows`` (of :data:`PLY_SCHEMA`)
    holds the games ``numbers``, in that order, of ``plies`` plies each.

    This is what a self-play worker hands back: the writer adds it to a chunk
    as it stands, without looking at a ply.
    """

    numbers: tuple[int, ...]
    plies: tuple[int, ...]
    rows: pa.Table

    @property
    def ply_count(self) -> int:
        """The plies of all the games."""
        return sum(self.plies)

    def only(self, numbers: set[int]) -> GameRows:
        """The games among ``numbers``, with their rows."""
        kept = [k for k, number in enumerate(self.numbers) if number in numbers]
        chosen = self.rows.filter(pc.is_in(self.rows.column("game"), pa.array(sorted(numbers), pa.int64())))
        return GameRows(
            numbers=tuple(self.numbers[k] for k in kept), plies=tuple(self.plies[k] for k in kept), rows=chosen
        )


class RunDirectoryError(Exception):
    """The directory cannot be used for this run; nothing in it was changed."""


def records_table(records: Sequence[GameRecord]) -> pa.Table:
    """The rows of ``records``, in the order given, as a table of :data:`PLY_SCHEMA`."""
    columns: dict[str, list[Any]] = {name: [] for name in PLY_SCHEMA.names}
    # A move changes one side's squares (two with a capture), so each square
    # list comes back on the next ply: remembering the sets halves the parsing.
    known: dict[str, int] = {}

    def mask(square_list: str) -> int:
        bits = known.get(square_list)
        if bits is None:
            bits = known[square_list] = squares_mask(square_list)
        return bits

    for record in records:
        plies = record.plies
        if not plies:
            _append_empty_game(columns, record)
            continue
        count = len(plies)
        for name, value in (
            ("game", record.number),
            ("winner", record.winner),
            ("end_reason", record.end_reason),
            ("white_player", record.white_player),
            ("black_player", record.black_player),
        ):
            columns[name] += [value] * count
        boards = [canonical_fields(ply.position) for ply in plies]
        columns["ply"] += [ply.ply for ply in plies]
        columns["position"] += [ply.position for ply in plies]
        columns["white"] += [mask(board[0]) for board in boards]
        columns["black"] += [mask(board[1]) for board in boards]
        columns["side"] += [ply.side for ply in plies]
        columns["move"] += [ply.move for ply in plies]
        columns["chosen_by"] += [ply.chosen_by for ply in plies]
        columns["score"] += [ply.score for ply in plies]
        columns["depth"] += [ply.depth for ply in plies]
        columns["nodes"] += [ply.nodes for ply in plies]
        columns["quiescence_nodes"] += [ply.quiescence_nodes for ply in plies]
        winner = record.winner
        columns["result"] += [None if winner is None else (1 if ply.side == winner else -1) for ply in plies]
    return pa.Table.from_pydict(columns, schema=PLY_SCHEMA)


def _append_empty_game(columns: dict[str, list[Any]], record: GameRecord) -> None:
    white, black, side = canonical_fields(record.start)
    row: dict[str, Any] = {name: None for name in PLY_SCHEMA.names}
    row.update(
        game=record.number,
        ply=0,
        position=record.start,
        white=squares_mask(white),
        black=squares_mask(black),
        side=side,
        winner=record.winner,
        end_reason=record.end_reason,
        white_player=record.white_player,
        black_player=record.black_player,
    )
    for name, value in row.items():
        columns[name].append(value)


def chunk_paths(data_dir: Path) -> list[Path]:
    """The complete chunks of a dataset, in the order they were written."""
    if not data_dir.is_dir():
        return []
    return sorted((p for p in data_dir.iterdir() if CHUNK_NAME.match(p.name)), key=_chunk_number)


def _chunk_number(path: Path) -> int:
    match = CHUNK_NAME.match(path.name)
    assert match is not None
    return int(match.group(1))


class DatasetWriter:
    """Writes games to a dataset directory in chunks.

    Games kept with :meth:`add` (records) or :meth:`add_rows` (rows built
    elsewhere) are written together by :meth:`flush`, or a chunk is written
    at once with :meth:`write` or :meth:`write_rows`. Chunks are numbered on
    from the last one present, so a writer opened on an existing dataset adds
    to it and never replaces a chunk.
    """

    def __init__(self, data_dir: Path):
        self.data_dir = data_dir
        data_dir.mkdir(parents=True, exist_ok=True)
        existing = chunk_paths(data_dir)
        self._next = 1 + (_chunk_number(existing[-1]) if existing else 0)
        self._pending: list[GameRecord] = []
        self._pending_rows: list[GameRows] = []
        self._pending_games = 0
        self.pending_plies = 0
        self.games_written = 0
        self.plies_written = 0

    @property
    def pending(self) -> int:
        """The number of games kept and not written yet."""
        return self._pending_games

    def add(self, record: GameRecord) -> None:
        """Keep a finished game for the next :meth:`flush`."""
        self._pending.append(record)
        self._pending_games += 1
        self.pending_plies += len(record.plies)

    def add_rows(self, games: GameRows) -> None:
        """Keep finished games, as rows, for the next :meth:`flush`."""
        self._pending_rows.append(games)
        self._pending_games += len(games.numbers)
        self.pending_plies += games.ply_count

    def flush(self) -> tuple[list[GameRecord], list[GameRows]]:
        """Write the games kept as one chunk (none if there are none); return them.

        The chunk and the list of what is still unsaved change together: an
        interrupt or a SIGTERM arriving meanwhile takes effect once both are
        done, so that no game is written twice and none is lost.
        """
        if not self._pending_games:
            return [], []
        with signals_held():
            records = [_as_rows(self._pending)] if self._pending else []
            self.write_rows(records + self._pending_rows)
            written = self._pending, self._pending_rows
            self._pending, self._pending_rows = [], []
            self._pending_games = self.pending_plies = 0
        return written

    def write(self, records: Sequence[GameRecord]) -> Path:
        """Write ``records`` (in game order) as one chunk; return its path."""
        return self.write_rows([_as_rows(records)])

    def write_rows(self, games: Sequence[GameRows]) -> Path:
        """Write ``games`` as one chunk, in game order; return its path.

        Each part's games must be in order and the parts must not interleave
        (as self-play's tasks are: runs of increasing numbers).
        """
        ordered = sorted((part for part in games if part.numbers), key=lambda part: part.numbers[0])
        numbers = [number for part in ordered for number in part.numbers]
        if len(set(numbers)) != len(numbers):
            raise ValueError("a chunk holds each game once")
        if numbers != sorted(numbers):
            raise ValueError("the games of a chunk must not interleave")
        table = pa.concat_tables([part.rows for part in ordered]) if ordered else PLY_SCHEMA.empty_table()
        buffer = pa.BufferOutputStream()
        pq.write_table(
            table,
            buffer,
            compression="zstd",
            compression_level=_COMPRESSION_LEVEL,
            use_dictionary=_DICTIONARY_COLUMNS,  # type: ignore[arg-type]  # a list of columns is allowed
            row_group_size=max(1, table.num_rows),
            # Statistics only where readers filter (a game's rows): the
            # others cost a tenth of the commit and skip nothing.
            write_statistics=_STATISTICS_COLUMNS,
        )
        path = self.data_dir / f"chunk-{self._next:06d}.parquet"
        write_atomically(path, buffer.getvalue().to_pybytes())
        self._next += 1
        self.games_written += len(numbers)
        self.plies_written += sum(part.ply_count for part in ordered)
        return path


def _as_rows(records: Sequence[GameRecord]) -> GameRows:
    ordered = sorted(records, key=lambda r: r.number)
    return GameRows(
        numbers=tuple(r.number for r in ordered),
        plies=tuple(len(r.plies) for r in ordered),
        rows=records_table(ordered),
    )


@contextmanager
def signals_held() -> Iterator[None]:
    """Hold off SIGINT and SIGTERM until the block is done."""
    held = {signal.SIGINT, signal.SIGTERM}
    previous = signal.pthread_sigmask(signal.SIG_BLOCK, held)
    try:
        yield
    finally:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)


class RunDirectory:
    """A run's directory, held (locked) by this process until closed.

    :meth:`create` starts a new run and refuses a directory that holds
    anything; :meth:`open` continues a recorded run. Either removes the
    temporary files of a writer that died, and the lock keeps a second
    process out while this one writes.
    """

    def __init__(self, path: Path, info: dict[str, Any], lock: int):
        self.path = path
        self.info = info
        self._lock: int | None = lock

    @property
    def data_dir(self) -> Path:
        """The folder of the run's Parquet chunks."""
        return self.path / DATA_DIR

    @property
    def replays_dir(self) -> Path:
        """The folder of the run's HTML replays."""
        return self.path / REPLAYS_DIR

    @staticmethod
    def check_new(path: Path) -> None:
        """Refuse ``path`` for a new run unless it is missing or an empty directory."""
        if path.exists() and not path.is_dir():
            raise RunDirectoryError(f"{str(path)!r} exists and is not a directory")
        if path.is_dir() and any(path.iterdir()):
            if (path / RUN_FILE).exists():
                raise RunDirectoryError(
                    f"{str(path)!r} holds another run; continue it with --resume or choose another directory"
                )
            raise RunDirectoryError(f"{str(path)!r} is not empty; choose a new or empty directory")

    @classmethod
    def create(cls, path: Path, kind: str, settings: Mapping[str, Any]) -> RunDirectory:
        """Start a run of ``kind`` in ``path``, a new or empty directory."""
        cls.check_new(path)
        path.mkdir(parents=True, exist_ok=True)
        lock = _lock_directory(path)
        info = {
            "format_version": FORMAT_VERSION,
            "kind": kind,
            "tovak_version": __version__,
            "created": datetime.datetime.now(datetime.UTC).isoformat(timespec="seconds"),
            "settings": dict(settings),
        }
        try:
            write_atomically(path / RUN_FILE, _json_bytes(info))
        except FileExistsError:
            os.close(lock)
            raise RunDirectoryError(f"{str(path)!r} holds another run") from None
        except BaseException:
            os.close(lock)
            raise
        (path / DATA_DIR).mkdir(exist_ok=True)
        return cls(path, info, lock)

    @classmethod
    def open(cls, path: Path, kind: str) -> RunDirectory:
        """Continue the run of ``kind`` recorded in ``path``."""
        info = read_run_info(path, kind)
        lock = _lock_directory(path)
        for folder in (path, path / DATA_DIR, path / REPLAYS_DIR):
            if folder.is_dir():
                remove_stale_temporaries(folder)
        (path / DATA_DIR).mkdir(exist_ok=True)
        return cls(path, info, lock)

    def writer(self) -> DatasetWriter:
        """A writer that adds chunks to the run's dataset."""
        return DatasetWriter(self.data_dir)

    def write_summary(self, summary: Mapping[str, Any]) -> None:
        """Write (or replace) the run's ``summary.json``, whole."""
        write_atomically(self.path / SUMMARY_FILE, _json_bytes(dict(summary)), replace=True)

    def close(self) -> None:
        """Release the directory for other processes."""
        if self._lock is not None:
            os.close(self._lock)  # closing the descriptor releases the lock
            self._lock = None

    def __enter__(self) -> RunDirectory:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        value: BaseException | None,
        traceback: TracebackType | None,
    ) -> None:
        self.close()


def read_run_info(path: Path, kind: str | None = None) -> dict[str, Any]:
    """The contents of a run's ``run.json``; :class:`RunDirectoryError` if
    there is no run (of ``kind``, when given)."""
    try:
        text = (path / RUN_FILE).read_text(encoding="utf-8")
    except FileNotFoundError:
        raise RunDirectoryError(f"{str(path)!r} holds no run (no {RUN_FILE})") from None
    try:
        info = json.loads(text)
    except json.JSONDecodeError as error:
        raise RunDirectoryError(f"{str(path / RUN_FILE)!r} is not valid JSON: {error}") from None
    if not isinstance(info, dict) or not isinstance(info.get("settings"), dict):
        raise RunDirectoryError(f"{str(path / RUN_FILE)!r} is not a run description")
    version = info.get("format_version")
    if version != FORMAT_VERSION:
        raise RunDirectoryError(
            f"{str(path)!r} was written in format {version!r}; this version reads format {FORMAT_VERSION}"
        )
    if kind is not None and info.get("kind") != kind:
        raise RunDirectoryError(f"{str(path)!r} holds a {info.get('kind')} run, not a {kind} run")
    return info


def _lock_directory(path: Path) -> int:
    descriptor = os.open(path, os.O_RDONLY | os.O_DIRECTORY)
    try:
        fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError as error:
        os.close(descriptor)
        if error.errno in (errno.EWOULDBLOCK, errno.EAGAIN):
            raise RunDirectoryError(f"{str(path)!r} is in use by another running process") from None
        raise
    return descriptor


def _json_bytes(data: Mapping[str, Any]) -> bytes:
    return (json.dumps(data, indent=2) + "\n").encode("utf-8")

