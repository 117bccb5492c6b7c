"""Reading a run of games back: the plies as a table, the games as records.

A run directory written by ``tovak selfplay`` (or anything else that writes
with :mod:`tovak.runs.dataset`) holds its plies as Parquet under ``DIR/data/``.
Any Parquet reader takes that folder as it is (``pandas.read_parquet``,
``polars.read_parquet("DIR/data/*.parquet")``, ``pyarrow.dataset``); this
module adds the game view::

    >>> from tovak.runs import reader as records
    >>> table = records.read_plies("selfplay")          # doctest: +SKIP
    >>> game = records.read_game("selfplay", 1)         # doctest: +SKIP
    >>> game.plies[0].move, game.winner                 # doctest: +SKIP
"""

from __future__ import annotations

import os
from collections.abc import Iterable
from pathlib import Path
from typing import TYPE_CHECKING, Any, Literal, cast

import pyarrow as pa
import pyarrow.compute as pc

from tovak.runs.dataset import DATA_DIR, PLY_SCHEMA, chunk_paths, read_run_info
from tovak.notation import from_text, to_text
from tovak.runs.records import GameRecord, PlyRecord, game_seed
from tovak.terms import Color

if TYPE_CHECKING:
    import pyarrow.dataset as ds

__all__ = ["games_from_table", "move_lists", "read_game", "read_games", "read_plies", "recorded_games"]

_SORT: list[tuple[str, Literal["ascending", "descending"]]] = [("game", "ascending"), ("ply", "ascending")]


def read_plies(
    run_dir: str | os.PathLike[str],
    *,
    games: Iterable[int] | None = None,
    columns: list[str] | None = None,
) -> pa.Table:
    """The plies of a run (or of the ``games`` named), sorted by game and ply
    (when ``columns``, if given, include both)."""
    dataset = _dataset(Path(run_dir))
    wanted = None if games is None else pc.field("game").isin(sorted(set(games)))
    table = dataset.to_table(columns=columns, filter=wanted)
    if columns is None or ("game" in columns and "ply" in columns):
        table = table.sort_by(_SORT)
    return table


def recorded_games(run_dir: str | os.PathLike[str]) -> set[int]:
    """The numbers of the games recorded in a run."""
    games = _dataset(Path(run_dir)).to_table(columns=["game"]).column("game")
    return set(cast(list[int], pc.unique(games).to_pylist()))


def read_games(run_dir: str | os.PathLike[str], games: Iterable[int] | None = None) -> list[GameRecord]:
    """The games of a run (or the ``games`` named that it holds) as records, in game order."""
    path = Path(run_dir)
    return games_from_table(read_plies(path, games=games), _run_seed(path))


def games_from_table(table: pa.Table, run_seed: int | None = None) -> list[GameRecord]:
    """The games whose rows ``table`` holds (sorted by game and ply), as records.

    ``run_seed`` fills in each game's seed, where the run has one.
    """
    rows = table.to_pylist()
    records = []
    start = 0
    while start < len(rows):
        end = start
        while end < len(rows) and rows[end]["game"] == rows[start]["game"]:
            end += 1
        records.append(_game_record(rows[start:end], run_seed))
        start = end
    return records


def read_game(run_dir: str | os.PathLike[str], number: int) -> GameRecord:
    """Game ``number`` of a run; ``LookupError`` if the run does not hold it."""
    found = read_games(run_dir, [number])
    if not found:
        raise LookupError(f"game {number} is not recorded in {os.fspath(run_dir)!r}")
    return found[0]


def move_lists(run_dir: str | os.PathLike[str]) -> dict[int, list[str]]:
    """Each game's moves, by game number."""
    table = read_plies(run_dir, columns=["game", "ply", "move"]).sort_by(_SORT)
    moves: dict[int, list[str]] = {}
    games = cast(list[int], table.column("game").to_pylist())
    for game, move in zip(games, table.column("move").to_pylist(), strict=True):
        listed = moves.setdefault(game, [])
        if move is not None:
            listed.append(move)
    return moves


def _dataset(run_dir: Path) -> ds.Dataset:
    # Imported here, not with the module: pyarrow.dataset brings pandas in
    # (a fifth of a second), and every worker process of a self-play run
    # imports the command, and so this module, before it plays a game.
    import pyarrow.dataset as ds

    read_run_info(run_dir)  # a clear error for a directory that holds no run
    return ds.dataset([os.fspath(p) for p in chunk_paths(run_dir / DATA_DIR)], schema=PLY_SCHEMA, format="parquet")


def _run_seed(run_dir: Path) -> int | None:
    # Only self-play derives each game's seed from the run's.
    info = read_run_info(run_dir)
    seed = info["settings"].get("seed")
    return seed if info.get("kind") == "selfplay" and isinstance(seed, int) else None


def _game_record(rows: list[dict[str, Any]], run_seed: int | None) -> GameRecord:
    first = rows[0]
    number = first["game"]
    plies = [
        PlyRecord(
            ply=row["ply"],
            position=row["position"],
            side=cast(Color, row["side"]),
            move=row["move"],
            chosen_by=row["chosen_by"],
            score=row["score"],
            depth=row["depth"],
            nodes=row["nodes"],
            quiescence_nodes=row["quiescence_nodes"],
        )
        for row in rows
        if row["move"] is not None
    ]
    final = from_text(first["position"])
    for ply in plies:
        final.apply_move(ply.move)
    return GameRecord(
        number=number,
        seed="" if run_seed is None else game_seed(run_seed, number),
        start=first["position"],
        plies=plies,
        final_position=to_text(final),
        winner=first["winner"],
        end_reason=first["end_reason"],
        white_player=first["white_player"],
        black_player=first["black_player"],
    )
