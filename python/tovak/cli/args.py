"""Argument types and the parser class shared by the subcommands.

Every bad argument becomes one line on stderr and exit status 2: the parser
never prints a usage block or a traceback.
"""

from __future__ import annotations

import argparse
import sys
from collections.abc import Callable, Mapping, Sequence
from typing import Any, NoReturn

from tovak.analysis import MAX_DEPTH, NO_TIME_LIMIT_MS
from tovak.errors import USAGE_ERROR
from tovak.notation import from_text, to_text
from tovak.terms import Color



class Parser(argparse.ArgumentParser):
    """An argument parser whose errors are a single line naming the fix."""

    def __init__(self, *args: Any, **kwargs: Any) -> None:
        super().__init__(*args, **kwargs)
        # The parser of each command by name, for a parser that has commands.
        self.commands: Mapping[str, argparse.ArgumentParser] = {}

    def error(self, message: str) -> NoReturn:
        sys.stderr.write(f"{self.prog}: error: {message} (see {self.help_hint()})\n")
        raise SystemExit(USAGE_ERROR)

    def help_hint(self) -> str:
        """Where the fix is explained: the command's own help, or for the
        top-level parser, both its help and the per-command help."""
        if not self.commands:
            return f"'{self.prog} --help'"
        return f"'{self.prog} --help' or '{self.prog} COMMAND --help'"

    def parse_command_line(self, argv: Sequence[str] | None = None) -> argparse.Namespace:
        """Like ``parse_args``, except that arguments left over after a command
        are reported by that command's parser, so the hint names its help."""
        args, extras = self.parse_known_args(argv)
        if extras:
            owner = self.commands.get(getattr(args, "command", None) or "", self)
            owner.error(f"unrecognized arguments: {' '.join(extras)}")
        return args


def bounded_int(name: str, low: int, high: int | None = None) -> Callable[[str], int]:
    """An argparse type: a decimal integer in low..high (no upper bound when None)."""

    def convert(text: str) -> int:
        """The integer that ``text`` spells, within the option's bounds."""
        value = _integer(name, text)
        if value < low or (high is not None and value > high):
            bounds = f"at least {low}" if high is None else f"from {low} to {high}"
            raise argparse.ArgumentTypeError(f"{name} must be {bounds}, got {value}")
        return value

    return convert


def _integer(name: str, text: str) -> int:
    try:
        return int(text, 10)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{name} must be an integer, got {text!r}") from None


depth_arg = bounded_int("depth", 0, MAX_DEPTH)


def time_ms_arg(text: str) -> int:
    """An argparse type: a time budget in milliseconds, 0 or more."""
    value = _integer("time", text)
    if value < 0:
        raise argparse.ArgumentTypeError(f"time must not be negative, got {value} ms")
    if value > NO_TIME_LIMIT_MS:
        raise argparse.ArgumentTypeError(f"time must be at most {NO_TIME_LIMIT_MS} ms, got {value}")
    return value


def side_arg(text: str) -> Color:
    """An argparse type: a side, as white/black or w/b in either case."""
    folded = text.lower() if text.isascii() else text
    if folded in ("white", "w"):
        return "white"
    if folded in ("black", "b"):
        return "black"
    raise argparse.ArgumentTypeError(f"side must be 'white' or 'black', got {text!r}")


def position_arg(text: str) -> str:
    """A position text, checked and returned in canonical form."""
    try:
        return to_text(from_text(text))
    except ValueError as error:
        raise argparse.ArgumentTypeError(f"bad position {text!r}: {error}") from None


def add_search_options(parser: argparse.ArgumentParser, depth_help: str) -> None:
    """The --depth and --time-ms options that every searching command takes."""
    parser.add_argument("--depth", type=depth_arg, metavar="N", help=depth_help)
    parser.add_argument(
        "--time-ms",
        type=time_ms_arg,
        metavar="N",
        help="time budget per search in milliseconds; the search deepens until it runs out "
        "(results then depend on the machine's speed)",
    )


def add_game_options(
    parser: argparse.ArgumentParser,
    *,
    seed_help: str,
    random_plies_help: str,
    max_plies_help: str,
    seed_default: int | None = None,
    random_plies_default: int | None = None,
    max_plies_default: int | None = None,
) -> None:
    """The --seed, --random-plies and --max-plies options of the commands that
    play games, each with the command's own help text and default.

    An option left out takes its default; with None it stays None, for a
    command that must tell an option given from one left out (a resumed run
    checks the options given again against the ones it recorded).
    """
    parser.add_argument("--seed", type=bounded_int("seed", 0), default=seed_default, metavar="S", help=seed_help)
    parser.add_argument(
        "--random-plies",
        type=bounded_int("random plies", 0),
        default=random_plies_default,
        metavar="N",
        help=random_plies_help,
    )
    parser.add_argument(
        "--max-plies",
        type=bounded_int("max plies", 1),
        default=max_plies_default,
        metavar="N",
        help=max_plies_help,
    )


def add_style_option(parser: argparse.ArgumentParser) -> None:
    """The --style option of the commands that print diagrams."""
    parser.add_argument(
        "--style",
        choices=("discs", "letters"),
        default="discs",
        help="diagram style: discs (filled = White, hollow = Black) or letters (W, B); "
        "default %(default)s",
    )
