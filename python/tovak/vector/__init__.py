"""Games in batches, stepped in C++ at the speed of the rules, for reinforcement learning.

:class:`Games` holds N games side by side; :meth:`Games.reset` and
:meth:`Games.step` return a :class:`GamesState` of numpy arrays with one row
per game. Observations, masks and move numbers are those of
:mod:`tovak.features`, always from the view of the side to move.

    >>> from tovak.vector import Games
    >>> games = Games(4, seed=1, max_plies=50)
    >>> state = games.reset(seed=1)
    >>> state.observation.shape, state.legal_action_mask.shape
    ((4, 3, 8, 8), (4, 4096))
    >>> for _ in range(100):
    ...     state = games.step(games.sample_actions())
    >>> bool(((state.plies >= 0) & (state.plies <= 50)).all())
    True
"""

from tovak.vector._games import AUTORESET_MODES, Games, GamesState

__all__ = ["AUTORESET_MODES", "Games", "GamesState"]
