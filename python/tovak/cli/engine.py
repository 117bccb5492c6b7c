"""``tovak engine``: the engine over standard input and output, one JSON object per line."""

from __future__ import annotations

import argparse
import sys
from typing import TYPE_CHECKING, Any, cast

from tovak.errors import USAGE_ERROR, CommandError
from tovak.match.player_spec import parse_player_spec
from tovak.protocol.function_server import load_function, serve_function
from tovak.protocol.search_server import serve

if TYPE_CHECKING:
    from tovak.mcts import SearchPlayer

DESCRIPTION = """\
Run the engine as a program that front ends, bots and match runners drive
through a line protocol: each line on standard input is one JSON request,
each line on standard output one JSON event, and nothing else is written
there. Requests:

  {"cmd": "hello"}                                  -> a hello event
  {"cmd": "position", "position": TEXT, "moves": [...]}
  {"cmd": "go", "depth": N, "time_ms": M}          -> info events, then bestmove
  {"cmd": "stop"}                                   -> bestmove at once
  {"cmd": "quit"}

A bad request is answered with an error event and the engine carries on. The
line protocol page of the documentation site describes it in full.

With --player, the moves come from the tree search instead, one bestmove per
go (its depth and time_ms are not read: the simulations bound the search):
  --player mcts:simulations=S[,evaluator=uniform|rollout]
  --player mcts-python:MODULE:FUNCTION,simulations=S   (FUNCTION is the network)
"""


def add_parser(subparsers: Any) -> None:
    """Register ``tovak engine``."""
    parser = subparsers.add_parser(
        "engine",
        help="drive the engine through JSON lines on standard input and output",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument(
        "--player",
        metavar="PLAYER",
        help="play with the tree search: mcts:simulations=S[,evaluator=...] or mcts-python:MODULE:FUNCTION,simulations=S",
    )
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    """Serve the protocol on standard input and output until ``quit`` or the end of input."""
    if args.player is None:
        return serve(sys.stdin.buffer, sys.stdout)
    try:
        player = _search_player(args.player)
    except ValueError as error:
        raise CommandError(str(error), USAGE_ERROR) from None
    return serve_function(player, args.player)


def _search_player(text: str) -> SearchPlayer:
    # The tree search needs the rl extra; the engine's own search does not.
    from tovak.mcts import SearchPlayer
    from tovak.mcts.player import Network

    spec = parse_player_spec(text)
    if spec.kind == "mcts":
        return SearchPlayer(spec.simulations, evaluator="rollout" if spec.evaluator == "rollout" else "uniform")
    if spec.kind == "mcts-python":
        # Any callable loads; its answers are checked as the search takes them.
        return SearchPlayer(spec.simulations, network=cast(Network, load_function(spec.function)))
    raise ValueError(f"--player takes mcts:... or mcts-python:..., got {text!r}")
