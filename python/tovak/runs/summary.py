"""The figures of a run, computed from its dataset, and where its replays go."""

from __future__ import annotations

from collections import Counter
from pathlib import Path
from typing import Any

import pyarrow.compute as pc

from tovak.runs.dataset import DATA_DIR, chunk_paths
from tovak.runs.reader import read_plies

__all__ = ["replay_name", "run_summary"]


def replay_name(number: int) -> str:
    """The file name of game ``number``'s replay in a run's replays folder."""
    return f"game-{number:04d}.html"


def run_summary(
    run_dir: Path,
    *,
    seconds: float,
    session_plies: int,
    jobs: int,
    cluster: str | None,
    replays: list[str],
) -> dict[str, Any]:
    """The whole run's results, and the speed of the sitting that just ended."""
    table = read_plies(run_dir, columns=["game", "winner", "move"])
    per_game = table.group_by("game", use_threads=False).aggregate([("winner", "first"), ("move", "count")])
    winners = Counter(per_game.column("winner_first").to_pylist())
    plies = int(pc.sum(per_game.column("move_count")).as_py() or 0)
    games = per_game.num_rows
    disk_bytes = sum(path.stat().st_size for path in chunk_paths(run_dir / DATA_DIR))
    return {
        "games": games,
        "white_wins": winners["white"],
        "black_wins": winners["black"],
        "unfinished": winners[None],
        "plies": plies,
        "average_plies": plies / games if games else 0.0,
        "data_bytes": disk_bytes,
        "bytes_per_ply": disk_bytes / plies if plies else None,
        "seconds": round(seconds, 6),
        "plies_this_session": session_plies,
        "plies_per_second": session_plies / seconds if seconds > 0 and session_plies else None,
        "jobs": None if cluster else jobs,
        "cluster": cluster,
        "replays": replays,
    }
