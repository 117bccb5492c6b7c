"""Matches between two players: paired openings, failures that cost a game, and an early stop.

Games come in pairs. Pair *k* opens with ``random_plies`` random moves drawn
from the match seed and *k*, then is played twice: game ``2k - 1`` with the
first player as White, game ``2k`` with the colours swapped, so that neither
player gains from a lucky opening. Each game is played from its number alone,
so game *n* of a match is the same game in whichever process plays it, and
with depth-limited players a match is reproducible.

A player that crashes, hangs, plays an illegal move or breaks the protocol
loses that game (see :mod:`tovak.player_failure`); the match goes on. With an
SPRT the match stops as soon as the test decides, after the pair that
decided it (and any games already being played then).
"""

from __future__ import annotations

import multiprocessing
import queue
import random
import signal
import time
from collections.abc import Callable, Iterator
from dataclasses import dataclass, replace

from tovak_python import Position, parse_move_string

from tovak.player_failure import ILLEGAL_MOVE, FailureReason, PlayerFailure
from tovak.player_spec import PlayerSpec
from tovak.players import DEFAULT_MOVE_TIME_MS, Player, make_player
from tovak.selfplay import END_NO_LEGAL_MOVE, END_PLY_LIMIT, GameRecord, MoveChoice, build_ply
from tovak.sprt import SprtSettings
from tovak.match_result import MatchResult, colours_of, tally
from tovak.notation import to_text
from tovak.terms import Color, opponent

__all__ = [
    "Failure",
    "MatchGame",
    "MatchSettings",
    "opening_moves",
    "play_match_game",
    "run_match",
]


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

    def colours(self, number: int) -> tuple[PlayerSpec, PlayerSpec]:
        """(White, Black) of game ``number``."""
        first, second = self.players
        return (first, second) if colours_of(number)[0] == "white" else (second, first)


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
        """The colour that won, or None for an unfinished game."""
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


def play_match_game(settings: MatchSettings, number: int) -> MatchGame:
    """Play game ``number`` of the match; every failure of a player is recorded, none raised."""
    started = time.perf_counter()
    white_spec, black_spec = settings.colours(number)
    position = Position()
    game = MatchGame(
        GameRecord(
            number=number,
            seed=opening_seed(settings.seed, (number + 1) // 2),
            start=to_text(position),
            white_player=white_spec.text,
            black_player=black_spec.text,
        )
    )
    record = game.record
    moves: list[str] = []
    for move in opening_moves(settings, game.pair):
        _record(record, position, move)
        moves.append(move)
    players: dict[Color, Player] = {}
    try:
        sides: tuple[tuple[Color, PlayerSpec], ...] = (("white", white_spec), ("black", black_spec))
        for color, spec in sides:
            try:
                players[color] = make_player(spec, settings.move_time_ms)
            except PlayerFailure as failure:
                _forfeit(game, spec.text, color, failure)
                return _finish(game, position, started)
        while True:
            winner = position.outcome()
            if winner is not None:
                record.winner, record.end_reason = winner, END_NO_LEGAL_MOVE
                break
            if len(record.plies) >= settings.max_plies:
                record.end_reason = END_PLY_LIMIT
                break
            side = position.side_to_move()
            spec = white_spec if side == "white" else black_spec
            try:
                choice = players[side].choose(record.start, moves, position)
                move = _checked_move(position, choice.move)
            except PlayerFailure as failure:
                _forfeit(game, spec.text, side, failure)
                break
            _record(record, position, replace(choice, move=move))
            moves.append(move)
    finally:
        for player in players.values():
            player.close()
    return _finish(game, position, started)


def _checked_move(position: Position, move: str) -> str:
    """The move in canonical form if it is legal here; an illegal-move failure otherwise."""
    try:
        canonical = parse_move_string(move)
        position.copy().apply_move(canonical)
    except ValueError as error:
        raise PlayerFailure(ILLEGAL_MOVE, f"{move!r}: {error}") from None
    return canonical


def _record(record: GameRecord, position: Position, choice: MoveChoice | str) -> None:
    """Add the ply of ``choice`` (a random move's text, or a player's choice) and play it."""
    ply = build_ply(len(record.plies) + 1, to_text(position), position.side_to_move(), choice)
    record.plies.append(ply)
    position.apply_move(ply.move)


def _forfeit(game: MatchGame, player: str, color: Color, failure: PlayerFailure) -> None:
    game.record.winner = opponent(color)
    game.record.end_reason = failure.reason
    game.failure = Failure(player=player, color=color, reason=failure.reason, detail=failure.detail)


def _finish(game: MatchGame, position: Position, started: float) -> MatchGame:
    game.record.final_position = to_text(position)
    game.record.seconds = time.perf_counter() - started
    return game


def _leaves_a_move(position: Position, move: str) -> bool:
    after = position.copy()
    after.apply_move(move)
    return after.outcome() is None


def run_match(
    settings: MatchSettings,
    jobs: int = 1,
    on_game: Callable[[MatchGame], None] | None = None,
) -> MatchResult:
    """Play the match, ``jobs`` games at a time, until its games are played or the SPRT decides.

    ``on_game`` is called in this process for each game as it finishes.
    """
    games: list[MatchGame] = []
    for game in _played_games(settings, jobs, lambda: _decided(settings, games)):
        games.append(game)
        if on_game is not None:
            on_game(game)
    return tally(settings, games)


def _decided(settings: MatchSettings, games: list[MatchGame]) -> bool:
    return settings.sprt is not None and tally(settings, games).sprt is not None


def _played_games(settings: MatchSettings, jobs: int, decided: Callable[[], bool]) -> Iterator[MatchGame]:
    """Games in the order they finish; none is started once ``decided()`` holds."""
    numbers = iter(range(1, settings.games + 1))
    if jobs <= 1:
        for number in numbers:
            yield play_match_game(settings, number)
            if number % 2 == 0 and decided():
                return
        return
    # Fresh interpreters rather than forks: the parent may run threads (the
    # progress bar's monitor), and forking a threaded process is unsafe.
    # Leaving the block terminates the workers at once, so an interrupt or an
    # error does not wait for the games still being played.
    context = multiprocessing.get_context("spawn")
    finished: queue.SimpleQueue[MatchGame | BaseException] = queue.SimpleQueue()
    with context.Pool(processes=jobs, initializer=_leave_interrupts_to_parent) as pool:
        running = 0
        stopping = False
        while True:
            while not stopping and running < jobs:
                upcoming = next(numbers, None)
                if upcoming is None:
                    stopping = True
                    break
                pool.apply_async(
                    play_match_game,
                    (settings, upcoming),
                    callback=finished.put,
                    error_callback=finished.put,
                )
                running += 1
            if running == 0:
                return
            outcome = finished.get()
            running -= 1
            if isinstance(outcome, BaseException):
                raise outcome
            yield outcome
            # Games already being played are let finish and counted; no new one starts.
            stopping = stopping or decided()


def _leave_interrupts_to_parent() -> None:
    # Ctrl-C reaches every process of the terminal's group; only the parent
    # reports it, and it stops the workers.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
