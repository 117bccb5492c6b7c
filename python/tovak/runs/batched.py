"""Self-play in batches: a task's games played by :mod:`tovak._batch` in C++
and handed back as the dataset's rows, ready to be written.

A game's random opening plies are drawn here, from the game's own generator
exactly as :func:`tovak.runs.selfplay.play_game` draws them, and the C++ side
plays them and then the engine to the end of the game: each engine ply the
engine's own time-budgeted analysis at the run's depth and budget. So a
game's rows are those of :func:`~tovak.runs.selfplay.play_game` for the same
settings and number, whichever path played it; :mod:`tovak.runs.selfplay`
stays as the slow, obviously right reference.

The rows come back from C++ as numpy arrays and become Arrow columns without
a Python object per ply; the client that writes the dataset only appends
them (:meth:`tovak.runs.dataset.DatasetWriter.add_rows`).
"""

from __future__ import annotations

import random
from collections.abc import Generator, Iterable
from concurrent.futures import Executor
from typing import Any

import numpy as np
import numpy.typing as npt
import pyarrow as pa
from tovak_python import Position

from tovak import _batch
from tovak._occupancy import Occupancy
from tovak.notation import SQUARES, from_text, to_text
from tovak.runs.dataset import PLY_SCHEMA, GameRows
from tovak.runs.records import END_NO_LEGAL_MOVE, END_PLY_LIMIT, game_seed
from tovak.runs.selfplay import DEFAULT_MAX_PENDING, GameSettings
from tovak.runs.tasks import run_tasks

__all__ = ["DEFAULT_GAMES_PER_TASK", "draw_opening", "play_batch", "play_batches"]

DEFAULT_GAMES_PER_TASK = 16
"""Games played by one task: a task's round trip (a couple of milliseconds
through a process pool) is paid once for them all, and a lost worker still
costs only a few seconds of play at depth 1 or 2."""

# Every move text, by the dense index the C++ side gives (from * 64 + to),
# and the texts of the small columns by their codes.
_MOVE_TEXTS = pa.array([f"{SQUARES[i // 64]}-{SQUARES[i % 64]}" for i in range(64 * 64)], pa.string())
_DENSE_INDEX = {text: index for index, text in enumerate(_MOVE_TEXTS.to_pylist())}
_SIDES = pa.array(["white", "black"], pa.string())
_CHOSEN_BY = pa.array(["random", "engine"], pa.string())
_END_REASONS = pa.array([END_NO_LEGAL_MOVE, END_PLY_LIMIT], pa.string())
_ENGINE = 1


def draw_opening(settings: GameSettings, number: int) -> list[str]:
    """The random opening plies of game ``number``, drawn as
    :func:`~tovak.runs.selfplay.play_game` draws them: as many as the
    settings ask, fewer when the game ends or reaches its ply limit first."""
    rng = random.Random(game_seed(settings.seed, number))
    position = Position() if settings.start is None else from_text(settings.start)
    moves: list[str] = []
    wanted = min(settings.random_plies, settings.max_plies)
    while len(moves) < wanted and position.outcome() is None:
        move = rng.choice(position.legal_moves())
        position.apply_move(move)
        moves.append(move)
    return moves


def play_batch(settings: GameSettings, numbers: list[int], threads: int = 1) -> GameRows:
    """Play the games ``numbers`` in C++ (on ``threads`` threads) and return their rows."""
    start = Occupancy.from_text(to_text(Position() if settings.start is None else from_text(settings.start)))
    count = len(numbers)
    openings = [draw_opening(settings, number) for number in numbers]
    columns = _batch.play_selfplay(
        numbers=np.asarray(numbers, dtype=np.int64),
        white=np.full(count, start.white, dtype=np.uint64),
        black=np.full(count, start.black, dtype=np.uint64),
        side=np.full(count, 0 if start.side == "white" else 1, dtype=np.int8),
        opening_counts=np.asarray([len(moves) for moves in openings], dtype=np.int32),
        opening_moves=np.asarray([_DENSE_INDEX[m] for moves in openings for m in moves], dtype=np.int16),
        depth=settings.limits.max_depth(),
        budget_ms=settings.limits.budget_ms(),
        max_plies=settings.max_plies,
        threads=threads,
    )
    return GameRows(
        numbers=tuple(numbers),
        plies=tuple(int(p) for p in columns["game_plies"]),
        rows=pa.Table.from_batches([_record_batch(columns)]),
    )


def _record_batch(columns: dict[str, npt.NDArray[Any]]) -> pa.RecordBatch:
    rows = len(columns["game"])
    chosen_by = columns["chosen_by"]
    not_engine = chosen_by != _ENGINE
    no_winner = columns["winner"] < 0

    def coded(texts: pa.StringArray, codes: npt.NDArray[Any]) -> pa.Array[Any]:
        return texts.take(pa.array(codes, mask=codes < 0))

    def engine_figure(name: str, kind: pa.DataType) -> pa.Array[Any]:
        return pa.array(columns[name], type=kind, mask=not_engine)

    arrays: dict[str, pa.Array[Any]] = {
        "game": pa.array(columns["game"], pa.int64()),
        "ply": pa.array(columns["ply"], pa.int32()),
        "position": pa.StringArray.from_buffers(
            rows, pa.py_buffer(columns["position_offsets"]), pa.py_buffer(columns["position_text"])
        ),
        "white": pa.array(columns["white"], pa.uint64()),
        "black": pa.array(columns["black"], pa.uint64()),
        "side": coded(_SIDES, columns["side"]),
        "move": coded(_MOVE_TEXTS, columns["move"]),
        "chosen_by": coded(_CHOSEN_BY, chosen_by),
        "score": engine_figure("score", pa.int32()),
        "depth": engine_figure("depth", pa.int16()),
        "nodes": engine_figure("nodes", pa.int64()),
        "quiescence_nodes": engine_figure("quiescence_nodes", pa.int64()),
        "winner": coded(_SIDES, columns["winner"]),
        "result": pa.array(columns["result"], type=pa.int8(), mask=no_winner),
        "end_reason": coded(_END_REASONS, columns["end_reason"]),
        "white_player": pa.nulls(rows, pa.string()),
        "black_player": pa.nulls(rows, pa.string()),
    }
    return pa.RecordBatch.from_arrays([arrays[name] for name in PLY_SCHEMA.names], schema=PLY_SCHEMA)


def play_batches(
    settings: GameSettings,
    numbers: Iterable[int],
    executor: Executor | None = None,
    *,
    max_pending: int = DEFAULT_MAX_PENDING,
    games_per_task: int = DEFAULT_GAMES_PER_TASK,
) -> Generator[GameRows, None, None]:
    """Play the games ``numbers`` of a run in tasks of ``games_per_task``
    consecutive numbers and yield each task's rows as it finishes: here, one
    task after the other, without an executor; on ``executor`` otherwise, at
    most ``max_pending`` tasks out at a time (see
    :func:`tovak.runs.tasks.run_tasks`)."""
    if executor is None:
        waiting = list(numbers)
        for first in range(0, len(waiting), games_per_task):
            yield play_batch(settings, waiting[first : first + games_per_task])
        return
    yield from run_tasks(
        play_batch,
        settings,
        numbers,
        executor,
        first_game=lambda games: games.numbers[0],
        max_pending=max_pending,
        games_per_task=games_per_task,
    )
