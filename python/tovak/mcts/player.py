"""A player that chooses its moves by the tree search, one position at a time.

:class:`SearchPlayer` searches a position with :class:`tovak.mcts.Search`
over a batch of one game and plays the most visited move: with a built-in
evaluator (``"uniform"``, ``"rollout"``) or with a network, a Python function
``(observation, mask) -> (logits, values)`` as :meth:`tovak.mcts.Search.answer` takes
them. It plays without noise, so its choice is a function of the position
(and, for playouts, of its seed). The match players ``mcts:...`` and
``mcts-python:...`` and ``tovak engine --player`` are made of it.
"""

from __future__ import annotations

from collections.abc import Callable
from typing import Any, Final

from tovak_python import Position

from tovak.features import move_of_index
from tovak.mcts._search import EVALUATORS, Evaluator, Search
from tovak.notation import to_text
from tovak.vector import Games

__all__ = ["HORIZON_PLIES", "Network", "SearchPlayer"]

Network = Callable[[Any, Any], tuple[Any, Any]]
"""``(observation (k, 3, 8, 8) float32, mask (k, 4096) bool) -> (logits (k, 4096), values (k,))``."""

HORIZON_PLIES: Final = 200
"""How far beyond the position searched a line (and a playout) goes before it is scored 0 as cut.

The player does not know how many plies its game has left; random
playouts without a limit could run for very long.
"""


class SearchPlayer:
    """Chooses a move for a position by ``simulations`` of the tree search.

    Give ``evaluator`` or ``network`` (not both). ``seed`` seeds the search's
    generator (the playouts of ``"rollout"``).
    """

    def __init__(
        self,
        simulations: int,
        *,
        evaluator: Evaluator | None = None,
        network: Network | None = None,
        seed: int = 0,
    ) -> None:
        if (evaluator is None) == (network is None):
            raise ValueError("give either a built-in evaluator or a network")
        if evaluator is not None and evaluator not in EVALUATORS:
            raise ValueError(f"evaluator must be 'uniform' or 'rollout', got {evaluator!r}")
        self._evaluator = evaluator
        self._network = network
        self._games = Games(1, seed=seed, max_plies=HORIZON_PLIES, autoreset="disabled")
        self._search = Search(self._games, simulations=simulations, dirichlet_fraction=0.0, seed=seed)

    def move(self, position: Position) -> str:
        """The most visited move of ``position`` (which must have a legal move), as a move text."""
        self._games.set_position(0, to_text(position))
        self._search.begin()
        if self._evaluator is not None:
            self._search.run(self._evaluator)
        else:
            assert self._network is not None
            while (leaves := self._search.leaves()) is not None:
                logits, values = self._network(leaves.observation, leaves.legal_action_mask)
                self._search.answer(logits, values)
        action = int(self._search.select(0)[0])
        if action < 0:
            raise ValueError("the position has no legal move to choose")
        return move_of_index(action, position.side_to_move())

    def __call__(self, position: Position) -> str:
        """The same as :meth:`move`: a move function of the line protocol's function server."""
        return self.move(position)
