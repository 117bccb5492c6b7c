"""Self-play: the engine against itself, one game at a time or on any executor.

Each game gets its own random generator seeded from the run's seed and the
game's number, so game *k* of a run is the same game whatever executor plays
it: this process, a local process pool or a worker of a cluster. With a depth
limit alone the engine is deterministic too, and a run can be replayed
exactly; a time limit makes the engine's choices depend on the machine's
speed.
"""

from __future__ import annotations

import random
import time
from collections.abc import Generator, Iterable
from concurrent.futures import Executor
from dataclasses import dataclass
from typing import Any

from tovak_python import Position

from tovak._occupancy import Occupancy
from tovak.analysis import SearchLimits
from tovak.notation import from_text, to_text
from tovak.runs.records import END_NO_LEGAL_MOVE, END_PLY_LIMIT, GameRecord, MoveChoice, PlyRecord, build_ply, game_seed
from tovak.runs.tasks import run_tasks

__all__ = [
    "DEFAULT_MAX_PLIES",
    "GameSettings",
    "play_game",
    "play_game_task",
    "play_games",
    "settings_from_json",
    "settings_to_json",
]

DEFAULT_MAX_PLIES = 200
# Tasks handed to an executor ahead of the results: enough to keep every
# worker of a small cluster busy, few enough that an interrupted run throws
# little work away and memory stays flat however many games a run has.
DEFAULT_MAX_PENDING = 64
# Games played by one task. A task costs a round trip between the writer and a
# worker (a couple of milliseconds through a process pool, more on a cluster),
# as much as a short game at depth 1 or 2: a few games a task keep two local
# workers busy, and a lost worker still costs only a few games.
DEFAULT_GAMES_PER_TASK = 4

@dataclass(frozen=True)
class GameSettings:
    """Everything that decides a game apart from its number."""

    limits: SearchLimits = SearchLimits()
    random_plies: int = 2
    max_plies: int = DEFAULT_MAX_PLIES
    seed: int = 0
    start: str | None = None  # position text; None for the initial position

    def describe(self) -> str:
        """The settings in a few words, as replays show them."""
        return f"Self-play at {self.limits.describe()}, {self.random_plies} random plies"


def play_game(settings: GameSettings, number: int) -> GameRecord:
    """Play game ``number`` of a run."""
    started = time.perf_counter()
    seed = game_seed(settings.seed, number)
    rng = random.Random(seed)
    position = Position() if settings.start is None else from_text(settings.start)
    # The texts of the positions come from the occupancy sets, kept up to
    # date move by move: far cheaper than asking the module square by square.
    board = Occupancy.from_text(to_text(position))
    before = board.text()
    record = GameRecord(number=number, seed=seed, start=before)
    while True:
        winner = position.outcome()
        if winner is not None:
            record.winner = winner
            record.end_reason = END_NO_LEGAL_MOVE
            break
        if len(record.plies) >= settings.max_plies:
            record.end_reason = END_PLY_LIMIT
            break
        ply = _next_ply(position, before, len(record.plies) + 1, settings, rng)
        record.plies.append(ply)
        position.apply_move(ply.move)
        board.play(ply.move)
        before = board.text()
    record.final_position = before
    record.seconds = time.perf_counter() - started
    return record


def _next_ply(
    position: Position, before: str, ply: int, settings: GameSettings, rng: random.Random
) -> PlyRecord:
    side = position.side_to_move()
    depth, budget_ms = settings.limits.max_depth(), settings.limits.budget_ms()
    if ply <= settings.random_plies:
        return build_ply(ply, before, side, rng.choice(position.legal_moves()))
    # The module's call itself rather than tovak.analysis.search: at depth 1
    # the report object would cost a tenth of the search.
    result = position.analyze_timed(depth, budget_ms)
    best = result["best_move"]
    if best is None:
        # The engine gives no move only when there is none, which the caller
        # has already ruled out; a missing move here is an engine fault.
        raise RuntimeError(f"engine returned no move for {before}")
    choice = MoveChoice(
        move=best,
        score=result["score"],
        depth=result["completed_depth"],
        nodes=result["nodes"],
        quiescence_nodes=result["quiescence_nodes"],
    )
    return build_ply(ply, before, side, choice)


def play_games(
    settings: GameSettings,
    numbers: Iterable[int],
    executor: Executor | None = None,
    *,
    max_pending: int = DEFAULT_MAX_PENDING,
    games_per_task: int = DEFAULT_GAMES_PER_TASK,
) -> Generator[GameRecord, None, None]:
    """Play the games ``numbers`` of a run and yield each record as it finishes.

    Without an executor the games are played here, one after the other, in
    the order given. With one (a ``concurrent.futures.ProcessPoolExecutor``,
    a cluster client's executor, ...) the games go out in tasks of
    ``games_per_task`` consecutive numbers, at most ``max_pending`` tasks
    handed out at a time, and the records come in the order the tasks finish
    (in the order given within a task). Closing the iterator early cancels
    the tasks not yet started.
    """
    if executor is None:
        for number in numbers:
            yield play_game(settings, number)
        return
    for task in run_tasks(
        play_game_task,
        settings,
        numbers,
        executor,
        first_game=lambda task: task[0].number,
        max_pending=max_pending,
        games_per_task=games_per_task,
    ):
        yield from task


def play_game_task(settings: GameSettings, numbers: list[int]) -> list[GameRecord]:
    """Play the games ``numbers`` one after the other: one task of :func:`play_games`."""
    return [play_game(settings, number) for number in numbers]


def settings_to_json(settings: GameSettings) -> dict[str, Any]:
    """The settings as a JSON object, with the depth made explicit so that a
    change of the default depth does not change a recorded run."""
    return {
        "depth": settings.limits.max_depth(),
        "time_ms": settings.limits.time_ms,
        "random_plies": settings.random_plies,
        "max_plies": settings.max_plies,
        "seed": settings.seed,
        "start": settings.start,
    }


def settings_from_json(data: dict[str, Any]) -> GameSettings:
    """The settings written by :func:`settings_to_json`."""
    return GameSettings(
        limits=SearchLimits(depth=data["depth"], time_ms=data["time_ms"]),
        random_plies=data["random_plies"],
        max_plies=data["max_plies"],
        seed=data["seed"],
        start=data["start"],
    )
