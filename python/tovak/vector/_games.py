"""The batched games: argument checks and numpy views around :mod:`tovak._batch`."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any, Final, Literal

import numpy as np
import numpy.typing as npt
from tovak_python import Position

from tovak import _batch
from tovak.vector._seeds import checked_seed
from tovak.notation import SQUARES, from_text, to_text

__all__ = ["AUTORESET_MODES", "AgentColor", "AutoReset", "Games", "GamesState"]

AutoReset = Literal["next_step", "same_step", "disabled"]
"""The names of the autoreset modes (Gymnasium's)."""
AgentColor = Literal["white", "black", "alternate"]
"""The colour the agent plays against an opponent; "alternate" changes it every episode."""

AUTORESET_MODES: Final[tuple[AutoReset, ...]] = ("next_step", "same_step", "disabled")
"""What a step does with a game that has ended (see :class:`Games`)."""

_ACTION_COUNT: Final = 64 * 64
_MAX_ENGINE_DEPTH: Final = 255


@dataclass(frozen=True)
class GamesState:
    """The state of every game after a call, one row per game.

    The arrays are read-only views of buffers that the next call of the same
    :class:`Games` (``reset``, ``step``, ``set_position``...) overwrites in
    place: a learner that keeps observations, masks or rewards across steps
    must keep :meth:`copy` of them.

    - ``observation``: float32 ``(N, 3, 8, 8)``, :func:`tovak.features.planes`
      of each game from the side to move's view;
    - ``legal_action_mask``: bool ``(N, 4096)``, :func:`tovak.features.legal_mask`
      of each game (move numbers as the side to move sees the board);
    - ``current_player``: int8 ``(N,)``, 0 when White is to move, 1 for Black;
    - ``rewards``: float32 ``(N, 2)``, White's and Black's reward for the last
      step: +1 and -1 when that step ended the game, else 0;
    - ``terminated``: bool ``(N,)``, the last step ended the game (the side to
      move has no legal move and has lost);
    - ``truncated``: bool ``(N,)``, the game reached ``max_plies`` unfinished
      (no reward);
    - ``plies``: int32 ``(N,)``, moves played since the game's reset (the
      random opening not counted).
    """

    observation: npt.NDArray[np.float32]
    legal_action_mask: npt.NDArray[np.bool_]
    current_player: npt.NDArray[np.int8]
    rewards: npt.NDArray[np.float32]
    terminated: npt.NDArray[np.bool_]
    truncated: npt.NDArray[np.bool_]
    plies: npt.NDArray[np.int32]

    def copy(self) -> GamesState:
        """A state of its own, with copies of the arrays that later calls leave alone."""
        return GamesState(
            observation=self.observation.copy(),
            legal_action_mask=self.legal_action_mask.copy(),
            current_player=self.current_player.copy(),
            rewards=self.rewards.copy(),
            terminated=self.terminated.copy(),
            truncated=self.truncated.copy(),
            plies=self.plies.copy(),
        )


class Games:
    """``num_games`` games held and stepped in C++, their state handed back as numpy arrays.

    - ``threads``: worker threads that share the games of every call (a pool
      started once); results never depend on it.
    - ``seed``: seeds the generator of each game (from the seed and the
      game's index); None draws a seed from the system.
    - ``start``: the position every game starts from (a
      ``tovak_python.Position`` or a position text of :mod:`tovak.notation`),
      then ``random_plies`` random legal moves open it (fewer if it ends).
    - ``max_plies``: a game that reaches that many plies unfinished is truncated.
    - ``autoreset``, what a step does with a game that has ended:
      ``"next_step"`` (the default) reports the end, then the next step resets
      that game, ignores its action and reports reward 0 and no end for it;
      ``"same_step"`` reports the end (rewards and flags) together with the
      new game's observation, mask and plies; ``"disabled"`` leaves it ended,
      and stepping it raises until :meth:`reset` or :meth:`reset_games`.

    With ``opponent`` (``"random"`` or ``"engine:depth=D"``) the games are an
    agent's against an opponent that replies inside :meth:`step`, in C++:
    ``"random"`` draws its move from the game's generator, ``"engine:depth=D"``
    plays the move that ``tovak match``'s ``engine:depth=D`` player chooses.
    The agent plays ``agent_color`` (``"alternate"``: game i's agent has White
    in its episodes k with i + k even, counting from the last seeding); a step
    is the agent's move and the reply, and the opponent opens a game in which
    the agent is Black.

    Not for two threads at once: a second thread calling in waits until the
    first call has finished (the games are never seen half stepped). The
    calls that step release the interpreter lock.
    """

    def __init__(
        self,
        num_games: int,
        *,
        threads: int = 1,
        seed: int | None = None,
        start: Position | str | None = None,
        random_plies: int = 0,
        max_plies: int = 200,
        autoreset: AutoReset = "next_step",
        opponent: str | None = None,
        agent_color: AgentColor = "white",
    ) -> None:
        _check_int("num_games", num_games, low=1)
        _check_int("threads", threads, low=1)
        _check_int("random_plies", random_plies, low=0)
        _check_int("max_plies", max_plies, low=1)
        if autoreset not in AUTORESET_MODES:
            raise ValueError(f"autoreset must be 'next_step', 'same_step' or 'disabled', got {autoreset!r}")
        if agent_color not in ("white", "black", "alternate"):
            raise ValueError(f"agent_color must be 'white', 'black' or 'alternate', got {agent_color!r}")
        opponent_kind, opponent_depth = _opponent(opponent)
        start_position = _start_position(start)
        white, black = _batch.board_sets(start_position.ascii_board("letters"))
        self._num_games = num_games
        self._autoreset: AutoReset = autoreset
        self._games = _batch.Games(
            num_games,
            threads,
            checked_seed(seed),
            white,
            black,
            start_position.side_to_move(),
            random_plies,
            max_plies,
            autoreset,
            opponent_kind,
            opponent_depth,
            agent_color,
        )
        self._state = GamesState(*self._games.views())

    def __len__(self) -> int:
        return self._num_games

    @property
    def num_games(self) -> int:
        """How many games the batch holds."""
        return self._num_games

    @property
    def threads(self) -> int:
        """How many threads share the work of each call (the caller's included)."""
        return self._games.threads

    @property
    def autoreset(self) -> AutoReset:
        """What a step does with a game that has ended (see the class)."""
        return self._autoreset

    def reset(self, seed: int | None = None) -> GamesState:
        """Start every game afresh; with ``seed``, seed every game's generator first.

        Rewards are 0; ``terminated`` is set only for a game whose start
        (after its random opening) has no legal move.
        """
        self._games.reset(None if seed is None else checked_seed(seed))
        return self._state

    def reset_games(self, games: npt.ArrayLike) -> GamesState:
        """Start afresh the games whose entry in ``games`` (N booleans) is true; the others go on.

        For ``autoreset="disabled"``, where ended games wait for it. Rewards
        are 0 in the state returned.
        """
        which = np.asarray(games)
        if which.dtype != np.bool_:
            raise TypeError(f"games must be an array of booleans, got {which.dtype}")
        if which.shape != (self._num_games,):
            raise ValueError(f"games must have one entry per game ({self._num_games}), got shape {which.shape}")
        self._games.reset_games(np.ascontiguousarray(which))
        return self._state

    def step(self, actions: npt.ArrayLike) -> GamesState:
        """Play one move number per game (as the side to move sees the board) and return the state.

        ``ValueError`` for a wrong number of actions, an action that is not a
        move number 0..4095 or not a legal move (it names the game and the
        move), or, with ``autoreset="disabled"``, an action for an ended game;
        ``TypeError`` for actions that are not integers. A refused step
        changes no game. Under ``"next_step"`` and ``"same_step"`` the action
        of a game that has ended is ignored, whatever it is.
        """
        self._games.step(self._checked_actions(actions))
        return self._state

    def sample_actions(self) -> npt.NDArray[np.int64]:
        """One uniformly random legal action per game (0 for a game that has ended), a new array.

        Drawn from the games' own generators, so a seeded run is reproducible.
        """
        return self._games.sample_actions()

    def agent_colors(self) -> npt.NDArray[np.int8]:
        """With an opponent: the agent's colour in each game's current episode (0 White, 1 Black)."""
        return self._games.agent_colors()

    def position(self, game: int) -> Position:
        """A copy of the position of game ``game``."""
        white, black, side = self._games.position_sets(self._checked_index(game))
        position = Position.empty("black" if side else "white")
        for color, squares in (("white", white), ("black", black)):
            for index, name in enumerate(SQUARES):
                if squares >> index & 1:
                    position.set_piece(color, name)
        return position

    def to_text(self, game: int) -> str:
        """The position text (:mod:`tovak.notation`) of game ``game``."""
        return to_text(self.position(game))

    def set_position(self, game: int, text: str) -> None:
        """Game ``game`` goes on from the position ``text`` with 0 plies, until its next reset.

        The views of the last state are rewritten: that game's row shows the
        new position, with reward 0 (and ``terminated`` if it has no move).
        """
        index = self._checked_index(game)
        position = from_text(text)
        white, black = _batch.board_sets(position.ascii_board("letters"))
        self._games.set_position(index, white, black, position.side_to_move())

    def _checked_index(self, game: int) -> int:
        if isinstance(game, bool) or not isinstance(game, int | np.integer):
            raise TypeError(f"game must be an integer index, not {type(game).__name__}")
        if not 0 <= game < self._num_games:
            raise IndexError(f"game index {game} is out of range for {self._num_games} games")
        return int(game)

    def _checked_actions(self, actions: npt.ArrayLike) -> npt.NDArray[np.int64]:
        chosen = np.asarray(actions)
        if chosen.dtype.kind not in "iu":
            raise TypeError(f"actions must be integers (move numbers 0..4095), got an array of {chosen.dtype}")
        if chosen.ndim != 1:
            raise ValueError(
                f"actions must be a 1-D array of {self._num_games} move numbers, one per game, "
                f"got shape {chosen.shape}"
            )
        if chosen.dtype.kind == "u":
            # Numbers past the int64 range would wrap; none is a move number.
            too_large = np.flatnonzero(chosen > np.iinfo(np.int64).max)
            if too_large.size:
                game = int(too_large[0])
                raise ValueError(
                    f"game {game}: action {int(chosen[game])} is not a move number (0 to {_ACTION_COUNT - 1})"
                )
        return np.ascontiguousarray(chosen, dtype=np.int64)


def _check_int(name: str, value: Any, *, low: int) -> None:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}")
    if value < low:
        raise ValueError(f"{name} must be at least {low}, got {value}")




def _start_position(start: Position | str | None) -> Position:
    if start is None:
        return Position()
    if isinstance(start, Position):
        return start
    if isinstance(start, str):
        return from_text(start)
    raise TypeError(f"start must be a tovak_python.Position, a position text or None, not {type(start).__name__}")


def _opponent(text: str | None) -> tuple[str | None, int]:
    """The opponent's kind and depth for the module: ("random", 0), ("engine", D) or (None, 0)."""
    if text is None:
        return None, 0
    if text == "random":
        return "random", 0
    kind, _, option = text.partition(":")
    name, _, value = option.partition("=")
    if kind == "engine" and name == "depth" and value.isdigit() and value.isascii():
        depth = int(value)
        if 1 <= depth <= _MAX_ENGINE_DEPTH:
            return "engine", depth
    raise ValueError(f"opponent must be None, 'random' or 'engine:depth=D' with D from 1 to 255, got {text!r}")
