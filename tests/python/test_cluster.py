"""Games on a real Dask cluster: a scheduler and worker processes started here
on 127.0.0.1, the same games as a local run, and a worker lost mid-run."""

import json
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import pytest

from command_support import default_sigint, tovak  # noqa: E402

distributed = pytest.importorskip("distributed")

from tovak.runs import reader  # noqa: E402
from tovak.analysis import SearchLimits  # noqa: E402
from tovak.runs.batched import play_batches  # noqa: E402
from tovak.runs.dataset import records_table  # noqa: E402
from tovak.runs.selfplay import GameSettings, play_game  # noqa: E402

DASK = str(Path(sys.executable).with_name("dask"))
START_TIMEOUT_S = 60


def start(*args, log):
    return subprocess.Popen([DASK, *args], stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
                            preexec_fn=default_sigint)


def start_worker(scheduler_file, name, log):
    return start("worker", "--scheduler-file", str(scheduler_file), "--host", "127.0.0.1", "--nthreads", "1",
                 "--no-nanny", "--no-dashboard", "--name", name, log=log)


def stop(process):
    if process.poll() is None:
        os.killpg(process.pid, signal.SIGKILL)
    process.wait(timeout=30)


def wait_until(condition, what):
    deadline = time.monotonic() + START_TIMEOUT_S
    while not condition():
        if time.monotonic() > deadline:
            pytest.fail(f"timed out waiting for {what}")
        time.sleep(0.1)


def worker_names(client):
    return {info["name"]: address for address, info in client.scheduler_info()["workers"].items()}


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    """The scheduler's address, with two single-thread workers."""
    folder = tmp_path_factory.mktemp("cluster")
    scheduler_file = folder / "scheduler.json"
    log = open(folder / "cluster.log", "wb")
    processes = [start("scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                       "--scheduler-file", str(scheduler_file), log=log)]
    try:
        wait_until(scheduler_file.exists, "the scheduler")
        processes += [start_worker(scheduler_file, f"worker-{i}", log) for i in (1, 2)]
        address = json.loads(scheduler_file.read_text())["address"]
        assert address.startswith("tcp://127.0.0.1:")
        with distributed.Client(address, timeout=START_TIMEOUT_S) as client:
            client.wait_for_workers(2, timeout=START_TIMEOUT_S)
        yield address, scheduler_file, log
    finally:
        for process in reversed(processes):
            stop(process)
        log.close()


def tovak_selfplay(*args):
    return tovak("selfplay", *args)


def test_a_cluster_run_equals_the_local_run(cluster, tmp_path):
    address, _, _ = cluster
    run = ("--games", "8", "--depth", "2", "--seed", "9", "--max-plies", "60")
    on_cluster = tovak_selfplay(*run, "--cluster", address, "--out", str(tmp_path / "cluster"))
    assert on_cluster.returncode == 0, on_cluster.stderr
    assert f"cluster {address}" in on_cluster.stdout
    local = tovak_selfplay(*run, "--out", str(tmp_path / "local"))
    assert local.returncode == 0, local.stderr
    assert reader.read_plies(tmp_path / "cluster") == reader.read_plies(tmp_path / "local")
    summary = json.loads((tmp_path / "cluster" / "summary.json").read_text())
    assert summary["cluster"] == address and summary["games"] == 8


def test_games_of_a_lost_worker_are_played_elsewhere_once(cluster):
    address, scheduler_file, log = cluster
    settings = GameSettings(limits=SearchLimits(3), seed=2, max_plies=40)
    numbers = list(range(1, 13))
    victim = start_worker(scheduler_file, "victim", log)
    try:
        with distributed.Client(address, timeout=START_TIMEOUT_S) as client:
            wait_until(lambda: "victim" in worker_names(client), "the extra worker")
            victim_address = worker_names(client)["victim"]
            played = []
            # One game a task, so that the extra worker is still playing when
            # the first records come back.
            for games in play_batches(settings, numbers, client.get_executor(), games_per_task=1):
                played.append(games)
                if victim.poll() is None and client.processing([victim_address])[victim_address]:
                    # Killed while it is playing a game: that game is lost with it.
                    os.kill(victim.pid, signal.SIGKILL)
            assert victim.poll() is not None, "the extra worker was never busy"
            wait_until(lambda: "victim" not in worker_names(client), "the scheduler to notice the lost worker")
    finally:
        stop(victim)
    assert sorted(n for games in played for n in games.numbers) == numbers
    rows = sorted((row for games in played for row in games.rows.to_pylist()), key=lambda r: (r["game"], r["ply"]))
    assert rows == records_table([play_game(settings, n) for n in numbers]).to_pylist()


def test_an_unreachable_cluster_is_one_line(tmp_path):
    run = tovak_selfplay("--cluster", "tcp://127.0.0.1:9", "--out", str(tmp_path / "run"), "--depth", "1")
    assert run.returncode == 1
    assert run.stderr.startswith("tovak: error: cannot reach the cluster at 'tcp://127.0.0.1:9'")
    assert len(run.stderr.splitlines()) == 1
    assert not (tmp_path / "run").exists()
