"""The game in a browser: an analysis board served by the package (``tovak serve``).

Needs the ``web`` extra (``pip install "tovak[web]"``: Starlette and uvicorn).

- :class:`BoardSettings` (:mod:`tovak.serve.settings`): the game the board
  opens with and the limits of its live analysis;
- :func:`create_app` (:mod:`tovak.serve.app`): the board's web application:
  the page (the module's board, click to move, the live engine lines, the
  evaluation graph, the move list, play against the engine, loading and
  downloading games) and the JSON requests and event streams behind it;
- :func:`run_board_server` (:mod:`tovak.serve.server`): serves it on a bound
  socket until Ctrl-C, then stops every search it started;
- :data:`MAX_SEARCHES`: the most search processes the server runs at once
  (the oldest is stopped to make room).

Internal: what a request may hold (``_requests``), the guard of the token
and the host (``_access``), the game views (``_views``), the pool of search
processes (``_searches``), the event streams (``_events``) and the page
(``_page``, ``_script``, ``_style``).
"""

from tovak.serve._searches import MAX_SEARCHES
from tovak.serve.app import create_app
from tovak.serve.settings import BoardSettings
from tovak.serve.server import run_board_server

__all__ = ["MAX_SEARCHES", "BoardSettings", "create_app", "run_board_server"]
