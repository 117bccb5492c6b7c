"""The match runner: each game played from its number alone, here or on a spawn pool, until the SPRT decides."""

from __future__ import annotations

import queue
import time
from collections.abc import Callable, Iterator
from concurrent.futures import Future
from dataclasses import replace

from tovak_python import Position, parse_move_string

from tovak.match.player_failure import ILLEGAL_MOVE, PlayerFailure
from tovak.match.player_spec import PlayerSpec
from tovak.match.players import Player, make_player
from tovak.runs.records import END_NO_LEGAL_MOVE, END_PLY_LIMIT, GameRecord, MoveChoice, build_ply
from tovak.match.result import MatchResult, tally
from tovak.match.settings import Failure, MatchGame, MatchSettings, opening_moves, opening_seed
from tovak.notation import to_text
from tovak.runs.executors import spawn_pool
from tovak.terms import Color, opponent

__all__ = ["play_match_game", "run_match"]


def play_match_game(settings: MatchSettings, number: int) -> MatchGame:
    """Play game ``number`` of the match; every failure of a player is recorded, none raised."""
    started = time.perf_counter()
    white_spec, black_spec = settings.players_by_color(number)
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
    # Each game puts itself here once, as it finishes.
    finished: queue.SimpleQueue[Future[MatchGame]] = queue.SimpleQueue()
    with spawn_pool(jobs) as pool:
        running = 0
        stopping = False
        while True:
            while not stopping and running < jobs:
                upcoming = next(numbers, None)
                if upcoming is None:
                    stopping = True
                    break
                pool.submit(play_match_game, settings, upcoming).add_done_callback(finished.put)
                running += 1
            if running == 0:
                return
            outcome = finished.get()
            running -= 1
            yield outcome.result()
            # Games already being played are let finish and counted; no new one starts.
            stopping = stopping or decided()
