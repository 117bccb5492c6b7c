"""One game as a Gymnasium environment, read through a seat (:mod:`tovak.vector._seats`)."""

from __future__ import annotations

from typing import Any, SupportsInt

import gymnasium
import numpy as np
import numpy.typing as npt

from tovak.rl.features import ACTION_COUNT
from tovak.vector._games import Games, GamesState
from tovak.vector._seats import Seat
from tovak.vector._spaces import METADATA, action_space, check_render_mode, drawing, observation_space

__all__ = ["GameEnv"]

Observation = npt.NDArray[np.float32]


# Env[ObsType] is parametrised by the space's sample type, which a float32 Box spells as any array.
class GameEnv(gymnasium.Env[npt.NDArray[Any], SupportsInt]):
    """A single game held in a one-game :class:`Games`, for learners that take one environment.

    An action that is not a legal move ends the episode as a loss: reward -1,
    ``terminated``, and ``info["illegal_action"]`` true (a learner that
    follows ``action_masks()`` never plays one). Stepping an episode that
    has ended raises until :meth:`reset`.
    """

    metadata: dict[str, Any] = dict(METADATA)

    def __init__(self, *, seat: Seat, render_mode: str | None, **games: Any) -> None:
        self.render_mode = check_render_mode(render_mode)
        self.observation_space = observation_space()
        self.action_space = action_space()
        self._games = Games(1, autoreset="disabled", **games)
        self._seat = seat
        self._state: GamesState | None = None
        self._ended = False

    @property
    def games(self) -> Games:
        """The one-game batch underneath, for what the environment does not show (the position)."""
        return self._games

    def reset(self, *, seed: int | None = None, options: dict[str, Any] | None = None) -> tuple[Observation, dict[str, Any]]:
        """Start a new episode, first seeding the game's generator with ``seed`` if given."""
        super().reset(seed=seed)
        self._state = self._games.reset(seed)
        self._ended = bool(self._state.terminated[0] or self._state.truncated[0])
        observation, mask = self._viewed(self._state)
        return observation, self._info(self._state, mask)

    def step(self, action: SupportsInt) -> tuple[Observation, float, bool, bool, dict[str, Any]]:
        """Play move number ``action`` (as the acting side sees the board), then the opponent's reply if any."""
        state = self._state
        if state is None:
            raise RuntimeError("reset() the environment before the first step()")
        if self._ended:
            raise RuntimeError("the episode has ended: reset() before stepping again")
        number = int(action)
        if not 0 <= number < ACTION_COUNT:
            raise ValueError(f"action must be a move number from 0 to {ACTION_COUNT - 1}, got {action!r}")
        observation, mask = self._viewed(state)
        if not mask[number]:
            self._ended = True
            no_moves = np.zeros_like(mask)  # the episode is over: nothing is legal
            return observation, -1.0, True, False, {**self._info(state, no_moves), "illegal_action": True}
        actor = int(self._seat.actors(self._games, state)[0])
        state = self._games.step(np.array([number], dtype=np.int64))
        terminated, truncated = bool(state.terminated[0]), bool(state.truncated[0])
        self._ended = terminated or truncated
        observation, mask = self._viewed(state)
        return observation, float(state.rewards[0, actor]), terminated, truncated, self._info(state, mask)

    def action_masks(self) -> npt.NDArray[np.bool_]:
        """The legal actions now: 4096 booleans, a new array (all false once the episode has ended)."""
        if self._state is None:
            raise RuntimeError("reset() the environment before asking for its action masks")
        mask = self._viewed(self._state)[1]
        if self._ended:
            mask[:] = False
        return mask

    def render(self) -> Any:
        """The position as ``render_mode`` says: its picture, its diagram, or the diagram printed (None)."""
        if self.render_mode is None:
            gymnasium.logger.warn("render() needs a render_mode ('human', 'ansi' or 'rgb_array'); nothing was rendered.")
            return None
        drawn = drawing(self._games.position(0), self.render_mode)
        if self.render_mode == "human":
            print(drawn)
            return None
        return drawn

    def _viewed(self, state: GamesState) -> tuple[Observation, npt.NDArray[np.bool_]]:
        observations, masks = self._seat.viewed(self._games, state)
        return observations[0], masks[0]

    def _info(self, state: GamesState, mask: npt.NDArray[np.bool_]) -> dict[str, Any]:
        info: dict[str, Any] = {"action_mask": mask}
        for key, values in self._seat.infos(self._games, state).items():
            info[key] = int(values[0])
        return info
