"""``tovak play``: a game against the engine in the terminal.

The dialogue is line-based so that it can be scripted: prompts go to stdout,
moves are read one per line from stdin, and the end of input ends the game
cleanly. The engine thinks in a process of its own (a live analysis), so
Ctrl-C is answered at once even in the middle of a long search.
"""

from __future__ import annotations

import argparse
import os
import re
import textwrap
import time
from pathlib import Path
from typing import Any

from tovak_python import parse_move_string

from tovak import analysis
from tovak.analysis import DEFAULT_DEPTH, SearchLimits
from tovak.cli.args import add_search_options, add_style_option, position_arg, side_arg
from tovak.errors import USAGE_ERROR, CommandError
from tovak.game import Game
from tovak.terms import Color, legal_move_count, winner_sentence

DESCRIPTION = """\
Play a game against the engine. Enter moves as two squares joined by "-",
for example a1-b3 (a1b3 and "a1 b3" are read the same way): the piece on a1
jumps to b3, mirrored through the midpoint of two of your other pieces. At
the prompt, "?" lists your legal moves, "undo" takes back your last move and
the engine's reply, "board" shows the position again, "help" lists the
commands and "quit" ends the game. The moves are listed when the game ends,
and --save writes the game to a file that tovak.Game.load reads back.
"""

HELP_TEXT = (
    "Enter a move such as a1-b3; '?' lists your legal moves, "
    "'undo' takes back your last move, 'help' lists the commands, 'quit' ends the game."
)
COMMANDS = """\
Commands:
  a1-b3 (or a1b3, a1 b3)  play the piece on a1 to b3
  ?  (or moves)           list your legal moves
  undo                    take back your last move and the engine's reply
  board                   show the position again
  help                    this list
  quit  (or exit, q)      end the game"""

QUIT_WORDS = ("quit", "exit", "q")
MOVES_WORDS = ("?", "moves")
HELP_WORDS = ("help", "h")
# Two squares, joined by "-", by blanks or by nothing: e1-e3, e1e3, e1 e3.
COMPACT_MOVE = re.compile(r"([a-h][1-8])\s*-?\s*([a-h][1-8])", re.ASCII | re.IGNORECASE)


def add_parser(subparsers: Any) -> None:
    """Register ``tovak play`` and its options."""
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
    parser.add_argument(
        "--save",
        metavar="FILE",
        help="write the game to FILE when it ends (JSON: the start position and the moves)",
    )
    add_style_option(parser)
    parser.set_defaults(run=run)


def run(args: argparse.Namespace) -> int:
    """Play one game on stdin and stdout."""
    save = None if args.save is None else _writable(args.save)
    session = PlaySession(
        Game(args.position),
        human=args.side,
        limits=SearchLimits(args.depth, args.time_ms),
        style=args.style,
    )
    try:
        session.play()
    finally:
        # Also after Ctrl-C: the game so far is listed and kept.
        session.list_game()
        if save is not None:
            session.game.save(save)
            print(f"Game saved to {save}.")
    return 0


def read_move(entry: str) -> str | None:
    """The move a player means by ``entry`` (e1-e3, e1e3, "e1 e3"), or None if it is no move."""
    found = COMPACT_MOVE.fullmatch(entry)
    if found is None:
        return None
    return f"{found[1]}-{found[2]}".lower()


def looks_like_a_move(entry: str) -> bool:
    """Whether a player typing ``entry`` probably tried a move (it has a digit or a dash)."""
    return any(c.isdigit() or c == "-" for c in entry)


class PlaySession:
    """The dialogue of one game between a person and the engine."""

    def __init__(self, game: Game, human: Color, limits: SearchLimits, style: str):
        self.game = game
        self.human = human
        self.limits = limits
        self.style = style

    def play(self) -> None:
        """Alternate the player's and the engine's moves until the game ends or the player stops."""
        engine = "Black" if self.human == "white" else "White"
        print(
            f"You play {self.human.capitalize()}; the engine plays {engine} "
            f"({self.limits.describe()}). {HELP_TEXT}"
        )
        self.show_board()
        while True:
            winner = self.game.outcome()
            if winner is not None:
                self.announce(winner)
                return
            if self.game.side_to_move == self.human:
                if not self.human_turn():
                    return
            else:
                self.engine_turn()
            self.show_board()

    def show_board(self) -> None:
        """Print the diagram and who is to move."""
        print()
        print(self.game.position.ascii_board(self.style), end="")
        print(f"{self.game.side_to_move.capitalize()} to move.")

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
            except KeyboardInterrupt:
                print()  # end the prompt line before the moves are listed
                raise
            entry = line.strip()
            if not entry:
                continue
            folded = entry.lower()
            if folded in QUIT_WORDS:
                print("Game abandoned.")
                return False
            if folded in MOVES_WORDS:
                self.list_moves()
            elif folded in HELP_WORDS:
                print(COMMANDS)
            elif folded == "board":
                self.show_board()
            elif folded == "undo":
                self.undo()
            elif not looks_like_a_move(entry):
                print(f"Unknown command {entry!r}: type 'help' for the commands, or a move such as a1-b3.")
            elif self.try_move(entry):
                return True

    def try_move(self, entry: str) -> bool:
        """Play the player's move if it is one and legal; otherwise say why not."""
        try:
            move = parse_move_string(read_move(entry) or entry)
        except ValueError as error:
            print(f"{entry!r} is not a move: {error}. Moves look like a1-b3; '?' lists them.")
            return False
        try:
            self.game.push(move)
        except ValueError as error:
            print(f"Illegal move {move}: {error}. '?' lists the legal moves.")
            return False
        print(f"You play {move}.")
        self.name_capture()
        return True

    def undo(self) -> None:
        """Take back the player's last move and the engine's reply to it."""
        # On the player's turn the last move is the engine's, so two moves
        # back is the player's turn again.
        if len(self.game.moves) < 2:
            print("Nothing to undo: you have not moved yet.")
            return
        reply = self.game.pop()
        own = self.game.pop()
        print(f"Took back {own} and the reply {reply}.")
        self.show_board()

    def list_moves(self) -> None:
        """Print the legal moves of the position."""
        moves = self.game.legal_moves()
        print(f"{legal_move_count(len(moves))}:")
        print(textwrap.fill(" ".join(moves), width=78, initial_indent="  ", subsequent_indent="  "))

    def engine_turn(self) -> None:
        """Let the engine choose and play its move; Ctrl-C stops its search at once."""
        side = self.game.side_to_move.capitalize()
        started = time.perf_counter()
        with analysis.start(self.game.position, depth=self.limits.depth, time_ms=self.limits.time_ms) as search:
            result = search.wait()
        if result is None:
            # No depth completed (depth 0, or no time): the engine's answer
            # without a search, its first move in move order.
            result = self.game.position.analyze_timed(self.limits.max_depth(), 0)
        move = result["best_move"]
        if move is None:
            # Only a finished position has no move, and play() checks for that first.
            raise RuntimeError("the engine found no move in a position that has moves")
        self.game.push(move)
        score = "" if result["score"] is None else f"score {result['score']:+d} for {side}, "
        seconds = time.perf_counter() - started
        print(f"Engine ({side}) plays {move} ({score}depth {result['completed_depth']}, {seconds:.2f} s).")
        self.name_capture()

    def name_capture(self) -> None:
        """Say so when the last move took a piece."""
        square = self.game.captured_square()
        if square is not None:
            victim = self.game.side_to_move
            left = self.game.position.piece_count(victim)
            pieces = "piece" if left == 1 else "pieces"
            print(f"{self.game.moves[-1]} captures on {square} ({victim.capitalize()} has {left} {pieces} left).")

    def announce(self, winner: Color) -> None:
        """Report the end of the game."""
        verdict = "You win!" if winner == self.human else "The engine wins."
        print(f"Game over: {winner_sentence(winner)}. {verdict}")

    def list_game(self) -> None:
        """Print the moves of the game, numbered by full moves."""
        print(f"Moves: {numbered_moves(self.game)}")


def numbered_moves(game: Game) -> str:
    """The moves as "1. a1-b3 h8-d6 2. ...", or "none"; a game that Black opens starts "1. ...".

    The numbering counts the moves of this game, from its start position.
    """
    if not game.moves:
        return "none"
    words: list[str] = []
    first_is_black = next(iter(game)).side_to_move() == "black"
    for index, move in enumerate(game.moves):
        ply = index + (1 if first_is_black else 0)
        if ply % 2 == 0:
            words.append(f"{ply // 2 + 1}.")
        elif index == 0:
            words.append("1. ...")
        words.append(move)
    return " ".join(words)


def _writable(name: str) -> Path:
    # Refuse a file that cannot be written before the game, not after it.
    path = Path(name)
    folder = path.parent
    if path.is_dir():
        raise CommandError(f"cannot save the game to {name!r}: it is a directory", USAGE_ERROR)
    if not folder.is_dir() or not os.access(folder, os.W_OK):
        raise CommandError(f"cannot save the game to {name!r}: {str(folder)!r} is not a writable directory", USAGE_ERROR)
    return path
