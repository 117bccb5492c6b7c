"""A game as a self-contained HTML replay.

- :func:`replay_page`: the page of one game (board pictures, the move list, a
  chart of the engine's scores), readable offline in any browser;
- :func:`result_text`: a game's result in words, as the page and the commands
  say it;
- :func:`chart_of_scores`: the page's chart of the engine's scores, drawn from
  White's score of each position of a game (the analysis board draws its
  graph with it too), and :func:`white_view_scores`, a recorded game's
  scores from White's point of view.

:mod:`tovak.replay.page` builds the page; the chart and the page's script and
style are internal (``_chart``, ``_assets``).
"""

from tovak.replay._chart import chart_of_scores, white_view_scores
from tovak.replay.page import replay_page, result_text

__all__ = ["chart_of_scores", "replay_page", "result_text", "white_view_scores"]
