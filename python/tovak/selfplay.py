"""Engine-versus-engine games, one at a time or in parallel processes.

Each game gets its own random generator seeded from the run's seed and the
game's number, so game *k* of a run is the same game whatever the number of
worker processes and whichever process plays it. With a depth limit alone the
engine is deterministic too, and a run can be replayed exactly; a time limit
makes the engine's choices depend on the machine's speed.
"""

from __future__ import annotations

import json
import multiprocessing
import random
import signal
import time
from collections.abc import Callable, Iterator
from dataclasses import asdict, dataclass, field
from typing import Literal

from tovak_python import Position

from tovak.analysis import SearchLimits, search
from tovak.notation import from_text, to_text
from tovak.terms import Color

__all__ = [
    "GameRecord",
    "GameSettings",
    "PlyRecord",
    "game_seed",
    "jsonl_lines",
    "play_game",
    "play_games",
    "write_jsonl",
]

DEFAULT_MAX_PLIES = 200


@dataclass(frozen=True)
class GameSettings:
    """Everything that decides a game apart from its number."""

    limits: SearchLimits = SearchLimits()
    random_plies: int = 2
    max_plies: int = DEFAULT_MAX_PLIES
    seed: int = 0
    start: str | None = None  # position text; None for the initial position


@dataclass(frozen=True)
class PlyRecord:
    """One ply: the position before it, the move and who chose it."""

    ply: int
    position: str
    side: Color
    move: str
    chosen_by: Literal["random", "engine"]
    score: int | None = None
    depth: int | None = None
    nodes: int | None = None


@dataclass
class GameRecord:
    """A finished (or cut-off) game.

    ``winner`` is None only when the game reached ``max_plies`` without a
    result: the game itself has no draws.
    """

    number: int
    seed: str
    start: str
    plies: list[PlyRecord] = field(default_factory=list)
    final_position: str = ""
    winner: Color | None = None
    end_reason: Literal["no legal move", "ply limit"] = "no legal move"
    seconds: float = 0.0


def game_seed(run_seed: int, number: int) -> str:
    """The seed of game ``number`` of a run. A text seed gives the same
    sequence in every process, whatever the hash randomisation."""
    return f"tovak-selfplay:{run_seed}:{number}"


def play_game(settings: GameSettings, number: int) -> GameRecord:
    """Play game ``number`` of a run."""
    started = time.perf_counter()
    seed = game_seed(settings.seed, number)
    rng = random.Random(seed)
    position = Position() if settings.start is None else from_text(settings.start)
    record = GameRecord(number=number, seed=seed, start=to_text(position))
    while True:
        winner = position.outcome()
        if winner is not None:
            record.winner = winner
            record.end_reason = "no legal move"
            break
        if len(record.plies) >= settings.max_plies:
            record.end_reason = "ply limit"
            break
        record.plies.append(_next_ply(position, len(record.plies) + 1, settings, rng))
        position.apply_move(record.plies[-1].move)
    record.final_position = to_text(position)
    record.seconds = time.perf_counter() - started
    return record


def _next_ply(position: Position, ply: int, settings: GameSettings, rng: random.Random) -> PlyRecord:
    before = to_text(position)
    side = position.side_to_move()
    if ply <= settings.random_plies:
        move = rng.choice(position.legal_moves())
        return PlyRecord(ply=ply, position=before, side=side, move=move, chosen_by="random")
    report = search(position, settings.limits)
    if report.best_move is None:
        # The engine gives no move only when there is none, which the caller
        # has already ruled out; a missing move here is an engine fault.
        raise RuntimeError(f"engine returned no move for {before}")
    return PlyRecord(
        ply=ply,
        position=before,
        side=side,
        move=report.best_move,
        chosen_by="engine",
        score=report.score,
        depth=report.completed_depth,
        nodes=report.nodes,
    )


def play_games(
    settings: GameSettings,
    games: int,
    jobs: int = 1,
    on_done: Callable[[GameRecord], None] | None = None,
) -> list[GameRecord]:
    """Play games 1..``games``, in ``jobs`` worker processes when jobs > 1.

    ``on_done`` is called in this process as each game finishes, in finishing
    order; the returned list is in game order.
    """
    records: list[GameRecord] = []
    for record in _iter_games(settings, games, jobs):
        if on_done is not None:
            on_done(record)
        records.append(record)
    records.sort(key=lambda r: r.number)
    return records


def _iter_games(settings: GameSettings, games: int, jobs: int) -> Iterator[GameRecord]:
    if jobs <= 1 or games <= 1:
        for number in range(1, games + 1):
            yield play_game(settings, number)
        return
    # Fresh interpreters rather than forks: the parent may run threads (the
    # progress bar's monitor), and forking a threaded process is unsafe.
    context = multiprocessing.get_context("spawn")
    tasks = [(settings, number) for number in range(1, games + 1)]
    # Leaving the block terminates the workers at once, so an interrupt or an
    # error does not wait for the games still being played.
    with context.Pool(processes=min(jobs, games), initializer=_leave_interrupts_to_parent) as pool:
        yield from pool.imap_unordered(_play_task, tasks)


def _play_task(task: tuple[GameSettings, int]) -> GameRecord:
    return play_game(*task)


def _leave_interrupts_to_parent() -> None:
    # Ctrl-C reaches every process of the terminal's group; only the parent
    # reports it, and it stops the workers.
    signal.signal(signal.SIGINT, signal.SIG_IGN)


def jsonl_lines(record: GameRecord, settings: GameSettings) -> list[str]:
    """The game as JSON lines: a header, one line per ply, then the result."""
    header = {
        "type": "game",
        "game": record.number,
        "seed": record.seed,
        "depth": settings.limits.max_depth(),
        "time_ms": settings.limits.time_ms,
        "random_plies": settings.random_plies,
        "max_plies": settings.max_plies,
        "start": record.start,
    }
    lines = [json.dumps(header)]
    for ply in record.plies:
        lines.append(json.dumps({"type": "ply", **asdict(ply)}))
    result = {
        "type": "result",
        "winner": record.winner,
        "reason": record.end_reason,
        "plies": len(record.plies),
        "final_position": record.final_position,
        "seconds": round(record.seconds, 6),
    }
    lines.append(json.dumps(result))
    return lines


def write_jsonl(path: str, record: GameRecord, settings: GameSettings) -> None:
    """Write the game to ``path`` as JSON lines (see :func:`jsonl_lines`)."""
    with open(path, "w", encoding="utf-8") as out:
        for line in jsonl_lines(record, settings):
            out.write(line + "\n")
