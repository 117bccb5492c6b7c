"""Engine searches: one at a time in this thread, or live in a process of its own.

- :class:`SearchLimits` (with :data:`DEFAULT_DEPTH`, :data:`MAX_DEPTH` and
  :data:`NO_TIME_LIMIT_MS`): how deep and how long a search may go;
- :func:`search`: one search in the calling thread, returning a
  :class:`SearchReport` when it is done (it cannot be interrupted);
- :func:`start`: a live analysis in a process of its own, returning an
  :class:`AnalysisHandle` at once; the depths arrive as they complete, and
  ``stop()`` ends the search within a fraction of a second
  (:class:`AnalysisError` if that process fails).
"""

from tovak.analysis.limits import DEFAULT_DEPTH, MAX_DEPTH, NO_TIME_LIMIT_MS, SearchLimits
from tovak.analysis.live import AnalysisError, AnalysisHandle, start
from tovak.analysis.report import SearchReport, search

__all__ = [
    "DEFAULT_DEPTH",
    "MAX_DEPTH",
    "NO_TIME_LIMIT_MS",
    "AnalysisError",
    "AnalysisHandle",
    "SearchLimits",
    "SearchReport",
    "search",
    "start",
]
