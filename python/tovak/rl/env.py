"""The game as a standard multi-agent environment for reinforcement learning.

:func:`env` is a turn-by-turn (AEC) environment with the usual safety
wrappers; :class:`raw_env` is the same environment without them. Agents are
``"white"`` and ``"black"``. An action is a move number ``from * 64 + to``
(0..4095) as the acting agent sees the board (see :mod:`tovak.rl.features`: for
Black the ranks are turned round, so both agents learn the same game). An
observation is a dict with ``observation``, the ``(3, 8, 8)`` float32 planes
from the observing agent's side, and ``action_mask``, an int8 array of 4096
with 1 at each legal move (all zeros when it is not the agent's turn).

The game has no draws: the side left without a legal move loses, which ends
the game with reward +1 for the winner and -1 for the loser. A game that
reaches ``max_plies`` is truncated with no reward.

:meth:`raw_env.render` draws the position as ``render_mode`` says:
``"human"`` prints the text diagram, ``"ansi"`` returns it, ``"rgb_array"``
returns a ``(512, 512, 3)`` uint8 picture of the board in the colours and
layout of its SVG board (:mod:`tovak.rl.picture`), for video recorders.

Resetting with ``options={"position": TEXT}`` starts from a position in the
text form of :mod:`tovak.notation`; ``random_plies`` opens every game with
that many random legal moves, drawn from the generator that ``seed`` seeds.

    >>> from tovak.env import env
    >>> game = env(render_mode="ansi", max_plies=4)
    >>> game.reset(seed=1)
    >>> for agent in game.agent_iter():
    ...     observation, reward, terminated, truncated, info = game.last()
    ...     if terminated or truncated:
    ...         action = None
    ...     else:
    ...         action = int(observation["action_mask"].argmax())  # the first legal move
    ...     game.step(action)
    >>> game.close()
"""

from __future__ import annotations

from typing import Any, Final

from tovak.rl._extra import require_rl_extra

# Before the imports that need the extra, so that its absence is reported as such.
require_rl_extra("tovak.env", "numpy", "gymnasium", "pettingzoo")

import gymnasium
import numpy as np
import numpy.typing as npt
from gymnasium import spaces
from tovak_python import Position

# pettingzoo ships no type information (no py.typed marker), so mypy sees its
# names as Any; the base class below is therefore untyped as well.
from pettingzoo import AECEnv  # type: ignore[import-untyped]
from pettingzoo.utils import wrappers  # type: ignore[import-untyped]

from tovak import _batch
from tovak.notation import from_text
from tovak.rl.features import ACTION_COUNT, PLANE_COUNT, move_of_index
from tovak.rl.picture import board_picture
from tovak.terms import Color, opponent

__all__ = ["DEFAULT_MAX_PLIES", "RENDER_MODES", "Observation", "env", "raw_env"]

DEFAULT_MAX_PLIES: Final = 200
"""Plies after which a game is truncated: without draws, two weak agents may never finish."""

AGENTS: Final[tuple[Color, Color]] = ("white", "black")

RENDER_MODES: Final = ("human", "ansi", "rgb_array")
"""What ``render()`` can draw: the diagram printed or returned, or the board's picture."""

Observation = dict[str, npt.NDArray[Any]]
"""What an agent observes: ``{"observation": planes, "action_mask": mask}``."""


def env(**kwargs: Any) -> Any:
    """The environment with the standard wrappers.

    An illegal action ends the game with reward -1 for the agent that chose it
    (and a warning); an action outside 0..4095 raises; calls out of order
    (``step`` before ``reset``) raise a clear error.
    """
    wrapped = raw_env(**kwargs)
    wrapped = wrappers.TerminateIllegalWrapper(wrapped, illegal_reward=-1)
    wrapped = wrappers.AssertOutOfBoundsWrapper(wrapped)
    return wrappers.OrderEnforcingWrapper(wrapped)


class raw_env(AECEnv):  # type: ignore[misc]  # the base class is untyped (see the import)
    """The environment without wrappers: an illegal action raises ``ValueError``."""

    metadata: dict[str, Any] = {
        "render_modes": list(RENDER_MODES),
        "render_fps": 2,
        "name": "tovak_v0",
        "is_parallelizable": False,
    }

    def __init__(
        self,
        render_mode: str | None = None,
        *,
        max_plies: int = DEFAULT_MAX_PLIES,
        random_plies: int = 0,
    ) -> None:
        super().__init__()
        if render_mode is not None and render_mode not in self.metadata["render_modes"]:
            raise ValueError(f"render_mode must be None, 'human', 'ansi' or 'rgb_array', got {render_mode!r}")
        if max_plies < 1:
            raise ValueError(f"max_plies must be at least 1, got {max_plies}")
        if random_plies < 0:
            raise ValueError(f"random_plies must be at least 0, got {random_plies}")
        self.render_mode = render_mode
        self.max_plies = max_plies
        self.random_plies = random_plies
        self.possible_agents: list[Color] = list(AGENTS)
        # One space object per agent, kept for the environment's life, so that
        # seeding a space once holds for every later sample.
        self.observation_spaces = {agent: _observation_space() for agent in AGENTS}
        self.action_spaces = {agent: spaces.Discrete(ACTION_COUNT) for agent in AGENTS}
        self._rng = np.random.default_rng()
        self.position = Position()
        self.plies = 0
        self._reset_bookkeeping()

    def observation_space(self, agent: Color) -> spaces.Space[Any]:
        return self.observation_spaces[agent]

    def action_space(self, agent: Color) -> spaces.Space[Any]:
        return self.action_spaces[agent]

    def reset(self, seed: int | None = None, options: dict[str, Any] | None = None) -> None:
        """Start a new game: the initial position, or ``options["position"]`` if given."""
        if seed is not None:
            self._rng = np.random.default_rng(seed)
        start = (options or {}).get("position")
        self.position = Position() if start is None else from_text(start)
        self.plies = 0
        for _ in range(self.random_plies):
            moves = self.position.legal_moves()
            if not moves:
                break
            self.position.apply_move(moves[int(self._rng.integers(len(moves)))])
        self._reset_bookkeeping()
        self._settle(rewarded=False)

    def observe(self, agent: Color) -> Observation:
        # The features of tovak.features, from one diagram of the position
        # and written into new arrays: the quickest way through tovak._batch.
        board = self.position.ascii_board("letters")
        side = self.position.side_to_move()
        return {
            "observation": _batch.board_planes(board, side, agent, np.empty(_PLANES_SHAPE, np.float32)),
            "action_mask": _batch.board_legal_mask(board, side, agent, np.empty(ACTION_COUNT, np.int8)),
        }

    def step(self, action: int | None) -> None:
        """Play the current agent's move number ``action``; ``None`` for an agent whose game is over."""
        agent: Color = self.agent_selection
        if self.terminations[agent] or self.truncations[agent]:
            self._was_dead_step(action)
            return
        if action is None:
            raise ValueError(f"{agent} is still playing and needs an action, got None")
        move = move_of_index(action, agent)
        if not self.position.is_legal_move(move):
            raise ValueError(f"action {int(action)} ({move}) is not a legal move for {agent}")
        self._cumulative_rewards[agent] = 0
        self.position.apply_move(move)
        self.plies += 1
        self._settle(rewarded=True)
        self._accumulate_rewards()

    def render(self) -> str | npt.NDArray[np.uint8] | None:
        """The position as ``render_mode`` says (see the module); None for ``"human"``."""
        if self.render_mode is None:
            gymnasium.logger.warn("render() needs a render_mode ('human', 'ansi' or 'rgb_array'); nothing was rendered.")
            return None
        if self.render_mode == "rgb_array":
            return board_picture(self.position)
        diagram = self.position.ascii_board()
        if self.render_mode == "human":
            print(diagram)
            return None
        return diagram

    def close(self) -> None:
        """Nothing to release: the environment holds no outside resources."""

    def _reset_bookkeeping(self) -> None:
        self.agents: list[Color] = list(AGENTS)
        self.rewards = {agent: 0.0 for agent in AGENTS}
        self._cumulative_rewards = {agent: 0.0 for agent in AGENTS}
        self.terminations = {agent: False for agent in AGENTS}
        self.truncations = {agent: False for agent in AGENTS}
        self.infos: dict[Color, dict[str, Any]] = {agent: {} for agent in AGENTS}
        self.agent_selection: Color = self.position.side_to_move()

    def _settle(self, *, rewarded: bool) -> None:
        """Hand the turn to the side to move and end the game if it is over.

        A game that is already over when it starts (a finished start position)
        ends without rewards: nobody played a move.
        """
        self.agent_selection = self.position.side_to_move()
        self.rewards = {agent: 0.0 for agent in self.agents}
        winner = self.position.outcome()
        if winner is not None:
            if rewarded:
                self.rewards[winner] = 1.0
                self.rewards[opponent(winner)] = -1.0
            self.terminations = {agent: True for agent in self.agents}
        elif self.plies >= self.max_plies:
            self.truncations = {agent: True for agent in self.agents}


_PLANES_SHAPE: Final = (PLANE_COUNT, 8, 8)


def _observation_space() -> spaces.Dict:
    return spaces.Dict(
        {
            "observation": spaces.Box(0.0, 1.0, _PLANES_SHAPE, dtype=np.float32),
            "action_mask": spaces.Box(0, 1, (ACTION_COUNT,), dtype=np.int8),
        }
    )
