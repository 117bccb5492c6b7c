"""A match's settings and games: paired openings with colors swapped.

Games come in pairs. Pair *k* opens with ``random_plies`` random moves drawn
from the match seed and *k*, then is played twice: game ``2k - 1`` with the
first player as White, game ``2k`` with the colors swapped, so that neither
player gains from a lucky opening. Each game is played from its number alone,
so game *n* of a match is the same game in whichever process plays it, and
with depth-limited players a match is reproducible.

A player that crashes, hangs, plays an illegal move or breaks the protocol
loses that game (see :mod:`tovak.match.player_failure`); the match goes on. With an
SPRT the match stops as soon as the test decides, after the pair that
decided it (and any games already being played then).
"""

from __future__ import annotations

import random
from dataclasses import dataclass

from tovak_python import Position

from tovak.match.player_failure import FailureReason
from tovak.match.player_spec import PlayerSpec
from tovak.match.players import DEFAULT_MOVE_TIME_MS
from tovak.match.sprt import SprtSettings
from tovak.runs.records import GameRecord
from tovak.terms import Color

__all__ = ["Failure", "MatchGame", "MatchSettings", "colors_by_player", "opening_moves", "opening_seed"]


@dataclass(frozen=True)
class MatchSettings:
    """Everything that decides a match's games apart from their numbers."""

    players: tuple[PlayerSpec, PlayerSpec]
    games: int = 20
    seed: int = 0
    random_plies: int = 4
    max_plies: int = 200
    move_time_ms: int = DEFAULT_MOVE_TIME_MS
    sprt: SprtSettings | None = None

    def __post_init__(self) -> None:
        if self.games < 2 or self.games % 2:
            raise ValueError(f"a match plays every opening twice, so games must be even and at least 2, got {self.games}")

    def players_by_color(self, number: int) -> tuple[PlayerSpec, PlayerSpec]:
        """(White, Black) of game ``number``."""
        first, second = self.players
        return (first, second) if colors_by_player(number)[0] == "white" else (second, first)


@dataclass(frozen=True)
class Failure:
    """Why a player lost a game without being beaten over the board."""

    player: str
    color: Color
    reason: FailureReason
    detail: str


@dataclass
class MatchGame:
    """One game of a match: its record as the dataset stores it, and the failure that ended it, if any.

    In the record the players are named (``white_player``, ``black_player``);
    plies the players chose are marked ``engine`` (chosen by the player named
    for that side) and the opening's ``random``.
    """

    record: GameRecord
    failure: Failure | None = None

    @property
    def number(self) -> int:
        """The game's number in the match, from 1."""
        return self.record.number

    @property
    def pair(self) -> int:
        """The number of the opening the game shares with its partner game."""
        return (self.record.number + 1) // 2

    @property
    def winner(self) -> Color | None:
        """The color that won, or None for an unfinished game."""
        return self.record.winner


def opening_seed(run_seed: int, pair: int) -> str:
    """The seed of the random opening of ``pair``, recorded as both its games' seed."""
    return f"tovak-match:{run_seed}:{pair}"


def opening_moves(settings: MatchSettings, pair: int) -> list[str]:
    """The random moves that open both games of ``pair``.

    A move that would leave the opponent without a move is passed over while
    there is another, so that the players get to play.
    """
    rng = random.Random(opening_seed(settings.seed, pair))
    position = Position()
    moves: list[str] = []
    for _ in range(min(settings.random_plies, settings.max_plies)):
        candidates = position.legal_moves()
        if not candidates:
            break
        lasting = [move for move in candidates if _leaves_a_move(position, move)]
        move = rng.choice(lasting or candidates)
        position.apply_move(move)
        moves.append(move)
    return moves


def colors_by_player(number: int) -> tuple[Color, Color]:
    """The colors of the first and the second player in game ``number``: the first is White in odd games."""
    return ("white", "black") if number % 2 else ("black", "white")


def _leaves_a_move(position: Position, move: str) -> bool:
    after = position.copy()
    after.apply_move(move)
    return after.outcome() is None
