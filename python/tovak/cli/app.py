"""The ``tovak`` command's entry point: parse, dispatch, and turn every failure
into one line on stderr with a non-zero exit status."""

from __future__ import annotations

import os
import sys
from collections.abc import Sequence

from tovak._version import __version__
from tovak.cli import analyze, engine, match, play, replay, selfplay, serve
from tovak.cli.args import Parser
from tovak.errors import CommandError

PROG = "tovak"
INTERRUPTED = 130
INTERNAL_ERROR = 70

DESCRIPTION = """\
Play, analyze and self-play the point-reflection board game: an 8 x 8 board,
sixteen pieces a side, and pieces that jump by mirroring through the midpoint
of two friendly pieces. Run "tovak COMMAND --help" for the options of each
command.
"""


def build_parser() -> Parser:
    """The parser of the ``tovak`` command and its subcommands."""
    parser = Parser(prog=PROG, description=DESCRIPTION)
    parser.add_argument("--version", action="version", version=f"{PROG} {__version__}")
    subparsers = parser.add_subparsers(
        title="commands", dest="command", metavar="COMMAND", parser_class=Parser, required=True
    )
    play.add_parser(subparsers)
    analyze.add_parser(subparsers)
    selfplay.add_parser(subparsers)
    replay.add_parser(subparsers)
    match.add_parser(subparsers)
    engine.add_parser(subparsers)
    serve.add_parser(subparsers)
    parser.commands = subparsers.choices
    return parser


def main(argv: Sequence[str] | None = None) -> int:
    """Run the command with ``argv`` (default: the process arguments); return the exit status."""
    args = build_parser().parse_command_line(argv)
    try:
        status: int = args.run(args)
        sys.stdout.flush()
        return status
    except CommandError as error:
        _fail(str(error))
        return error.status
    except KeyboardInterrupt:
        if sys.stdout.isatty():
            print()  # end the prompt line that ^C interrupted
        _fail("interrupted")
        return INTERRUPTED
    except BrokenPipeError:
        # The reader went away (as with "| head"); say nothing more on stdout.
        _silence_stdout()
        return 1
    except OSError as error:
        where = f" {error.filename!r}" if error.filename else ""
        _fail(f"cannot access{where}: {error.strerror or error}")
        return 1
    except Exception as error:  # noqa: BLE001 - the command never ends in a traceback
        _fail(f"internal error: {type(error).__name__}: {error}")
        return INTERNAL_ERROR


def _fail(message: str) -> None:
    sys.stderr.write(f"{PROG}: error: {message}\n")


def _silence_stdout() -> None:
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, sys.stdout.fileno())
    os.close(devnull)

