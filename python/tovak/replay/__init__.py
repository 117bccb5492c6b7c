"""A game as a self-contained HTML replay.

- :func:`replay_page`: the page of one game (board pictures, the move list, a
  chart of the engine's scores), readable offline in any browser;
- :func:`result_text`: a game's result in words, as the page and the commands
  say it.

:mod:`tovak.replay.page` builds the page; the chart and the page's script and
style are internal (``_chart``, ``_assets``).
"""

from tovak.replay.page import replay_page, result_text

__all__ = ["replay_page", "result_text"]
