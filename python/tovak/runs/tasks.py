"""Games handed out to an executor in tasks: a window of tasks out at a time,
the results yielded as the tasks finish.

Self-play hands out its games here whatever form a task's result takes (the
games' records, or their rows as columns).
"""

from __future__ import annotations

import itertools
import queue
from collections.abc import Callable, Generator, Iterable
from concurrent.futures import Executor, Future
from typing import TypeVar

__all__ = ["run_tasks"]

_Settings = TypeVar("_Settings")
_Result = TypeVar("_Result")


def run_tasks(
    play_task: Callable[[_Settings, list[int]], _Result],
    settings: _Settings,
    numbers: Iterable[int],
    executor: Executor,
    *,
    first_game: Callable[[_Result], int],
    max_pending: int,
    games_per_task: int,
) -> Generator[_Result, None, None]:
    """``play_task(settings, task)`` on ``executor`` for tasks of
    ``games_per_task`` consecutive ``numbers``, at most ``max_pending`` out at
    a time; each result is yielded as its task finishes (those finishing
    together by ``first_game``). Closing the iterator early cancels the tasks
    not yet started."""
    if max_pending < 1:
        raise ValueError(f"max_pending must be at least 1, got {max_pending}")
    if games_per_task < 1:
        raise ValueError(f"games_per_task must be at least 1, got {games_per_task}")
    waiting = iter(numbers)
    pending: set[Future[_Result]] = set()
    # Each task puts itself here once, as it finishes: waiting for the next
    # one costs the same however many tasks are out.
    finished: queue.SimpleQueue[Future[_Result]] = queue.SimpleQueue()

    def hand_out(count: int) -> None:
        for _ in range(count):
            task = list(itertools.islice(waiting, games_per_task))
            if not task:
                return
            future = executor.submit(play_task, settings, task)
            pending.add(future)
            future.add_done_callback(finished.put)

    try:
        hand_out(max_pending)
        while pending:
            done = [finished.get()]
            while not finished.empty():
                done.append(finished.get_nowait())
            pending.difference_update(done)
            # Several may finish together; yield them in game order so that a
            # run's chunks depend as little as possible on timing.
            for future in sorted(done, key=lambda f: first_game(f.result())):
                yield future.result()
            hand_out(len(done))
    finally:
        for future in pending:
            future.cancel()
