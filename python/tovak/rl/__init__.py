"""Reinforcement learning: positions as arrays and the game as an environment.

- :mod:`tovak.rl.features` (public path :mod:`tovak.features`): move numbers,
  legal-move masks and board planes as numpy arrays;
- :mod:`tovak.rl.env` (public path :mod:`tovak.env`): the multi-agent
  environment (``env``, ``raw_env``).

Both need the ``rl`` extra (``pip install 'tovak[rl]'``); nothing is imported
here, so that the features do not load the environment's libraries.
"""
