"""Python tools on top of the ``tovak_python`` engine module.

At the top, the game's vocabulary and the pieces every capability uses:

- :class:`tovak.Game`: a start position and the moves played from it, with
  undo, saving and loading, and value semantics (:mod:`tovak.game`);
- :mod:`tovak.notation`: a one-line text form of positions (``to_text``,
  ``from_text``), the only parser of position texts;
- :func:`tovak.show` and :class:`tovak.BoardView`: a position that displays
  as SVG in a notebook and as text elsewhere (:mod:`tovak.board_view`);
- :mod:`tovak.terms`: sides, the loss score, results in words;
- :mod:`tovak.errors`: the one-line failure of runs and commands.

Then one subpackage per capability:

- :mod:`tovak.analysis`: searches, and live analyses in a process of their
  own that report each depth as it completes and stop on request (``start``);
- :mod:`tovak.protocol`: the line protocol and its two servers;
- :mod:`tovak.runs`: self-play, the record of a game, run directories as
  Parquet datasets written and read back, the resumable run;
- :mod:`tovak.match`: matches between two players, with Elo and SPRT;
- :mod:`tovak.replay`: a game as a self-contained HTML replay;
- :mod:`tovak.mcts`: a batched Monte Carlo tree search over
  :class:`tovak.vector.Games`, whose leaves a network evaluates in batches;
- :mod:`tovak.serve`: the analysis board in the browser (the ``web`` extra);
- :mod:`tovak.rl`: features and the environment for reinforcement learning
  (public paths :mod:`tovak.features` and :mod:`tovak.env`);
- the ``tovak`` command (:mod:`tovak.cli`): play, analyze, selfplay, replay,
  match, engine, serve.
"""

from tovak import analysis, notation
from tovak._version import __version__
from tovak.board_view import BoardView, show
from tovak.game import Game

__all__ = ["BoardView", "Game", "analysis", "notation", "show"]
