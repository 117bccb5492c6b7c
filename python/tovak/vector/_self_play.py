"""Self-play as Gymnasium environments: the agent plays the side to move, whichever it is."""

from __future__ import annotations

from gymnasium.vector import AutoresetMode
from tovak_python import Position

from tovak.vector._game_env import GameEnv
from tovak.vector._games_vector_env import GamesVectorEnv
from tovak.vector._seats import SelfPlaySeat

__all__ = ["SelfPlayEnv", "SelfPlayVectorEnv"]


class SelfPlayVectorEnv(GamesVectorEnv):
    """``num_envs`` games in C++ in which one agent plays both sides: a Gymnasium vector environment.

    Each step takes one move number per game, as the side to move sees the
    board, and returns

    - observations: float32 ``(num_envs, 3, 8, 8)``, each game's planes from
      the view of the side to move next (:func:`tovak.features.planes`);
    - rewards: float64 ``(num_envs,)``, the reward of the side that made
      the step's move: +1 when that move won the game, else 0;
    - terminations (the side to move has no move and has lost), truncations
      (``max_plies`` reached, no reward);
    - infos: ``action_mask`` (bool ``(num_envs, 4096)``, the legal move
      numbers of the side to move; all false once a game has ended) and
      ``current_player`` (0 White, 1 Black), each with its ``_key`` mask.

    ``autoreset_mode`` (an :class:`~gymnasium.vector.AutoresetMode` or its
    name) is in ``metadata["autoreset_mode"]``: NEXT_STEP (the default; the
    step after a game ended resets it, ignores its action and reports 0 and
    no end), SAME_STEP (the step that ends a game returns the new game's
    observation and mask, the old one's in ``infos["final_obs"]`` and
    ``infos["final_info"]``) or DISABLED (``reset(options={"reset_mask": m}``)
    starts the ended games again). The other arguments are those of
    :class:`Games`. All arrays returned are new; the C++ games go on
    underneath (``games``).
    """

    def __init__(
        self,
        num_envs: int = 1,
        *,
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
            seat=SelfPlaySeat(),
            autoreset_mode=autoreset_mode,
            render_mode=render_mode,
            threads=threads,
            seed=seed,
            start=start,
            random_plies=random_plies,
            max_plies=max_plies,
        )


class SelfPlayEnv(GameEnv):
    """One game of self-play as a Gymnasium environment (the single version of :class:`SelfPlayVectorEnv`).

    Observation, reward and ``info`` (``action_mask``, ``current_player``)
    as one row of the vector environment's; ``action_masks()`` for
    learners that ask for the mask.
    """

    def __init__(
        self,
        *,
        seed: int | None = None,
        start: Position | str | None = None,
        random_plies: int = 0,
        max_plies: int = 200,
        render_mode: str | None = None,
    ) -> None:
        super().__init__(
            seat=SelfPlaySeat(),
            render_mode=render_mode,
            seed=seed,
            start=start,
            random_plies=random_plies,
            max_plies=max_plies,
        )
