"""The part of the two vector environments that does not depend on who plays: games, spaces, autoreset, infos."""

from __future__ import annotations

from typing import Any

import numpy as np
import numpy.typing as npt
from gymnasium.vector import AutoresetMode, VectorEnv
from gymnasium.vector.utils import batch_space

from tovak.vector._games import Games, GamesState
from tovak.vector._seats import Seat
from tovak.vector._spaces import METADATA, action_space, check_render_mode, drawing, observation_space
from tovak.vector._spaces import autoreset_mode as autoreset_mode_of

__all__ = ["GamesVectorEnv"]

Observations = npt.NDArray[np.float32]
Actions = npt.ArrayLike
Rewards = npt.NDArray[Any]


class GamesVectorEnv(VectorEnv[Observations, Actions, Rewards]):
    """A :class:`Games` seen as a Gymnasium vector environment, one sub-environment per game.

    ``seat`` says whose view the observations take, whose reward is
    reported and what the infos add.
    """

    metadata: dict[str, Any] = {**METADATA, "autoreset_mode": AutoresetMode.NEXT_STEP}

    def __init__(
        self,
        num_envs: int,
        *,
        seat: Seat,
        autoreset_mode: AutoresetMode | str,
        render_mode: str | None,
        **games: Any,
    ) -> None:
        mode = autoreset_mode_of(autoreset_mode)
        # Under SameStep the finished games are reset here rather than in C++,
        # so that their last observation is seen first and handed back in
        # infos["final_obs"], as Gymnasium's own vector environments do.
        self._games = Games(num_envs, autoreset="next_step" if mode is AutoresetMode.NEXT_STEP else "disabled", **games)
        self._mode = mode
        self._seat = seat
        self.num_envs = num_envs
        self.metadata = {**type(self).metadata, "autoreset_mode": mode}
        self.render_mode = check_render_mode(render_mode)
        self.single_observation_space = observation_space()
        self.single_action_space = action_space()
        self.observation_space = batch_space(self.single_observation_space, num_envs)
        self.action_space = batch_space(self.single_action_space, num_envs)
        self._state: GamesState | None = None  # the games' state (views that every call updates)

    @property
    def games(self) -> Games:
        """The games underneath, for what the environment does not show (positions, texts)."""
        return self._games

    def reset(
        self, *, seed: int | None = None, options: dict[str, Any] | None = None
    ) -> tuple[Observations, dict[str, Any]]:
        """Start every game afresh (seeding them with ``seed`` if given), or with
        ``options={"reset_mask": m}`` only the games where ``m`` is true (the
        way to go on under ``AutoresetMode.DISABLED``)."""
        super().reset(seed=seed)
        reset_mask = (options or {}).get("reset_mask")
        if reset_mask is not None:
            if seed is not None:
                raise ValueError("reset takes a seed or a reset_mask, not both")
            if self._state is None:
                raise RuntimeError("reset() every game once before resetting some with reset_mask")
            state = self._games.reset_games(reset_mask)
        else:
            state = self._games.reset(seed)
        self._state = state
        observations, masks = self._viewed(state)
        return observations, self._infos(state, masks)

    def step(
        self, actions: Actions
    ) -> tuple[Observations, Rewards, npt.NDArray[np.bool_], npt.NDArray[np.bool_], dict[str, Any]]:
        """One move number per game, as the acting side sees the board (the ``action_mask`` of the infos).

        An illegal action raises ``ValueError`` (naming the game) and changes
        no game. Returns observations, rewards, terminations, truncations and
        infos, all new arrays.
        """
        if self._state is None:
            raise RuntimeError("reset() the environment before the first step()")
        actors = self._seat.actors(self._games, self._state)
        state = self._games.step(actions)
        rewards = state.rewards[np.arange(self.num_envs), actors].astype(np.float64)
        terminated = state.terminated.copy()
        truncated = state.truncated.copy()
        observations, masks = self._viewed(state)
        infos = self._infos(state, masks)
        ended = terminated | truncated
        if self._mode is AutoresetMode.SAME_STEP and ended.any():
            infos = self._final_infos(observations, infos, ended)
            state = self._games.reset_games(ended)
            new_observations, new_masks = self._viewed(state)
            observations[ended] = new_observations[ended]
            infos = {**infos, **self._infos(state, new_masks)}
        return observations, rewards, terminated, truncated, infos

    def render(self) -> tuple[Any, ...] | None:
        """Every game drawn as ``render_mode`` says: pictures, diagrams, or diagrams printed (None)."""
        if self.render_mode is None:
            return None
        drawings = tuple(drawing(self._games.position(i), self.render_mode) for i in range(self.num_envs))
        if self.render_mode == "human":
            for i, diagram in enumerate(drawings):
                print(f"game {i}\n{diagram}")
            return None
        return drawings

    def action_masks(self) -> npt.NDArray[np.bool_]:
        """The legal actions of every game now, ``(num_envs, 4096)`` booleans (a new array).

        The same as the last infos' ``action_mask``, for learners that ask the
        environment for its masks.
        """
        if self._state is None:
            raise RuntimeError("reset() the environment before asking for its action masks")
        return self._viewed(self._state)[1]

    def _viewed(self, state: GamesState) -> tuple[Observations, npt.NDArray[np.bool_]]:
        return self._seat.viewed(self._games, state)

    # --- infos, laid out as Gymnasium's vector environments lay them out ------------

    def _infos(self, state: GamesState, masks: npt.NDArray[np.bool_]) -> dict[str, Any]:
        everyone = np.ones(self.num_envs, dtype=np.bool_)
        infos: dict[str, Any] = {"action_mask": masks, "_action_mask": everyone}
        for key, values in self._seat.infos(self._games, state).items():
            infos[key] = values
            infos[f"_{key}"] = everyone.copy()
        return infos

    def _final_infos(self, observations: Observations, infos: dict[str, Any], ended: npt.NDArray[np.bool_]) -> dict[str, Any]:
        final_obs = np.full(self.num_envs, None, dtype=object)
        for i in np.flatnonzero(ended):
            final_obs[i] = observations[i].copy()
        final_info: dict[str, Any] = {}
        for key, values in infos.items():
            if key.startswith("_"):
                continue
            kept = np.zeros_like(values)
            kept[ended] = values[ended]
            final_info[key] = kept
            final_info[f"_{key}"] = ended.copy()
        return {"final_obs": final_obs, "_final_obs": ended.copy(), "final_info": final_info, "_final_info": ended.copy()}

