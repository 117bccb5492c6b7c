"""The search processes of the board's server: a fixed number at most, oldest stopped first.

Each search is a live analysis (:func:`tovak.analysis.start`), a process of
its own, owned by a page and a purpose: the page's live analysis, or the
engine's reply when the page plays against it. A page has at most one
search per purpose, so a new position stops the page's old search at once;
closing the page stops its searches; and when :data:`MAX_SEARCHES` are
running, a new one stops the one started longest ago. When the server
stops, :meth:`SearchPool.close` stops them all and refuses new ones.
"""

from __future__ import annotations

import threading
import weakref
from collections import OrderedDict

from tovak import analysis
from tovak.analysis import AnalysisHandle, SearchLimits

__all__ = ["MAX_SEARCHES", "PoolClosed", "SearchPool"]

# Two cores are plenty for one person at one board; four processes let two
# pages (or a page and the engine it plays) search side by side.
MAX_SEARCHES = 4
"""How many search processes one server runs at once; a new one stops the oldest."""

Owner = tuple[str, str]  # (page id, purpose)


class PoolClosed(RuntimeError):
    """The server is stopping: no new search starts."""


class SearchPool:
    """The running searches, in the order they started (thread-safe).

    The pool holds at most ``capacity`` unfinished searches. A handle that
    the pool stopped to make room, or that its page replaced, is in
    ``was_cut_short`` so that its stream can say why it ended.
    """

    def __init__(self, capacity: int = MAX_SEARCHES):
        self._capacity = capacity
        self._lock = threading.Lock()
        self._running: OrderedDict[Owner, AnalysisHandle] = OrderedDict()
        self._cut_short: weakref.WeakSet[AnalysisHandle] = weakref.WeakSet()
        self._closed = False

    @property
    def capacity(self) -> int:
        """The most searches that run at once."""
        return self._capacity

    def start(self, owner: Owner, position_text: str, limits: SearchLimits) -> AnalysisHandle:
        """Start a search of ``position_text`` for ``owner``, stopping the owner's
        previous search and, when the pool is full, the oldest one."""
        with self._lock:
            if self._closed:
                raise PoolClosed("the server is stopping")
            self._forget_finished()
            previous = self._running.pop(owner, None)
            if previous is not None:
                self._stop(previous)
            while len(self._running) >= self._capacity:
                _, oldest = self._running.popitem(last=False)
                self._stop(oldest)
            handle = analysis.start(position_text, depth=limits.depth, time_ms=limits.time_ms)
            if not handle.done():
                self._running[owner] = handle
            return handle

    def release(self, owner: Owner, handle: AnalysisHandle) -> None:
        """Stop ``handle``, the search its stream no longer needs."""
        with self._lock:
            if self._running.get(owner) is handle:
                del self._running[owner]
        handle.stop()

    def stop_page(self, page: str) -> None:
        """Stop every search of ``page`` (the page was closed)."""
        with self._lock:
            for owner in [owner for owner in self._running if owner[0] == page]:
                self._stop(self._running.pop(owner))

    def close(self) -> None:
        """Stop every search and start no more."""
        with self._lock:
            self._closed = True
            while self._running:
                self._stop(self._running.popitem(last=False)[1])

    def was_cut_short(self, handle: AnalysisHandle) -> bool:
        """Whether the pool stopped ``handle`` before it ended by itself."""
        with self._lock:
            return handle in self._cut_short

    def running(self) -> int:
        """How many searches are running now."""
        with self._lock:
            self._forget_finished()
            return len(self._running)

    def _stop(self, handle: AnalysisHandle) -> None:
        if not handle.done():
            self._cut_short.add(handle)
        handle.stop()

    def _forget_finished(self) -> None:
        for owner in [owner for owner, handle in self._running.items() if handle.done()]:
            del self._running[owner]
