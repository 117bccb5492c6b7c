"""``tovak serve``: the analysis board in the browser, served on this machine."""

from __future__ import annotations

import argparse
import threading
import webbrowser
from pathlib import Path
from typing import TYPE_CHECKING, Any

from tovak.analysis import SearchLimits
from tovak.cli.args import add_search_options, bounded_int, position_arg
from tovak.errors import USAGE_ERROR, CommandError
from tovak.game import Game

if TYPE_CHECKING:
    from tovak.serve import BoardSettings

DESCRIPTION = """\
Serve an analysis board on this machine and print its address: click moves
on the board, watch the engine's lines deepen, step through the moves with
the arrow keys or the evaluation graph, play against the engine, load and
download games. The board opens on GAME_FILE (a game file, as "tovak play
--save" writes), on game K of a run (--run DIR --game K), on a position
(--position TEXT) or on the initial position. Ctrl-C stops the server and
every search it started.

It listens on 127.0.0.1 unless --host names another address; then every
request needs the token printed at start (it is in the printed address). It
reads no file but those named here and writes none: downloads come from
memory. At most 4 searches run at once, the oldest stopped first.
"""


def add_parser(subparsers: Any) -> None:
    """Register ``tovak serve`` and its options."""
    parser = subparsers.add_parser(
        "serve",
        help="serve an analysis board in the browser",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument("game_file", nargs="?", metavar="GAME_FILE", help="a game file to open")
    parser.add_argument("--run", dest="run_dir", metavar="DIR", help="a run's directory (with --game)")
    parser.add_argument("--game", type=bounded_int("game", 1), metavar="K", help="the game of --run to open")
    parser.add_argument("--position", type=position_arg, metavar="TEXT", help="a position to open")
    parser.add_argument("--ply", type=bounded_int("ply", 0), default=0, metavar="N",
                        help="the ply of the game to show first (default 0, the start)")
    parser.add_argument("--host", default="127.0.0.1",
                        help="the address to listen on (default %(default)s; any other needs the printed token)")
    parser.add_argument("--port", type=bounded_int("port", 0, 65535), default=8000, metavar="N",
                        help="the port to listen on (default %(default)s; 0 takes a free one)")
    parser.add_argument("--open", action="store_true", help="open the page in the default browser")
    add_search_options(
        parser,
        "the depth of the live analysis of each position (default: as deep as 20 seconds allow)",
    )
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    """Serve the board the options describe until Ctrl-C."""
    try:
        from tovak.serve import server
        from tovak.serve.settings import DEFAULT_ANALYSIS_LIMITS
    except ImportError as error:
        raise CommandError(
            f"tovak serve needs the web extra: pip install \"tovak[web]\" (missing: {error.name})", USAGE_ERROR
        ) from None
    settings = _opened(args)
    if args.depth is not None or args.time_ms is not None:
        settings.analysis_limits = SearchLimits(depth=args.depth, time_ms=args.time_ms)
    else:
        settings.analysis_limits = DEFAULT_ANALYSIS_LIMITS
    if settings.analysis_limits.max_depth() == 0 or settings.analysis_limits.time_ms == 0:
        raise CommandError("the live analysis needs a depth and a time above 0", USAGE_ERROR)
    if server.needs_token(args.host):
        settings.token = server.new_token()
    try:
        sock = server.bind(args.host, args.port)
    except OSError as error:
        raise CommandError(f"cannot listen on {args.host} port {args.port}: {error.strerror or error}") from None
    address = server.page_address(sock, settings.token)

    def ready() -> None:
        print(f"The analysis board is at {address}")
        if settings.token is not None:
            print("Every request needs the token in that address: give it only to those who may use the board.")
        print("Press Ctrl-C to stop the server and every search it started.", flush=True)
        if args.open:
            threading.Thread(target=webbrowser.open, args=(address,), daemon=True).start()

    server.run_board_server(settings, sock, ready)
    return 0


def _opened(args: argparse.Namespace) -> BoardSettings:
    """The settings of the board with the game the options name."""
    from tovak.serve import BoardSettings

    given = [name for name, value in (("GAME_FILE", args.game_file), ("--run", args.run_dir),
                                      ("--position", args.position)) if value is not None]
    if len(given) > 1:
        raise CommandError(f"give one of GAME_FILE, --run and --position, not {' and '.join(given)}", USAGE_ERROR)
    if (args.run_dir is None) != (args.game is None):
        raise CommandError("--run and --game go together", USAGE_ERROR)
    if args.game_file is not None:
        try:
            game = Game.load(args.game_file)
        except ValueError as error:
            raise CommandError(str(error), USAGE_ERROR) from None
        settings = BoardSettings(game=game, title=f"Analysis board: {Path(args.game_file).name}")
    elif args.run_dir is not None:
        settings = _recorded_game(Path(args.run_dir), args.game)
    elif args.position is not None:
        settings = BoardSettings(game=Game(args.position))
    else:
        settings = BoardSettings()
    if args.ply > len(settings.game.moves):
        raise CommandError(f"--ply must be at most {len(settings.game.moves)}, the game's length", USAGE_ERROR)
    settings.ply = args.ply
    return settings


def _recorded_game(run_dir: Path, number: int) -> BoardSettings:
    """Game ``number`` of the run in ``run_dir``, with the scores its engine found."""
    from tovak.replay import result_text, white_view_scores
    from tovak.runs.dataset import RunDirectoryError, read_run_info
    from tovak.runs.reader import read_game
    from tovak.serve import BoardSettings

    try:
        read_run_info(run_dir)
        record = read_game(run_dir, number)
    except RunDirectoryError as error:
        raise CommandError(str(error), USAGE_ERROR) from None
    except LookupError as error:
        raise CommandError(str(error)) from None
    start = record.plies[0].position if record.plies else record.final_position
    try:
        game = Game(start, [ply.move for ply in record.plies])
    except ValueError as error:
        raise CommandError(f"game {number} of {run_dir} does not replay: {error}") from None
    return BoardSettings(
        game=game,
        scores=[*white_view_scores(record), None],
        title=f"Game {number} of {run_dir.name}: {result_text(record)}",
    )

