"""Where games are played: here, in local processes, or on a cluster.

Every place is a ``concurrent.futures.Executor`` (or None for this process),
so a run does not know where its games are played. Self-play and matches
play their games in local processes through the one :func:`spawn_pool`.
"""

from __future__ import annotations

import multiprocessing
import signal
from collections.abc import Callable, Iterator
from concurrent.futures import Executor, Future, ProcessPoolExecutor
from contextlib import contextmanager
from typing import Any, ParamSpec, TypeVar

from tovak._version import __version__
from tovak.errors import USAGE_ERROR, CommandError

__all__ = ["open_executor", "spawn_pool", "stop_local_workers"]

CLUSTER_TIMEOUT_S = 10

_P = ParamSpec("_P")
_T = TypeVar("_T")


@contextmanager
def open_executor(jobs: int, cluster: str | None) -> Iterator[Executor | None]:
    """An executor for ``jobs`` local processes or the cluster at ``cluster``;
    None when one job plays here."""
    if cluster is not None:
        with _cluster_executor(cluster) as executor:
            yield executor
    elif jobs > 1:
        with spawn_pool(jobs) as pool:
            yield pool
    else:
        yield None


@contextmanager
def spawn_pool(jobs: int) -> Iterator[Executor]:
    """A pool of ``jobs`` local worker processes that leave Ctrl-C and its
    reporting to this process; leaving the block by an exception ends the
    workers at once, without waiting for the games they are playing."""
    # Fresh interpreters rather than forks: the parent may run threads (the
    # progress bar's monitor), and forking a threaded process is unsafe.
    pool = _QuietWorkerPool(
        max_workers=jobs,
        mp_context=multiprocessing.get_context("spawn"),
        initializer=_leave_interrupts_to_parent,
    )
    try:
        yield pool
    except BaseException:
        stop_local_workers()
        pool.shutdown(wait=True, cancel_futures=True)
        raise
    pool.shutdown(wait=True)


class _QuietWorkerPool(ProcessPoolExecutor):
    """A process pool whose workers never see Ctrl-C.

    A worker is started by a submit, and a new process inherits the signal
    mask of the thread that starts it: with SIGINT blocked there, the worker
    is deaf to it from its first instruction, long before its initializer
    runs (a Ctrl-C while it is still importing would otherwise print its
    traceback). A Ctrl-C meanwhile waits for the parent until the submit
    returns.
    """

    def submit(self, fn: Callable[_P, _T], /, *args: _P.args, **kwargs: _P.kwargs) -> Future[_T]:
        """Submit as the standard pool does, with SIGINT held while workers may start."""
        held = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
        try:
            return super().submit(fn, *args, **kwargs)
        finally:
            signal.pthread_sigmask(signal.SIG_SETMASK, held)


def stop_local_workers() -> None:
    """End this process's worker processes at once."""
    for child in multiprocessing.active_children():
        child.terminate()
    for child in multiprocessing.active_children():
        child.join(5)


def _leave_interrupts_to_parent() -> None:
    # Ctrl-C reaches every process of the terminal's group; only the parent
    # reports it, and it stops the workers. A parent that turns SIGTERM into
    # an interrupt hands that handler down to nobody: a worker told to stop
    # stops.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGTERM, signal.SIG_DFL)


@contextmanager
def _cluster_executor(address: str) -> Iterator[Executor]:
    try:
        from distributed import Client as _Client
    except ImportError:
        raise CommandError(
            "--cluster needs the cluster extra: pip install 'tovak[cluster]'", USAGE_ERROR
        ) from None
    connect: Any = _Client  # the cluster library ships no type hints
    try:
        client = connect(address, timeout=CLUSTER_TIMEOUT_S)
    except (OSError, ValueError) as error:
        raise CommandError(f"cannot reach the cluster at {address!r}: {error}") from None
    try:
        _check_worker_versions(client)
        yield client.get_executor()
    finally:
        client.close()


def _check_worker_versions(client: Any) -> None:
    # A worker with another version of the package could play other games
    # than this one would: refuse before anything is recorded.
    versions = client.run(_package_version)
    if not versions:
        raise CommandError("the cluster has no workers")
    wrong = {worker: version for worker, version in versions.items() if version != __version__}
    if wrong:
        worker, version = sorted(wrong.items())[0]
        raise CommandError(
            f"worker {worker} has tovak {version}, this client {__version__}; "
            "install the same version everywhere"
        )


def _package_version() -> str:
    # Run on each worker: the version of the package installed there.
    from tovak._version import __version__ as installed

    return installed
