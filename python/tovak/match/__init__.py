"""Matches between two players: paired openings, failures that cost a game, Elo and SPRT.

- :mod:`tovak.match.settings`: ``MatchSettings`` (the players, the games, the
  openings) and ``MatchGame``, a game with the failure that ended it;
- :mod:`tovak.match.runner`: ``run_match`` and ``play_match_game``, here or on
  a pool of local processes;
- :mod:`tovak.match.result`: ``MatchResult``, the tally of the games, with
  :mod:`tovak.match.elo` (the Elo difference and its interval) and
  :mod:`tovak.match.sprt` (the sequential test);
- :mod:`tovak.match.player_spec` (``engine:...``, ``python:...``,
  ``cmd:...``), :mod:`tovak.match.players` (the players themselves) and
  :mod:`tovak.match.player_failure` (how a player loses a game without being
  beaten);
- :mod:`tovak.match.recording`: a match's run directory, its games and summary.
"""

from tovak.match.player_spec import PlayerSpec, parse_player_spec
from tovak.match.result import MatchResult
from tovak.match.runner import play_match_game, run_match
from tovak.match.settings import Failure, MatchGame, MatchSettings
from tovak.match.sprt import SprtSettings

__all__ = [
    "Failure",
    "MatchGame",
    "MatchResult",
    "MatchSettings",
    "PlayerSpec",
    "SprtSettings",
    "parse_player_spec",
    "play_match_game",
    "run_match",
]
