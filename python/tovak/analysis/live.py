"""A live analysis in a process of its own: :func:`start` returns an
:class:`AnalysisHandle` at once; the results of the depths arrive as they
complete, and ``stop()`` ends the search within a fraction of a second.
"""

from __future__ import annotations

import json
import os
import subprocess
import sys
import threading
import time
import weakref
from collections.abc import Iterator
from types import TracebackType
from typing import TYPE_CHECKING, Literal

from tovak_python import Position

from tovak.analysis.limits import MAX_DEPTH, NO_TIME_LIMIT_MS, SearchLimits
from tovak.notation import from_text, to_text

if TYPE_CHECKING:
    from tovak_python import TimedAnalysis

__all__ = ["AnalysisError", "AnalysisHandle", "start"]


class AnalysisError(RuntimeError):
    """A live analysis failed in its process; the depths completed before stay available."""


def start(
    position: Position | str, *, depth: int | None = None, time_ms: int | None = None
) -> AnalysisHandle:
    """Start analyzing ``position`` in a process of its own; return its handle at once.

    ``position`` is a ``tovak_python.Position`` (copied: later changes to it do
    not reach the analysis) or a position text (:mod:`tovak.notation`). The
    search deepens one ply at a time up to ``depth`` (at most 255); each
    completed depth d gives exactly the dict of
    ``position.analyze_timed(d, 10**9)``, so the results are reproducible
    whatever the machine's load. With ``time_ms`` the analysis ends when that
    many milliseconds have passed since its search began (up to ``depth`` if
    given, otherwise as deep as the time allows), and the depth that the clock
    cut short is dropped. Without either limit the depth is 4.

    Depth 0, a time limit of 0 and a position whose side to move has no
    legal move start no process: the handle is done at once, with no
    result. Several handles can run at the same time, one process each.
    """
    limits = _checked_limits(depth, time_ms)
    if isinstance(position, Position):
        text = to_text(position)
    elif isinstance(position, str):
        text = to_text(from_text(position))
    else:
        raise TypeError(
            f"position must be a tovak_python.Position or a position text, not {type(position).__name__}"
        )
    return AnalysisHandle(text, limits)


class AnalysisHandle:
    """A live analysis running in a process of its own (made by :func:`start`).

    - Iterating the handle yields the result of each completed depth, depth 1
      first, as soon as it is known; the iteration ends when the analysis
      ends. Every iteration starts again from depth 1.
    - ``latest`` is the result of the deepest completed depth so far (None
      before the first); ``done()`` says whether the analysis has ended;
      ``wait(timeout)`` waits for the end (or the timeout) and returns
      ``latest``.
    - ``stop()`` ends the analysis within 0.1 s, keeping the depths that were
      complete; leaving a ``with`` block stops the analysis too, and so does
      dropping the last reference to the handle.

    A result is the dict of ``Position.analyze_timed`` for its depth, keys in
    the module's order: root_legal_moves, completed_depth, nodes,
    quiescence_nodes, timed_out (always False here), best_move, score and
    principal_variation. If the analysis process fails, the iteration and
    ``wait()`` raise :class:`AnalysisError` after the results it sent.
    """

    def __init__(self, position_text: str, limits: SearchLimits):
        self._position_text = position_text
        self._limits = limits
        self._run = _LiveRun(position_text, limits)
        # Dropping the handle stops its process; the run itself does not
        # refer to the handle, so the handle can be collected while it runs.
        weakref.finalize(self, self._run.stop)

    @property
    def position_text(self) -> str:
        """The text form of the position analyzed."""
        return self._position_text

    @property
    def limits(self) -> SearchLimits:
        """The depth and time limits the analysis was started with."""
        return self._limits

    @property
    def pid(self) -> int | None:
        """The analysis process's id, None while it starts or when no search was needed."""
        return self._run.pid

    @property
    def latest(self) -> TimedAnalysis | None:
        """The result of the deepest completed depth so far, or None."""
        return self._run.latest()

    def done(self) -> bool:
        """True when the analysis has ended: all depths searched, time up, stopped or failed."""
        return self._run.done()

    def wait(self, timeout: float | None = None) -> TimedAnalysis | None:
        """Wait until the analysis ends or ``timeout`` seconds pass; return ``latest``.

        Raises :class:`AnalysisError` if the analysis process failed.
        """
        self._run.wait(timeout)
        self._run.raise_failure()
        return self._run.latest()

    def stop(self) -> TimedAnalysis | None:
        """End the analysis now (within 0.1 s) and return ``latest``; stopping twice is harmless."""
        self._run.stop()
        return self._run.latest()

    def __iter__(self) -> Iterator[TimedAnalysis]:
        index = 0
        while True:
            result = self._run.result_after(index)
            if result is None:
                self._run.raise_failure()
                return
            yield result
            index += 1

    def __enter__(self) -> AnalysisHandle:
        return self

    def __exit__(
        self,
        kind: type[BaseException] | None,
        error: BaseException | None,
        traceback: TracebackType | None,
    ) -> Literal[False]:
        self.stop()
        return False

    def __repr__(self) -> str:
        latest = self.latest
        depth = 0 if latest is None else latest["completed_depth"]
        state = "done" if self.done() else "running"
        return (
            f"<AnalysisHandle {self._position_text!r} {self._limits.describe()}: "
            f"{state}, depth {depth} complete>"
        )


# How long stop() waits for results already on their way before it returns.
_STOP_GRACE_SECONDS = 0.05
# The worker's program: the parent's import path first, so that the worker
# runs the very package that started it, then the request of argv[1].
_WORKER_PROGRAM = (
    "import json, sys; request = json.loads(sys.argv[1]); sys.path[:] = request['path']; "
    "from tovak.analysis._worker import serve; serve(request)"
)


class _LiveRun:
    """The state of one live analysis, shared by its handle and its reader thread.

    The reader thread starts the worker process, reads its results and reaps
    it: the thread lives exactly as long as the worker, which the kernel
    kills if the thread's program ends (see :mod:`tovak.analysis._worker`).
    Every field below is guarded by ``_changed``; ``_signal_lock`` makes sure
    that a process is never signaled after it has been reaped.
    """

    def __init__(self, position_text: str, limits: SearchLimits):
        self._changed = threading.Condition()
        self._signal_lock = threading.Lock()
        self._results: list[TimedAnalysis] = []
        self._ended = False  # no more results will be taken
        self._stop_requested = False
        self._failure: str | None = None
        self._process: subprocess.Popen[bytes] | None = None
        self._reader: threading.Thread | None = None
        max_depth = limits.max_depth()
        if max_depth == 0 or limits.time_ms == 0 or not from_text(position_text).legal_moves():
            self._ended = True  # nothing to search, or no time to search it
            return
        request = {
            "position": position_text,
            "depth": max_depth,
            "time_ms": limits.time_ms,
            "parent": os.getpid(),
            "path": sys.path,
        }
        self._reader = threading.Thread(
            target=self._read, args=(request,), name="tovak-analysis-reader", daemon=True
        )
        self._reader.start()

    @property
    def pid(self) -> int | None:
        with self._changed:
            return None if self._process is None else self._process.pid

    def latest(self) -> TimedAnalysis | None:
        with self._changed:
            return self._results[-1] if self._results else None

    def done(self) -> bool:
        with self._changed:
            return self._ended

    def wait(self, timeout: float | None) -> None:
        deadline = None if timeout is None else time.monotonic() + timeout
        with self._changed:
            while not self._ended:
                left = None if deadline is None else deadline - time.monotonic()
                if left is not None and left <= 0:
                    return
                # Short waits keep Ctrl-C prompt in the waiting thread.
                self._changed.wait(0.05 if left is None else min(left, 0.05))

    def result_after(self, index: int) -> TimedAnalysis | None:
        """The result number ``index`` once it exists, or None when there will be none."""
        with self._changed:
            while index >= len(self._results) and not self._ended:
                self._changed.wait(0.05)
            return self._results[index] if index < len(self._results) else None

    def raise_failure(self) -> None:
        with self._changed:
            failure = self._failure
        if failure is not None:
            raise AnalysisError(failure)

    def stop(self) -> None:
        with self._changed:
            if self._ended:
                return
            self._stop_requested = True
        self._kill()
        if self._reader is not None:
            # Results written before the kill are still in the pipe: let the
            # reader take them, but never for long.
            self._reader.join(_STOP_GRACE_SECONDS)
        with self._changed:
            self._ended = True
            self._changed.notify_all()

    def _kill(self) -> None:
        with self._signal_lock:
            with self._changed:
                process = self._process
            if process is not None and process.returncode is None:
                process.kill()

    def _read(self, request: dict[str, object]) -> None:
        finished = False
        process = None
        try:
            with self._changed:
                if self._stop_requested:
                    return
                process = subprocess.Popen(
                    [sys.executable, "-c", _WORKER_PROGRAM, json.dumps(request)],
                    stdin=subprocess.DEVNULL,
                    stdout=subprocess.PIPE,
                    stderr=subprocess.PIPE,
                    process_group=0,  # out of reach of the terminal's Ctrl-C
                )
                self._process = process
            assert process.stdout is not None
            for line in process.stdout:
                if not line.endswith(b"\n"):
                    break  # cut short by a kill
                reply = json.loads(line)
                with self._changed:
                    if "result" in reply and not self._ended:
                        self._results.append(reply["result"])
                    elif "error" in reply:
                        self._failure = str(reply["error"])
                    elif "finished" in reply:
                        finished = True
                    self._changed.notify_all()
        except Exception as error:  # noqa: BLE001 - the handle reports it
            with self._changed:
                self._failure = f"the analysis process failed: {type(error).__name__}: {error}"
            self._kill()
        finally:
            complaint = b""
            if process is not None:
                with self._signal_lock:
                    process.wait()
                assert process.stderr is not None and process.stdout is not None
                complaint = process.stderr.read()
                process.stdout.close()
                process.stderr.close()
            with self._changed:
                if not finished and not self._stop_requested and self._failure is None:
                    code = None if process is None else process.returncode
                    last = complaint.decode(errors="replace").strip().splitlines()[-1:]
                    detail = f": {last[0]}" if last else ""
                    self._failure = f"the analysis process ended unexpectedly (exit status {code}){detail}"
                self._ended = True
                self._changed.notify_all()


def _checked_limits(depth: int | None, time_ms: int | None) -> SearchLimits:
    for name, value, high in (("depth", depth, MAX_DEPTH), ("time_ms", time_ms, NO_TIME_LIMIT_MS)):
        if value is None:
            continue
        if not isinstance(value, int) or isinstance(value, bool):
            raise TypeError(f"{name} must be an int or None, not {type(value).__name__}")
        if not 0 <= value <= high:
            raise ValueError(f"{name} must be from 0 to {high}, got {value}")
    return SearchLimits(depth=depth, time_ms=time_ms)
