"""Networks for the tree-search players of the match tests (``mcts-python:network_bots:NAME``)."""

import numpy as np

calls = 0


def material(observation, mask):
    """Equal priors; the value of the piece balance, from the side to move's view."""
    balance = observation[:, 0].sum(axis=(1, 2)) - observation[:, 1].sum(axis=(1, 2))
    return np.zeros(mask.shape, np.float32), np.tanh(0.12 * balance).astype(np.float32)


def out_of_range_on_second_move(observation, mask):
    """Answers well for the first search, then with values the search refuses."""
    global calls
    if observation[0, 2].all() and observation.shape[0] == 1:
        calls += 1  # one root evaluation per search
    value = 2.0 if calls >= 2 else 0.0
    return np.zeros(mask.shape, np.float32), np.full(len(mask), value, np.float32)
