"""The players of a match: the built-in engine, the tree search, and programs that speak the line protocol.

A player is asked for one move at a time and given the whole game so far
(the start position and the moves played), so that a program keeping its own
state can follow along. The engine plays in this process: its searches are
bounded by their own limits and cannot hang; so does the tree search with a
built-in evaluator, bounded by its simulations. Python functions, tree
searches with a Python network and external programs run as child processes
(:class:`tovak.match._player_process.PlayerProcess`), one per game, so that
a crash, a hang or garbage on their output costs them the game and nothing
else.

The match's move time is what such a player is given in each ``go``; a
player that has not answered after :func:`hang_seconds` of it is taken to
have hung.
"""

from __future__ import annotations

import sys
import time
from collections.abc import Sequence
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any, Final, Protocol

from tovak_python import Position

from tovak.analysis import SearchLimits, search
from tovak.match.player_failure import ILLEGAL_MOVE, PROTOCOL_ERROR, PlayerFailure
from tovak.match._player_process import PlayerProcess
from tovak.match.player_spec import PlayerSpec
from tovak.protocol.lines import PROTOCOL_VERSION
from tovak.runs.records import MoveChoice

if TYPE_CHECKING:
    from tovak.mcts import Evaluator

__all__ = [
    "DEFAULT_MOVE_TIME_MS",
    "EnginePlayer",
    "Player",
    "ProtocolPlayer",
    "SearchMovePlayer",
    "hang_seconds",
    "make_player",
]

DEFAULT_MOVE_TIME_MS: Final = 1000
"""The time per move, in milliseconds, given to a player when the match sets none."""
HANG_FACTOR: Final = 10
HANG_GRACE_SECONDS: Final = 2.0
STARTUP_SECONDS: Final = 30.0
"""How long a program may take to start and answer ``hello`` (an interpreter loading its libraries)."""


def hang_seconds(move_time_ms: int) -> float:
    """How long a player may take for a move before it has hung: a generous multiple of its time.

    The fixed grace covers starting work on a loaded machine, where a short
    move time would otherwise count a scheduling delay as a hang.
    """
    return HANG_FACTOR * move_time_ms / 1000 + HANG_GRACE_SECONDS


class Player(Protocol):
    """What the match runner needs of a player."""

    def choose(self, start: str, moves: Sequence[str], position: Position) -> MoveChoice:
        """The move for ``position``, reached by ``moves`` from ``start``; ``PlayerFailure`` if none comes."""

    def close(self) -> None:
        """Release what the player holds (end its process)."""


class EnginePlayer:
    """The built-in engine, searching in this process within fixed limits."""

    def __init__(self, limits: SearchLimits) -> None:
        self.limits = limits

    def choose(self, start: str, moves: Sequence[str], position: Position) -> MoveChoice:
        """The engine's best move within its limits, with the search's figures."""
        report = search(position, self.limits)
        if report.best_move is None:
            # The runner asks only when there is a move, and the engine always gives one then.
            raise RuntimeError(f"the engine returned no move for a position with {report.root_legal_moves} moves")
        return MoveChoice(
            move=report.best_move,
            score=report.score,
            depth=report.completed_depth,
            nodes=report.nodes,
            quiescence_nodes=report.quiescence_nodes,
        )

    def close(self) -> None:
        """Nothing to release: the engine searches in this process."""


class SearchMovePlayer:
    """The tree search with a built-in evaluator, in this process (its simulations bound its time)."""

    def __init__(self, simulations: int, evaluator: Evaluator) -> None:
        # The tree search needs the rl extra; matches of other players do not.
        from tovak.mcts import SearchPlayer

        self._player = SearchPlayer(simulations, evaluator=evaluator)

    def choose(self, start: str, moves: Sequence[str], position: Position) -> MoveChoice:
        """The search's most visited move."""
        return MoveChoice(move=self._player.move(position))

    def close(self) -> None:
        """Nothing to release: the search runs in this process."""


class ProtocolPlayer:
    """A program speaking the line protocol, started now and greeted with ``hello``."""

    def __init__(self, argv: Sequence[str], move_time_ms: int) -> None:
        self.move_time_ms = move_time_ms
        self._process = PlayerProcess(argv)
        try:
            self._process.send({"cmd": "hello"})
            hello = self._await("hello", time.monotonic() + STARTUP_SECONDS)
            if hello.get("protocol") != PROTOCOL_VERSION:
                raise PlayerFailure(
                    PROTOCOL_ERROR, f"speaks protocol {hello.get('protocol')!r}, not {PROTOCOL_VERSION}"
                )
        except BaseException:
            self._process.close()
            raise

    def choose(self, start: str, moves: Sequence[str], position: Position) -> MoveChoice:
        """Send the game and ``go``, and wait for the ``bestmove`` as long as the hang rule allows."""
        self._process.send({"cmd": "position", "position": start, "moves": list(moves)})
        self._process.send({"cmd": "go", "time_ms": self.move_time_ms})
        answer = self._await("bestmove", time.monotonic() + hang_seconds(self.move_time_ms))
        move = answer.get("move")
        if not isinstance(move, str):
            raise PlayerFailure(ILLEGAL_MOVE, f"gave no move ({move!r}) in a position with legal moves")
        return MoveChoice(
            move=move,
            score=_optional_int(answer.get("score")),
            depth=_optional_int(answer.get("depth")),
        )

    def close(self) -> None:
        """Ask the program to quit, and end it if it does not."""
        self._process.close()

    def _await(self, kind: str, deadline: float) -> dict[str, Any]:
        """Read events up to the first of ``kind``; ``info`` and unknown events are passed over."""
        while True:
            event = self._process.read_event(deadline)
            if event["event"] == kind:
                return event
            if event["event"] == "error":
                raise PlayerFailure(PROTOCOL_ERROR, f"answered with an error: {event.get('message')!r}")


def make_player(spec: PlayerSpec, move_time_ms: int) -> Player:
    """Start the player ``spec`` names; ``PlayerFailure`` if it cannot play."""
    if spec.kind == "engine":
        return EnginePlayer(spec.limits)
    if spec.kind == "python":
        return ProtocolPlayer([sys.executable, "-m", "tovak.protocol.function_server", spec.function], move_time_ms)
    if spec.kind == "mcts":
        return SearchMovePlayer(spec.simulations, "rollout" if spec.evaluator == "rollout" else "uniform")
    if spec.kind == "mcts-python":
        # The user's network runs in a process of its own, as python: players do.
        return ProtocolPlayer([sys.executable, "-m", "tovak", "engine", "--player", spec.text], move_time_ms)
    return ProtocolPlayer(spec.argv, move_time_ms)


def _optional_int(value: object) -> int | None:
    return value if isinstance(value, int) and not isinstance(value, bool) else None
