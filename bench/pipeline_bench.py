"""What the self-play pipeline delivers: batched against one game at a time,
jobs against one job, the client's commit rate, and a real Dask cluster.

    python bench/pipeline_bench.py [--games N] [--repeat R] [--no-cluster]

1. One core, depth 1 and depth 2: ``tovak selfplay`` (the command in this
   process: games played in C++ batches, their rows written as they come)
   against the one-game-at-a-time path (tovak.runs.selfplay.play_games, each
   game's records turned into rows by the writer), on the same games, in CPU
   time of this process; and the bytes per ply each leaves on disk.
2. Two local jobs against one, at depth 1 and depth 2, in wall time of the
   whole command.
3. The client alone: finished games as the workers hand them back (rows
   already built), appended to a run's chunks as fast as the writer takes
   them; plies committed per second of CPU time.
4. A real Dask cluster on 127.0.0.1 (a scheduler, two one-thread workers):
   the command end to end against the same run on two local jobs.

Runs are interleaved and the fastest of each kind is kept (the machine is
shared, so the least disturbed run is the one to compare). Wall-time figures
(2 and 4) are only meaningful on a machine that is otherwise idle.
"""

from __future__ import annotations

import argparse
import contextlib
import io
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable, Iterator
from pathlib import Path

from tovak.analysis import SearchLimits
from tovak.cli import main
from tovak.runs import reader
from tovak.runs.batched import play_batch
from tovak.runs.dataset import DatasetWriter
from tovak.runs.selfplay import GameSettings, play_games
from tovak.runs.session import DEFAULT_CHUNK_PLIES

ONE_CORE_GOALS = {1: 2.0, 2: 1.3}  # batched over the one-game path, plies per second
JOBS_GOAL = 1.85
COMMIT_GOAL = 2_000_000


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


def one_game_path(out: Path, settings: GameSettings, games: int) -> float:
    """CPU seconds of the one-game-at-a-time pipeline: records, the writer's rows, chunks."""
    shutil.rmtree(out, ignore_errors=True)
    started = time.process_time()
    writer = DatasetWriter(out)
    for record in play_games(settings, range(1, games + 1)):
        writer.add(record)
        if writer.pending_plies >= DEFAULT_CHUNK_PLIES:
            writer.flush()
    writer.flush()
    return time.process_time() - started


def disk_bytes(data_dir: Path) -> int:
    return sum(p.stat().st_size for p in data_dir.glob("chunk-*.parquet"))


def one_core(work: Path, depth: int, games: int, repeat: int) -> None:
    settings = GameSettings(limits=SearchLimits(depth), seed=1)
    args = ("--games", str(games), "--depth", str(depth), "--seed", "1")
    best_batched = best_reference = float("inf")
    for _ in range(repeat):
        best_batched = min(best_batched, run_command(work / "batched", *args, clock=time.process_time))
        best_reference = min(best_reference, one_game_path(work / "reference", settings, games))
    plies = reader.read_plies(work / "batched", columns=["game"]).num_rows
    batched_bytes = disk_bytes(work / "batched" / "data") / plies
    reference_bytes = disk_bytes(work / "reference") / plies
    ratio = best_reference / best_batched
    verdict = "ok" if ratio >= ONE_CORE_GOALS[depth] else "under the goal"
    print(
        f"one core, depth {depth}: {games} games, {plies} plies; batched {plies / best_batched:,.0f} plies/s, "
        f"one game at a time {plies / best_reference:,.0f} plies/s; {ratio:.2f}x "
        f"(goal >= {ONE_CORE_GOALS[depth]}x: {verdict}); "
        f"{batched_bytes:.2f} bytes per ply on disk against {reference_bytes:.2f}"
    )


def job_speedup(work: Path, depth: int, games: int, repeat: int) -> None:
    args = ("--games", str(games), "--depth", str(depth), "--seed", "2")
    best = {1: float("inf"), 2: float("inf")}
    for _ in range(repeat):
        for jobs in (1, 2):
            best[jobs] = min(best[jobs], run_command(work / f"jobs{jobs}", *args, "--jobs", str(jobs)))
    plies = reader.read_plies(work / "jobs1", columns=["game"]).num_rows
    speedup = best[1] / best[2]
    verdict = "ok" if speedup >= JOBS_GOAL else "under the goal"
    print(
        f"jobs, depth {depth}: {games} games, {plies} plies; 1 job {plies / best[1]:,.0f} plies/s, "
        f"2 jobs {plies / best[2]:,.0f} plies/s; {speedup:.2f}x (goal >= {JOBS_GOAL}x: {verdict})"
    )


def client_commit(work: Path, tasks: int, repeat: int) -> None:
    # Distinct games, 16 a task as the command hands them out, played once
    # at depth 1 (repeated rows would compress, and so commit, too well).
    settings = GameSettings(limits=SearchLimits(1), seed=3)
    results = [play_batch(settings, list(range(16 * k + 1, 16 * k + 17))) for k in range(tasks)]
    plies = sum(r.ply_count for r in results)
    best = float("inf")
    for _ in range(repeat):
        shutil.rmtree(work / "commit", ignore_errors=True)
        writer = DatasetWriter(work / "commit")
        started = time.process_time()
        for result in results:
            writer.add_rows(result)
            if writer.pending_plies >= DEFAULT_CHUNK_PLIES:
                writer.flush()
        writer.flush()
        best = min(best, time.process_time() - started)
    verdict = "ok" if plies / best >= COMMIT_GOAL else "under the goal"
    print(
        f"client commit: {len(results)} worker results, {plies} plies; {plies / best:,.0f} plies/s "
        f"(goal >= {COMMIT_GOAL:,}: {verdict}); {disk_bytes(work / 'commit') / plies:.2f} bytes per ply"
    )


@contextlib.contextmanager
def local_cluster(folder: Path) -> Iterator[str]:
    """A scheduler and two one-thread workers on 127.0.0.1; the scheduler's address."""
    dask = str(Path(sys.executable).with_name("dask"))
    scheduler_file = folder / "scheduler.json"
    log = open(folder / "cluster.log", "wb")
    common = {"stdout": log, "stderr": subprocess.STDOUT, "start_new_session": True}
    processes = [
        subprocess.Popen([dask, "scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                          "--scheduler-file", str(scheduler_file)], **common)  # type: ignore[call-overload]
    ]
    try:
        deadline = time.monotonic() + 60
        while not scheduler_file.exists():
            if time.monotonic() > deadline:
                raise SystemExit("the scheduler did not start")
            time.sleep(0.1)
        for name in ("worker-1", "worker-2"):
            processes.append(subprocess.Popen(
                [dask, "worker", "--scheduler-file", str(scheduler_file), "--host", "127.0.0.1", "--nthreads", "1",
                 "--no-nanny", "--no-dashboard", "--name", name], **common))  # type: ignore[call-overload]
        address = json.loads(scheduler_file.read_text())["address"]
        from distributed import Client

        with Client(address, timeout=60) as client:
            client.wait_for_workers(2, timeout=60)
        yield address
    finally:
        for process in reversed(processes):
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)
            process.wait(timeout=30)
        log.close()


def cluster_run(work: Path, games: int, repeat: int) -> None:
    try:
        import distributed  # noqa: F401
    except ImportError:
        print("cluster: skipped (no distributed)")
        return
    args = ("--games", str(games), "--depth", "2", "--seed", "4")
    best = {"cluster": float("inf"), "local": float("inf")}
    with local_cluster(work) as address:
        for _ in range(repeat):
            best["cluster"] = min(best["cluster"], run_command(work / "cluster", *args, "--cluster", address))
            best["local"] = min(best["local"], run_command(work / "local", *args, "--jobs", "2"))
    same = reader.read_plies(work / "cluster") == reader.read_plies(work / "local")
    plies = reader.read_plies(work / "local", columns=["game"]).num_rows
    print(
        f"cluster, depth 2: {games} games, {plies} plies; 2 Dask workers {plies / best['cluster']:,.0f} plies/s, "
        f"2 local jobs {plies / best['local']:,.0f} plies/s; cluster/local {best['local'] / best['cluster']:.2f}x; "
        f"same rows: {same}"
    )


def main_bench() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--games", type=int, default=300, help="games per run at depth 1 (default 300)")
    parser.add_argument("--repeat", type=int, default=3, help="runs of each kind (default 3)")
    parser.add_argument("--no-cluster", action="store_true", help="leave out the Dask cluster")
    parser.add_argument("--only", choices=["one-core", "jobs", "commit", "cluster"], help="run one part only")
    options = parser.parse_args()
    games = options.games
    with tempfile.TemporaryDirectory(prefix="tovak-pipeline-") as folder:
        work = Path(folder)
        wanted = {options.only} if options.only else {"one-core", "jobs", "commit", "cluster"}
        if options.no_cluster:
            wanted.discard("cluster")
        if "one-core" in wanted:
            one_core(work, 1, games, options.repeat)
            one_core(work, 2, max(1, games // 3), options.repeat)
        if "jobs" in wanted:
            # More games for the jobs: the workers' start-up is paid once per
            # run, and real runs are far longer than either.
            job_speedup(work, 1, 4 * games, options.repeat)
            job_speedup(work, 2, 2 * games, options.repeat)
        if "commit" in wanted:
            client_commit(work, max(1, games // 2), options.repeat)
        if "cluster" in wanted:
            cluster_run(work, 2 * games, options.repeat)
    sys.stdout.flush()


if __name__ == "__main__":
    main_bench()
