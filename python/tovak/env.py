"""The game as a multi-agent environment: the public path of :mod:`tovak.rl.env`.

    >>> from tovak.env import env
    >>> game = env()
    >>> game.reset(seed=0)
    >>> game.agent_selection, game.possible_agents
    ('white', ['white', 'black'])
    >>> game.close()
"""

from tovak.rl.env import DEFAULT_MAX_PLIES, Observation, env, raw_env

__all__ = ["DEFAULT_MAX_PLIES", "Observation", "env", "raw_env"]
