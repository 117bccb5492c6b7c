"""Python tools on top of the ``tovak_python`` engine module.

- :mod:`tovak.notation`: a one-line text form of positions (``to_text``, ``from_text``);
- :func:`tovak.show`: a position that displays as SVG in a notebook and as text elsewhere;
- :mod:`tovak.selfplay` and :mod:`tovak.replay_html`: engine-versus-engine games and their replays;
- the ``tovak`` command (:mod:`tovak.cli`): play, analyze, selfplay.
"""

from tovak import notation
from tovak.show import BoardView, show

__all__ = ["BoardView", "notation", "show"]
__version__ = "0.1.0"
