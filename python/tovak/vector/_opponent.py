"""Games against an opponent moved in C++, as Gymnasium environments."""

from __future__ import annotations

from gymnasium.vector import AutoresetMode
from tovak_python import Position

from tovak.vector._game_env import GameEnv
from tovak.vector._games import AgentColor
from tovak.vector._games_vector_env import GamesVectorEnv
from tovak.vector._seats import OpponentSeat

__all__ = ["OpponentEnv", "OpponentVectorEnv"]


class OpponentVectorEnv(GamesVectorEnv):
    """``num_envs`` games in C++ of an agent against an opponent: a Gymnasium vector environment.

    The agent plays ``agent_color`` ("white", "black", or "alternate": game
    i's agent has White in its episodes k with i + k even). ``opponent``
    replies inside ``step``, in C++: "random" draws a legal move from the
    game's generator; "engine:depth=D" plays the move that ``tovak match``'s
    ``engine:depth=D`` player chooses. A step is the agent's move and the
    reply; after a reset the opponent opens a game in which the agent is Black.

    - observations: float32 ``(num_envs, 3, 8, 8)``, each game's planes from
      the agent's view (also when a game ends with the opponent to move);
    - rewards: float64 ``(num_envs,)``, the agent's: +1 when the step ended
      the game in its favour, -1 when the reply beat it, else 0;
    - terminations, truncations (``max_plies`` reached, no reward);
    - infos: ``action_mask`` (bool ``(num_envs, 4096)``, the agent's legal
      move numbers; all false once a game has ended) and ``agent_color``
      (0 White, 1 Black), each with its ``_key`` mask.

    ``autoreset_mode`` as for :class:`SelfPlayVectorEnv`; the other arguments
    are those of :class:`Games`. All arrays returned are new.
    """

    def __init__(
        self,
        num_envs: int = 1,
        *,
        opponent: str = "random",
        agent_color: AgentColor = "white",
        threads: int = 1,
        seed: int | None = None,
        start: Position | str | None = None,
        random_plies: int = 0,
        max_plies: int = 200,
        autoreset_mode: AutoresetMode | str = AutoresetMode.NEXT_STEP,
        render_mode: str | None = None,
    ) -> None:
        super().__init__(
            num_envs,
            seat=OpponentSeat(),
            autoreset_mode=autoreset_mode,
            render_mode=render_mode,
            opponent=opponent,
            agent_color=agent_color,
            threads=threads,
            seed=seed,
            start=start,
            random_plies=random_plies,
            max_plies=max_plies,
        )


class OpponentEnv(GameEnv):
    """One game against an opponent as a Gymnasium environment, with ``action_masks()``.

    The single version of :class:`OpponentVectorEnv` (same arguments, one
    row of its results; ``info`` holds ``action_mask`` and ``agent_color``),
    for learners that take one environment with masked actions.
    """

    def __init__(
        self,
        *,
        opponent: str = "random",
        agent_color: AgentColor = "white",
        seed: int | None = None,
        start: Position | str | None = None,
        random_plies: int = 0,
        max_plies: int = 200,
        render_mode: str | None = None,
    ) -> None:
        super().__init__(
            seat=OpponentSeat(),
            render_mode=render_mode,
            opponent=opponent,
            agent_color=agent_color,
            seed=seed,
            start=start,
            random_plies=random_plies,
            max_plies=max_plies,
        )
