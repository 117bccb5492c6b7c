"""The record of a game as runs keep it: its plies, its result, who played.

Self-play and matches build their plies with :func:`build_ply` alone, so a
ply records the same figures whoever chose its move; the dataset stores
records and its reader gives them back.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Literal

from tovak.terms import Color

__all__ = [
    "END_NO_LEGAL_MOVE",
    "END_PLY_LIMIT",
    "ChosenBy",
    "GameRecord",
    "MoveChoice",
    "PlyRecord",
    "build_ply",
    "game_seed",
]

END_NO_LEGAL_MOVE = "no legal move"
"""The ``end_reason`` of a game won because the side to move had no legal move."""
END_PLY_LIMIT = "ply limit"
"""The ``end_reason`` of a game cut off unfinished at its ply limit."""

ChosenBy = Literal["random", "engine"]
"""Who chose a ply's move: the random opening or a player (the engine, in self-play)."""


@dataclass(frozen=True)
class PlyRecord:
    """One ply: the position before it, the move and who chose it.

    The engine's figures are None for a random ply.
    """

    ply: int
    position: str
    side: Color
    move: str
    chosen_by: ChosenBy
    score: int | None = None
    depth: int | None = None
    nodes: int | None = None
    quiescence_nodes: int | None = None


@dataclass(frozen=True)
class MoveChoice:
    """A move chosen by the engine or a player, with the search figures it
    reported (None where it gave none)."""

    move: str
    score: int | None = None
    depth: int | None = None
    nodes: int | None = None
    quiescence_nodes: int | None = None


def build_ply(ply: int, position: str, side: Color, choice: MoveChoice | str) -> PlyRecord:
    """Ply number ``ply``, played by ``side`` from ``position`` (its text):
    a random move when ``choice`` is a move text, otherwise the choice of the
    engine or of a player, with its figures."""
    if isinstance(choice, str):
        return PlyRecord(ply=ply, position=position, side=side, move=choice, chosen_by="random")
    return PlyRecord(
        ply=ply,
        position=position,
        side=side,
        move=choice.move,
        chosen_by="engine",
        score=choice.score,
        depth=choice.depth,
        nodes=choice.nodes,
        quiescence_nodes=choice.quiescence_nodes,
    )


@dataclass
class GameRecord:
    """A finished (or cut-off) game.

    ``winner`` is None only when the game ended without a result (in
    self-play, when it reached ``max_plies``): the game itself has no draws.
    ``end_reason`` says why it ended, in words ("no legal move", "ply limit";
    a match may add its own). The players are named only where they differ
    from the engine playing itself.
    """

    number: int
    seed: str
    start: str
    plies: list[PlyRecord] = field(default_factory=list)
    final_position: str = ""
    winner: Color | None = None
    end_reason: str = END_NO_LEGAL_MOVE
    seconds: float = 0.0
    white_player: str | None = None
    black_player: str | None = None


def game_seed(run_seed: int, number: int) -> str:
    """The seed of game ``number`` of a run. A text seed gives the same
    sequence in every process, whatever the hash randomization."""
    return f"tovak-selfplay:{run_seed}:{number}"
