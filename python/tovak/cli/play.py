"""``tovak play``: a game against the engine in the terminal.

The dialogue is line-based so that it can be scripted: prompts go to stdout,
moves are read one per line from stdin, and the end of input ends the game
cleanly.
"""

from __future__ import annotations

import argparse
import textwrap
from typing import Any

from tovak_python import Position, parse_move_string

from tovak.cli.args import add_search_options, add_style_option, position_arg, side_arg
from tovak.analysis import DEFAULT_DEPTH, SearchLimits, search
from tovak.notation import from_text
from tovak.terms import Color, winner_sentence

DESCRIPTION = """\
Play a game against the engine. Enter moves as two squares joined by "-",
for example a1-b3: the piece on a1 jumps to b3, mirrored through the midpoint
of two of your other pieces. At the prompt, "?" lists your legal moves,
"board" shows the position again and "quit" ends the game.
"""

QUIT_WORDS = ("quit", "exit", "q")
HELP_TEXT = (
    "Enter a move such as a1-b3; '?' lists your legal moves, "
    "'board' shows the position, 'quit' ends the game."
)


def add_parser(subparsers: Any) -> None:
    parser = subparsers.add_parser(
        "play",
        help="play a game against the engine",
        description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument(
        "--side",
        type=side_arg,
        default="white",
        metavar="white|black",
        help="the side you play (default white; White moves first from the initial position)",
    )
    add_search_options(
        parser,
        f"engine search depth (default {DEFAULT_DEPTH}; with --time-ms, as deep as the time allows)",
    )
    parser.add_argument(
        "--position",
        type=position_arg,
        metavar="TEXT",
        help='start from this position text, e.g. "W:a1,b1,a2 B:b2,h8 w" (default: the initial position)',
    )
    add_style_option(parser)
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    position = Position() if args.position is None else from_text(args.position)
    game = Game(position, human=args.side, limits=SearchLimits(args.depth, args.time_ms), style=args.style)
    game.play()
    return 0


class Game:
    """The dialogue of one game between a person and the engine."""

    def __init__(
        self,
        position: Position,
        human: Color,
        limits: SearchLimits,
        style: str,
    ):
        self.position = position
        self.human = human
        self.limits = limits
        self.style = style

    def play(self) -> None:
        engine = "Black" if self.human == "white" else "White"
        print(
            f"You play {self.human.capitalize()}; the engine plays {engine} "
            f"({self.limits.describe()}). {HELP_TEXT}"
        )
        self.show_board()
        while True:
            winner = self.position.outcome()
            if winner is not None:
                self.announce(winner)
                return
            if self.position.side_to_move() == self.human:
                if not self.human_turn():
                    return
            else:
                self.engine_turn()
            self.show_board()

    def show_board(self) -> None:
        print()
        print(self.position.ascii_board(self.style), end="")
        print(f"{self.position.side_to_move().capitalize()} to move.")

    def human_turn(self) -> bool:
        """Read lines until a legal move is made (True) or the player stops (False)."""
        side = self.human.capitalize()
        while True:
            try:
                line = input(f"Your move ({side}): ")
            except EOFError:
                print()
                print("End of input: game abandoned.")
                return False
            entry = line.strip()
            if not entry:
                continue
            folded = entry.lower()
            if folded in QUIT_WORDS:
                print("Game abandoned.")
                return False
            if folded == "?":
                self.list_moves()
            elif folded in ("help", "h"):
                print(HELP_TEXT)
            elif folded == "board":
                self.show_board()
            elif self.try_move(entry):
                return True

    def try_move(self, entry: str) -> bool:
        try:
            move = parse_move_string(entry)
        except ValueError as error:
            print(f"{entry!r} is not a move: {error}. Moves look like a1-b3; '?' lists them.")
            return False
        try:
            self.position.apply_move(move)
        except ValueError as error:
            print(f"Illegal move {move}: {error}. '?' lists the legal moves.")
            return False
        print(f"You play {move}.")
        return True

    def list_moves(self) -> None:
        moves = self.position.legal_moves()
        print(f"{len(moves)} legal moves:")
        print(textwrap.fill(" ".join(moves), width=78, initial_indent="  ", subsequent_indent="  "))

    def engine_turn(self) -> None:
        side = self.position.side_to_move().capitalize()
        report = search(self.position, self.limits)
        if report.best_move is None:
            # Only a finished position has no move, and play() checks for that first.
            raise RuntimeError("the engine found no move in a position that has moves")
        self.position.apply_move(report.best_move)
        score = "" if report.score is None else f"score {report.score:+d} for {side}, "
        print(
            f"Engine ({side}) plays {report.best_move} "
            f"({score}depth {report.completed_depth}, {report.seconds:.2f} s)."
        )

    def announce(self, winner: Color) -> None:
        verdict = "You win!" if winner == self.human else "The engine wins."
        print(f"Game over: {winner_sentence(winner)}. {verdict}")
