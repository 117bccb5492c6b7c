"""What the self-play pipeline costs over the engine's own searches.

    python bench/pipeline_bench.py [--games N] [--repeat R]

1. For depth 1 and depth 2: `tovak selfplay` (the command, in this process:
   games, records, the Parquet dataset, the summary) against the same engine
   searches timed alone, on the positions the run recorded, in the same run.
   The difference is everything the pipeline adds: random plies, position
   texts, records, columns, compression and files.
2. Two local jobs against one, at depth 2 (three times the games of depth 1),
   as plies per second of the whole command.

Runs are interleaved and the fastest of each kind is kept (the machine is
shared, so the least disturbed run is the one to compare). The pipeline and
the searches are timed in CPU time of this process, which other processes on
the machine disturb little; the jobs comparison needs wall time, and is only
meaningful on a machine that is otherwise idle.
"""

from __future__ import annotations

import argparse
import contextlib
import io
import shutil
import sys
import tempfile
import time
from collections.abc import Callable
from pathlib import Path

from tovak import records
from tovak.analysis import NO_TIME_LIMIT_MS
from tovak.cli import main
from tovak.notation import from_text

PIPELINE_GOALS = {1: 0.40, 2: 0.15}  # largest acceptable cost over the searches
SPEEDUP_GOAL = 1.8


def run_command(out: Path, *args: str, clock: Callable[[], float] = time.perf_counter) -> float:
    """Seconds taken by one `tovak selfplay` into a new directory ``out``."""
    shutil.rmtree(out, ignore_errors=True)
    argv = ["selfplay", "--out", str(out), "--replays", "0", "--no-progress", *args]
    started = clock()
    with contextlib.redirect_stdout(io.StringIO()):
        status = main(argv)
    seconds = clock() - started
    if status != 0:
        raise SystemExit(f"tovak {' '.join(argv)} failed with status {status}")
    return seconds


def searches_alone(out: Path, depth: int) -> tuple[float, int, int]:
    """Seconds for the run's engine searches alone, with the plies and engine plies of the run."""
    table = records.read_plies(out, columns=["position", "chosen_by"]).to_pylist()
    positions = [from_text(row["position"]) for row in table if row["chosen_by"] == "engine"]
    started = time.process_time()
    for position in positions:
        position.analyze_timed(depth, NO_TIME_LIMIT_MS)
    return time.process_time() - started, len(table), len(positions)


def pipeline_cost(work: Path, depth: int, games: int, repeat: int) -> None:
    args = ("--games", str(games), "--depth", str(depth), "--seed", "1")
    best_run = best_search = float("inf")
    plies = engine_plies = 0
    for _ in range(repeat):
        best_run = min(best_run, run_command(work / f"d{depth}", *args, clock=time.process_time))
        seconds, plies, engine_plies = searches_alone(work / f"d{depth}", depth)
        best_search = min(best_search, seconds)
    cost = best_run / best_search - 1
    verdict = "ok" if cost <= PIPELINE_GOALS[depth] else "over the goal"
    print(
        f"depth {depth}: {games} games, {plies} plies ({engine_plies} searched); "
        f"pipeline {plies / best_run:,.0f} plies/s, searches alone {engine_plies / best_search:,.0f} searches/s; "
        f"pipeline cost {cost:+.1%} (goal <= {PIPELINE_GOALS[depth]:.0%}: {verdict})"
    )


def job_speedup(work: Path, games: int, repeat: int) -> None:
    args = ("--games", str(games), "--depth", "2", "--seed", "2")
    best = {1: float("inf"), 2: float("inf")}
    for _ in range(repeat):
        for jobs in (1, 2):
            best[jobs] = min(best[jobs], run_command(work / f"jobs{jobs}", *args, "--jobs", str(jobs)))
    plies = records.read_plies(work / "jobs1", columns=["game"]).num_rows
    speedup = best[1] / best[2]
    verdict = "ok" if speedup >= SPEEDUP_GOAL else "under the goal"
    print(
        f"jobs: {games} games at depth 2, {plies} plies; 1 job {plies / best[1]:,.0f} plies/s, "
        f"2 jobs {plies / best[2]:,.0f} plies/s; speed-up {speedup:.2f}x (goal >= {SPEEDUP_GOAL}x: {verdict})"
    )


def main_bench() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=450, help="games per run at depth 1 (default 450)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each kind (default 3)")
    options = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="tovak-pipeline-") as folder:
        work = Path(folder)
        pipeline_cost(work, 1, options.games, options.repeat)
        pipeline_cost(work, 2, max(1, options.games // 3), options.repeat)
        # Three times the games: the workers' start-up is paid once per run,
        # and real runs are far longer than either.
        job_speedup(work, 3 * options.games, options.repeat)
    sys.stdout.flush()


if __name__ == "__main__":
    main_bench()
