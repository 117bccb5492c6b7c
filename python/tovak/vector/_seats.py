"""Whose game it is: the two ways the Gymnasium environments read a :class:`Games` state.

- self-play (:class:`SelfPlaySeat`): the agent is whoever is to move; the
  reward is that of the side that made the step's move;
- against an opponent (:class:`OpponentSeat`): the agent is one side of each
  game, moved by the learner while the opponent replies in C++; observation,
  mask and reward are always the agent's, even when a game ends with the
  opponent to move (the agent won, or the ply limit came on its move).
"""

from __future__ import annotations

from typing import Any, Protocol

import numpy as np
import numpy.typing as npt

from tovak.vector._games import Games, GamesState
from tovak.vector._spaces import seen_by_the_other_side

__all__ = ["OpponentSeat", "Seat", "SelfPlaySeat"]


class Seat(Protocol):
    """How an environment reads the games."""

    def actors(self, games: Games, state: GamesState) -> npt.NDArray[np.int8]:
        """The colour (0 White, 1 Black) whose reward a step reports, read before the step."""

    def viewed(self, games: Games, state: GamesState) -> tuple[npt.NDArray[np.float32], npt.NDArray[np.bool_]]:
        """New arrays of every game's observation and legal-action mask, from the acting side's view."""

    def infos(self, games: Games, state: GamesState) -> dict[str, npt.NDArray[Any]]:
        """What the infos add to the mask, one row per game."""


class SelfPlaySeat:
    """The agent plays the side to move in every game."""

    def actors(self, games: Games, state: GamesState) -> npt.NDArray[np.int8]:
        """The side to move: the one whose move the step makes."""
        return state.current_player.copy()

    def viewed(self, games: Games, state: GamesState) -> tuple[npt.NDArray[np.float32], npt.NDArray[np.bool_]]:
        """The games' own observations and masks: they are the mover's (no legal move once ended)."""
        return state.observation.copy(), _without_ended(state, state.legal_action_mask.copy())

    def infos(self, games: Games, state: GamesState) -> dict[str, npt.NDArray[Any]]:
        """``current_player``: the side to move now, 0 White, 1 Black."""
        return {"current_player": state.current_player.astype(np.int64)}


class OpponentSeat:
    """The agent plays one side of every game; an opponent moved in C++ plays the other."""

    def actors(self, games: Games, state: GamesState) -> npt.NDArray[np.int8]:
        """The agent's colour in each game's current episode."""
        return games.agent_colors()

    def viewed(self, games: Games, state: GamesState) -> tuple[npt.NDArray[np.float32], npt.NDArray[np.bool_]]:
        """The agent's view; where the opponent is to move (a game that has ended), turned to the agent's."""
        observations = state.observation.copy()
        masks = state.legal_action_mask.copy()
        waiting = state.current_player != games.agent_colors()
        if waiting.any():
            observations[waiting] = seen_by_the_other_side(observations[waiting])
            masks[waiting] = False  # the agent is not to move: no legal action
        return observations, _without_ended(state, masks)

    def infos(self, games: Games, state: GamesState) -> dict[str, npt.NDArray[Any]]:
        """``agent_color``: the agent's colour in each game's episode, 0 White, 1 Black."""
        return {"agent_color": games.agent_colors().astype(np.int64)}


def _without_ended(state: GamesState, masks: npt.NDArray[np.bool_]) -> npt.NDArray[np.bool_]:
    """``masks`` with no legal action in a game that has ended.

    A game cut at the ply limit still has moves in its position, but the next
    step ignores its action (or refuses it): its mask must not offer any.
    """
    masks[state.terminated | state.truncated] = False
    return masks
