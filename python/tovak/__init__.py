"""Python tools on top of the ``tovak_python`` engine module.

- :class:`tovak.Game`: a start position and the moves played from it, with
  undo, saving and loading, and value semantics;
- :mod:`tovak.analysis`: searches, and live analyses in a process of their own
  that report each depth as it completes and stop on request (``start``);
- :mod:`tovak.notation`: a one-line text form of positions (``to_text``, ``from_text``);
- :func:`tovak.show`: a position that displays as SVG in a notebook and as text elsewhere;
- :mod:`tovak.selfplay`: engine-versus-engine games, here or on any executor;
- :mod:`tovak.dataset` and :mod:`tovak.records`: runs of games as Parquet datasets, written and read back;
- :mod:`tovak.replay_html`: a game as a self-contained HTML replay;
- the ``tovak`` command (:mod:`tovak.cli`): play, analyze, selfplay, replay.
"""

from tovak import analysis, notation
from tovak.game import Game
from tovak.show import BoardView, show

__all__ = ["BoardView", "Game", "analysis", "notation", "show"]
__version__ = "0.1.0"
