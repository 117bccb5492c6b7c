"""The batched tree search: argument checks and numpy views around :mod:`tovak._batch`."""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Any, Final, Literal

import numpy as np
import numpy.typing as npt

from tovak import _batch
from tovak.vector._seeds import checked_seed
from tovak.vector import Games

__all__ = ["EVALUATORS", "Evaluator", "Leaves", "Search", "SearchResult"]

Evaluator = Literal["uniform", "rollout"]
"""The built-in evaluators of :meth:`tovak.mcts.Search.run`: uniform priors with the engine's static score, or random playouts."""

EVALUATORS: Final[tuple[Evaluator, ...]] = ("uniform", "rollout")
"""The evaluators built into the search (see :meth:`Search.run`)."""

_ACTION_COUNT: Final = 64 * 64


@dataclass(frozen=True)
class Leaves:
    """The leaves a round of the search asks to be evaluated, one row per leaf.

    Read-only views of the search's own buffers, which its next call
    overwrites: a caller that keeps them past :meth:`Search.answer` must copy
    them.

    - ``observation``: float32 ``(k, 3, 8, 8)``, the leaf's planes from its
      side to move's view (as :func:`tovak.features.planes`);
    - ``legal_action_mask``: bool ``(k, 4096)``, its legal move numbers;
    - ``game``: int32 ``(k,)``, the game each leaf belongs to (the leaves of
      one game are contiguous, games in ascending order).
    """

    observation: npt.NDArray[np.float32]
    legal_action_mask: npt.NDArray[np.bool_]
    game: npt.NDArray[np.int32]

    def __len__(self) -> int:
        return len(self.game)


@dataclass(frozen=True)
class SearchResult:
    """What a finished search found, one row per game.

    Read-only views of the search's own buffers, which its next call
    overwrites: copy them to keep them.

    - ``policy``: float32 ``(N, 4096)``, the policy target by move number:
      the root's visit distribution, or with ``gumbel`` the improved policy;
      zero off the legal moves (all zero for a game that has ended);
    - ``visits``: int32 ``(N, 4096)``, the visits of the root's moves; they
      sum to ``simulations`` for a game that goes on;
    - ``root_value``: float32 ``(N,)``, the root's mean value from its side to
      move's view, in [-1, 1];
    - ``action``: int32 ``(N,)``, the most visited move (ties broken in the
      rules' move order; with ``gumbel`` the move sequential halving kept),
      -1 for a game that has ended.
    """

    policy: npt.NDArray[np.float32]
    visits: npt.NDArray[np.int32]
    root_value: npt.NDArray[np.float32]
    action: npt.NDArray[np.int32]


class Search:
    """A Monte Carlo tree search (PUCT) per game of a :class:`tovak.vector.Games`, walked in C++.

    :meth:`begin` puts a root at each game's current position; then
    :meth:`leaves` and :meth:`answer` alternate, the caller evaluating each
    round's leaves with its network, until :meth:`leaves` returns None; or
    :meth:`run` evaluates every leaf in C++ with a built-in evaluator.
    :meth:`result` and :meth:`select` read the finished search. The search
    only reads the games: they change when the caller steps them.

    - ``simulations``: descents from each root (after the root's own
      evaluation); the root's visits sum to it;
    - ``c_puct``: the weight of the prior in the PUCT score
      ``Q + c_puct * P * sqrt(N) / (1 + n)``;
    - ``dirichlet_alpha``, ``dirichlet_fraction``: Dirichlet noise mixed into
      the priors of the roots only (0 for none);
    - ``gumbel``: the root samples up to ``max_considered`` moves by Gumbel
      top-k and shares the simulations out by sequential halving; the policy
      target is then the improved policy (no Dirichlet noise);
    - ``leaves_per_game``: leaves gathered per game and round, kept apart by
      a virtual loss;
    - ``seed``: seeds each game's generator (noise, Gumbel draws, playouts,
      :meth:`select`) from the seed and the game's index, so that a seed gives
      the same search for any ``threads``; None draws a seed from the system;
    - ``threads``: worker threads that share the trees (a pool started once).

    Values are from the point of view of the side to move at the position
    they score, and a finished game is scored here, never asked for: +1 or
    -1, and 0 for a game cut at the games' ``max_plies``.

    Not for two threads at once: a second thread calling in waits until the
    first call has finished. The calls that walk the trees release the
    interpreter lock.
    """

    def __init__(
        self,
        games: Games,
        *,
        simulations: int,
        c_puct: float = 1.25,
        dirichlet_alpha: float = 0.3,
        dirichlet_fraction: float = 0.25,
        gumbel: bool = False,
        max_considered: int = 16,
        leaves_per_game: int = 1,
        seed: int | None = None,
        threads: int = 1,
    ) -> None:
        if not isinstance(games, Games):
            raise TypeError(f"games must be a tovak.vector.Games, not {type(games).__name__}")
        _check_int("simulations", simulations, low=1)
        _check_int("max_considered", max_considered, low=1)
        _check_int("leaves_per_game", leaves_per_game, low=1)
        _check_int("threads", threads, low=1)
        if not isinstance(gumbel, bool):
            raise TypeError(f"gumbel must be True or False, not {type(gumbel).__name__}")
        self._games = games
        # The batch's own object: the search reads its positions in C++.
        self._search = _batch.Search(
            games._games,
            simulations,
            _number("c_puct", c_puct),
            _number("dirichlet_alpha", dirichlet_alpha),
            _number("dirichlet_fraction", dirichlet_fraction),
            gumbel,
            max_considered,
            leaves_per_game,
            checked_seed(seed),
            threads,
        )

    def __len__(self) -> int:
        return len(self._search)

    @property
    def games(self) -> Games:
        """The games searched."""
        return self._games

    def begin(self) -> None:
        """A new tree at each game's current position (leaves still unanswered are dropped)."""
        self._search.begin()

    def leaves(self) -> Leaves | None:
        """The next round's leaves to evaluate, or None once every tree has its simulations.

        Asked again before :meth:`answer`, it returns the same leaves. The
        arrays are views that the search's next call overwrites.
        """
        views = self._search.leaves()
        return None if views is None else Leaves(*views)

    def answer(self, logits: npt.ArrayLike, values: npt.ArrayLike) -> None:
        """The evaluation of the leaves asked: ``logits`` ``(k, 4096)`` and ``values`` ``(k,)``.

        Logits are by move number; only the legal moves' entries are read, so
        masked entries may hold anything (``-inf`` included). Priors are their
        softmax over the legal moves. Values, in [-1, 1], are from the leaf's
        side to move's view. float32 arrays in C order are read in place;
        other floating-point arrays are converted first.

        ``ValueError`` for nothing asked, a wrong shape or dtype, a NaN or
        infinite value or legal move's logit, a value outside [-1, 1]; a
        refused answer changes nothing, and the leaves can still be answered.
        """
        asked = self._search.asked
        if asked == 0:
            raise ValueError("no leaves are waiting for an answer: call leaves first")
        self._search.answer(
            _floats("logits", logits, (asked, _ACTION_COUNT)),
            _floats("values", values, (asked,)),
        )

    def run(self, evaluator: Evaluator = "uniform") -> None:
        """Runs every tree to its simulations with a built-in evaluator, in C++.

        - ``"uniform"``: equal priors over the legal moves; the value of a leaf
          is the engine's static evaluation ``s`` (side to move's view)
          squashed to ``tanh(s / 1000)``: a piece up alone is worth 0.12;
        - ``"rollout"``: the same priors; the value of one playout of uniformly
          random moves (+1, -1, or 0 when cut at ``max_plies``).
        """
        if evaluator not in EVALUATORS:
            raise ValueError(f"evaluator must be 'uniform' or 'rollout', got {evaluator!r}")
        self._search.run(evaluator)

    def result(self) -> SearchResult:
        """The finished search's policy, visits, root values and actions (views: see the class)."""
        return SearchResult(*self._search.result())

    def select(self, temperature: float = 0.0) -> npt.NDArray[np.int64]:
        """One move number per game, a new array for :meth:`tovak.vector.Games.step`.

        Temperature 0: the result's ``action`` (the most visited, ties in the
        rules' move order). Otherwise drawn from the game's generator with
        weights ``visits ** (1 / temperature)``. -1 for a game that has ended
        (``step`` ignores it under autoreset).
        """
        return self._search.select(_number("temperature", temperature))


def _check_int(name: str, value: Any, *, low: int) -> None:
    if isinstance(value, bool) or not isinstance(value, int | np.integer):
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}")
    if value < low:
        raise ValueError(f"{name} must be at least {low}, got {value}")


def _number(name: str, value: Any) -> float:
    if isinstance(value, bool) or not isinstance(value, int | float | np.integer | np.floating):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    number = float(value)
    if math.isnan(number):
        raise ValueError(f"{name} must be a number, got nan")
    return number




def _floats(name: str, value: npt.ArrayLike, shape: tuple[int, ...]) -> npt.NDArray[np.float32]:
    array = np.asarray(value)
    if array.dtype.kind != "f":
        raise ValueError(f"{name} must be floating-point numbers, got an array of {array.dtype}")
    if array.shape != shape:
        raise ValueError(f"{name} must have shape {shape} for the {shape[0]} leaves asked, got {array.shape}")
    return np.ascontiguousarray(array, dtype=np.float32)
