"""``tovak engine``: the engine over standard input and output, one JSON object per line."""

from __future__ import annotations

import argparse
import sys
from typing import Any

from tovak.protocol.search_server import serve

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
"""


def add_parser(subparsers: Any) -> None:
    """Register ``tovak engine``."""
    parser = subparsers.add_parser(
        "engine",
        help="drive the engine through JSON lines on standard input and output",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    """Serve the protocol on standard input and output until ``quit`` or the end of input."""
    return serve(sys.stdin.buffer, sys.stdout)
