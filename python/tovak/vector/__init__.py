"""Games in batches, stepped in C++ at the speed of the rules, for reinforcement learning.

:class:`Games` holds N games side by side; :meth:`Games.reset` and
:meth:`Games.step` return a :class:`GamesState` of numpy arrays with one row
per game. Observations, masks and move numbers are those of
:mod:`tovak.features`, always from the view of the side to move.

On top of it, Gymnasium environments, registered on import:

- :class:`SelfPlayVectorEnv` (``gymnasium.make_vec("tovak/SelfPlay-v0",
  num_envs=N, vectorization_mode="vector_entry_point")``): the agent plays
  the side to move in every game; :class:`SelfPlayEnv` is one such game
  (``gymnasium.make("tovak/SelfPlay-v0")``);
- :class:`OpponentVectorEnv` (``"tovak/Opponent-v0"``): the agent plays one
  colour against ``opponent="random"`` or ``"engine:depth=D"``, whose replies
  are made in C++ inside ``step``; :class:`OpponentEnv` is one such game,
  with ``action_masks()`` for learners that take masked actions.

Observations are the planes, float32 ``(3, 8, 8)``; actions are move numbers
0..4095; the legal ones are in ``info["action_mask"]``.

    >>> from tovak.vector import Games
    >>> games = Games(4, seed=1, max_plies=50)
    >>> state = games.reset(seed=1)
    >>> state.observation.shape, state.legal_action_mask.shape
    ((4, 3, 8, 8), (4, 4096))
    >>> for _ in range(100):
    ...     state = games.step(games.sample_actions())
    >>> bool(((state.plies >= 0) & (state.plies <= 50)).all())
    True

    >>> import gymnasium
    >>> envs = gymnasium.make_vec("tovak/Opponent-v0", num_envs=3, vectorization_mode="vector_entry_point",
    ...                           opponent="random", seed=2)
    >>> observations, infos = envs.reset(seed=2)
    >>> observations.shape, infos["action_mask"].shape
    ((3, 3, 8, 8), (3, 4096))
    >>> actions = [int(mask.nonzero()[0][0]) for mask in infos["action_mask"]]  # each game's first legal move
    >>> observations, rewards, terminations, truncations, infos = envs.step(actions)
    >>> rewards.tolist()
    [0.0, 0.0, 0.0]
    >>> envs.close()
"""

from tovak.rl._extra import require_rl_extra

# Before the imports that need the extra, so that its absence is reported as such.
require_rl_extra("tovak.vector", "numpy", "gymnasium")

from tovak.vector._games import AUTORESET_MODES, AgentColor, AutoReset, Games, GamesState
from tovak.vector._opponent import OpponentEnv, OpponentVectorEnv
from tovak.vector._registration import ENVIRONMENT_IDS, register_environments
from tovak.vector._self_play import SelfPlayEnv, SelfPlayVectorEnv

__all__ = [
    "AUTORESET_MODES",
    "ENVIRONMENT_IDS",
    "AgentColor",
    "AutoReset",
    "Games",
    "GamesState",
    "OpponentEnv",
    "OpponentVectorEnv",
    "SelfPlayEnv",
    "SelfPlayVectorEnv",
]

register_environments()
