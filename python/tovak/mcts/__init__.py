"""Monte Carlo tree search over batched games, walked in C++, for players with a network.

:class:`Search` keeps one tree per game of a :class:`tovak.vector.Games`.
Its leaves are evaluated by the caller's network in batches, in a loop of
asking and answering that any framework fits into, or by a built-in
evaluator (:data:`EVALUATORS`) with no Python per leaf. The result holds the
policy target (:class:`SearchResult`), and :meth:`Search.select` the moves
to step the games with; :class:`SearchPlayer` (:mod:`tovak.mcts.player`)
chooses one game's moves by the search. Observations, masks and move numbers are those of
:mod:`tovak.features`, from the side to move's view.

    >>> import numpy as np
    >>> from tovak.mcts import Search
    >>> from tovak.vector import Games
    >>> games = Games(2, seed=1)
    >>> search = Search(games, simulations=32, seed=1)
    >>> search.begin()
    >>> while (leaves := search.leaves()) is not None:
    ...     logits = np.zeros(leaves.legal_action_mask.shape, np.float32)
    ...     search.answer(logits, np.zeros(len(leaves), np.float32))
    >>> result = search.result()
    >>> result.visits.sum(axis=1).tolist()
    [32, 32]
    >>> state = games.step(search.select(0))
"""

from tovak.mcts._search import EVALUATORS, Evaluator, Leaves, Search, SearchResult
from tovak.mcts.player import SearchPlayer

__all__ = ["EVALUATORS", "Evaluator", "Leaves", "Search", "SearchPlayer", "SearchResult"]
