"""``tovak match``: two players, paired openings, and who is stronger by how much."""

from __future__ import annotations

import argparse
import math
import time
from typing import Any

from tqdm import tqdm

from tovak.cli.args import add_game_options, bounded_int
from tovak.errors import USAGE_ERROR, CommandError
from tovak.match.recording import MatchOutput
from tovak.match.runner import run_match
from tovak.match.settings import MatchGame, MatchSettings
from tovak.match.result import MatchResult
from tovak.match.player_failure import PlayerFailure
from tovak.match.player_spec import PlayerSpec, parse_player_spec
from tovak.match.players import DEFAULT_MOVE_TIME_MS, make_player
from tovak.runs.selfplay import DEFAULT_MAX_PLIES
from tovak.match.sprt import SprtSettings
from tovak.terms import COLORS

DESCRIPTION = """\
Play two players against each other and tell which is stronger, by how much.
Players are given as
  engine:depth=N, engine:time_ms=N     the built-in engine (both limits may be combined)
  python:MODULE:FUNCTION               a function taking a Position, returning a move text
  cmd:COMMAND LINE                     a program speaking the line protocol of 'tovak engine'
Each random opening is played twice with colors swapped. A player that
crashes, hangs (takes ten times its move time and two seconds more), plays an
illegal move or breaks the protocol loses that game; the match goes on. The
result table, the Elo difference with its 95% interval and the SPRT verdict are
printed and written to DIR/summary.json, the games to the dataset in DIR/data.
"""

DEFAULT_GAMES = 20
DEFAULT_RANDOM_PLIES = 4


def add_parser(subparsers: Any) -> None:
    """Register ``tovak match`` and its options."""
    parser = subparsers.add_parser(
        "match",
        help="a match between two players, with Elo difference and SPRT",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument(
        "--player",
        type=_player_arg,
        action="append",
        required=True,
        metavar="SPEC",
        help="a player (give exactly two; the Elo difference is the first's over the second's)",
    )
    parser.add_argument(
        "--games",
        type=bounded_int("games", 2),
        default=DEFAULT_GAMES,
        metavar="N",
        help=f"games to play, an even number: each opening is played twice (default {DEFAULT_GAMES})",
    )
    parser.add_argument(
        "--jobs", type=bounded_int("jobs", 1), default=1, metavar="N", help="games played at once (default 1)"
    )
    add_game_options(
        parser,
        seed_help="opening seed (default 0)",
        random_plies_help=f"random moves that open each pair of games (default {DEFAULT_RANDOM_PLIES})",
        max_plies_help=f"plies after which a game ends unfinished (default {DEFAULT_MAX_PLIES})",
        seed_default=0,
        random_plies_default=DEFAULT_RANDOM_PLIES,
        max_plies_default=DEFAULT_MAX_PLIES,
    )
    parser.add_argument(
        "--sprt",
        type=_sprt_arg,
        metavar="ELO0,ELO1",
        help="stop as soon as a sequential probability ratio test (alpha = beta = 0.05) accepts "
        "that the first player is ELO0 (H0) or ELO1 (H1) Elo stronger",
    )
    parser.add_argument(
        "--time-ms",
        type=bounded_int("time", 1),
        default=DEFAULT_MOVE_TIME_MS,
        metavar="N",
        help=f"time per move given to python: and cmd: players (default {DEFAULT_MOVE_TIME_MS})",
    )
    parser.add_argument("--out", default="match", metavar="DIR", help="output directory (default ./match)")
    parser.add_argument("--no-progress", action="store_true", help="no progress bar on stderr")
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    """Play the match the options ask for, record it and print the result."""
    specs: list[PlayerSpec] = args.player
    if len(specs) != 2:
        raise CommandError(f"a match needs exactly two --player options, got {len(specs)}", USAGE_ERROR)
    if args.games % 2:
        raise CommandError(
            f"--games must be even: each opening is played twice, with colors swapped (got {args.games})",
            USAGE_ERROR,
        )
    settings = MatchSettings(
        players=(specs[0], specs[1]),
        games=args.games,
        seed=args.seed,
        random_plies=args.random_plies,
        max_plies=args.max_plies,
        move_time_ms=args.time_ms,
        sprt=args.sprt,
    )
    for number, spec in enumerate(specs, start=1):
        _check_starts(number, spec, settings.move_time_ms)

    started = time.perf_counter()
    with MatchOutput.create(args.out, settings) as output:
        bar = tqdm(total=settings.games, unit="game", disable=True if args.no_progress else None, leave=False)

        def finished(game: MatchGame) -> None:
            output.add(game)
            bar.update(1)

        try:
            result = run_match(settings, args.jobs, on_game=finished)
        finally:
            bar.close()
        output.finish(result, time.perf_counter() - started)
    print(result_text(result, args.out))
    return 0


def result_text(result: MatchResult, out_dir: str) -> str:
    """The table and the verdict, as the command prints them."""
    players = result.players
    width = max(len("player"), *(len(p) for p in players))
    lines = [
        f"{len(result.games)} games, {result.estimate.pairs} complete pairs of openings",
        "",
        # The heading, like summary.json's "by_colour", is output that scripts read: it keeps its spelling.
        f"{'player':<{width}}  colour  wins  losses  unfinished",
    ]
    for name, results in zip(players, result.by_color):
        for color in COLORS:
            r = results[color]
            lines.append(f"{name:<{width}}  {color:<6}  {r.wins:>4}  {r.losses:>6}  {r.unfinished:>10}")
    lines.append("")
    for number, name in enumerate(players):
        lines.append(f"{name} scored {result.points(number):g} of {len(result.games)}")
    estimate = result.estimate
    if estimate.elo is None:
        lines.append("Elo difference: no complete pair of games")
    else:
        lines.append(
            f"Elo difference of {players[0]} over {players[1]}: {_elo(estimate.elo)} "
            f"(95% interval {_elo(estimate.lower)} to {_elo(estimate.upper)})"
        )
    sprt = result.settings.sprt
    if sprt is not None:
        llr_text = f"LLR {result.llr:.2f}, bounds {sprt.lower_bound:.2f} and {sprt.upper_bound:.2f}"
        verdict = {
            None: "no decision yet",
            "H0": f"H0 accepted: the Elo difference is nearer {sprt.elo0:+g} than {sprt.elo1:+g}",
            "H1": f"H1 accepted: the Elo difference is nearer {sprt.elo1:+g} than {sprt.elo0:+g}",
        }[result.sprt]
        lines.append(f"SPRT [{sprt.elo0:g}, {sprt.elo1:g}]: {verdict} ({llr_text})")
    for game in result.games:
        if game.failure is not None:
            f = game.failure
            lines.append(f"Game {game.number}: {f.player} ({f.color}) lost by {f.reason}: {f.detail}")
    lines.append(f"Games and summary: {out_dir}")
    return "\n".join(lines)


def _elo(value: float | None) -> str:
    if value is None:
        return "n/a"
    if math.isinf(value):
        return "+inf" if value > 0 else "-inf"
    return f"{value:+.1f}"


def _check_starts(number: int, spec: PlayerSpec, move_time_ms: int) -> None:
    # A program that cannot even start and say hello is misconfigured: better
    # one clear message now than every game lost by a crash.
    if spec.kind == "engine":
        return
    try:
        make_player(spec, move_time_ms).close()
    except PlayerFailure as failure:
        raise CommandError(f"player {number} ({spec.text}) cannot play: {failure}", USAGE_ERROR) from None


def _player_arg(text: str) -> PlayerSpec:
    try:
        return parse_player_spec(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def _sprt_arg(text: str) -> SprtSettings:
    parts = text.split(",")
    try:
        elo0, elo1 = (float(part) for part in parts)
    except ValueError:
        raise argparse.ArgumentTypeError(f"--sprt takes ELO0,ELO1 such as 0,10, got {text!r}") from None
    if not (math.isfinite(elo0) and math.isfinite(elo1)):
        raise argparse.ArgumentTypeError(f"--sprt bounds must be finite numbers, got {text!r}")
    try:
        return SprtSettings(elo0, elo1)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None

