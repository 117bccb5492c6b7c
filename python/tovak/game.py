"""A game: a start position and the moves played from it.

:class:`Game` is the value a front end, a notebook or a bot keeps: it checks
each move, takes moves back, compares, copies and pickles like any value, and
is saved to a small JSON file::

    {"format": "tovak game", "version": 1,
     "start": "W:a1,b1,... B:...,h8 w", "moves": ["a1-b3", "h8-d6"]}

``start`` is the start position's text form (:mod:`tovak.notation`) and
``moves`` the moves played from it, in order; nothing else is stored, because
everything else (the position, the side to move, the winner) follows from
these two.
"""

from __future__ import annotations

import json
import os
import tempfile
from collections.abc import Iterable, Iterator
from pathlib import Path
from typing import Any

from tovak_python import Position, parse_move_string

from tovak.notation import SQUARES, from_text, to_text
from tovak.terms import Color, winner_sentence

__all__ = ["FILE_FORMAT", "FILE_VERSION", "Game"]

FILE_FORMAT = "tovak game"
"""The ``format`` field of a game file."""

FILE_VERSION = 1
"""The ``version`` field of the game files this package writes (and the newest it reads)."""

INITIAL_TEXT = to_text(Position())


class Game:
    """A start position and the moves played from it, each checked when played.

    ``start`` is a position text (see :mod:`tovak.notation`), a
    ``tovak_python.Position`` (copied), or None for the initial position;
    ``moves`` are played from it in order, and a move that is not legal
    raises ``ValueError`` naming it.

    The game is a mutable value: ``==`` compares the start and the moves,
    ``repr`` is an expression that builds an equal game, and ``copy``,
    ``deepcopy`` and ``pickle`` work; it has no hash. ``str`` gives the
    diagram of the current position and the side to move; in a notebook the
    game shows the picture of its current position with the last move and
    the pivots that carried it marked. Iterating a game gives its positions
    (copies), from the start to the current one.
    """

    __slots__ = ("_start", "_moves", "_positions")

    def __init__(self, start: str | Position | None = None, moves: Iterable[str] = ()):
        if start is None:
            first = Position()
        elif isinstance(start, Position):
            first = start.copy()
        elif isinstance(start, str):
            first = from_text(start)
        else:
            raise TypeError(
                f"start must be a position text, a tovak_python.Position or None, not {type(start).__name__}"
            )
        self._start = to_text(first)
        self._moves: list[str] = []
        # The position after each move, the start first: taking a move back
        # is dropping the last one, and no position is ever shared outside.
        self._positions = [first]
        if isinstance(moves, str):
            raise TypeError("moves must be an iterable of move texts, not one str")
        for number, move in enumerate(moves, start=1):
            try:
                self.push(move)
            except ValueError as error:
                raise ValueError(f"move {number} ({move!r}): {error}") from None

    @property
    def start(self) -> str:
        """The start position's text form."""
        return self._start

    @property
    def moves(self) -> tuple[str, ...]:
        """The moves played so far, in canonical notation."""
        return tuple(self._moves)

    @property
    def position(self) -> Position:
        """A copy of the current position (changing it never changes the game)."""
        return self._positions[-1].copy()

    @property
    def side_to_move(self) -> Color:
        """The side whose turn it is."""
        return self._positions[-1].side_to_move()

    def push(self, move: str) -> str:
        """Play ``move`` and return it in canonical notation.

        A malformed or illegal move raises ``ValueError`` with the module's
        message, and the game is left as it was.
        """
        canonical = parse_move_string(move)
        after = self._positions[-1].copy()
        after.apply_move(canonical)
        self._positions.append(after)
        self._moves.append(canonical)
        return canonical

    def pop(self) -> str:
        """Take the last move back and return it; ``IndexError`` when no move was played."""
        if not self._moves:
            raise IndexError("pop from a game without moves")
        self._positions.pop()
        return self._moves.pop()

    def legal_moves(self) -> list[str]:
        """The legal moves of the current position."""
        return self._positions[-1].legal_moves()

    def is_legal_move(self, move: str) -> bool:
        """Whether ``move`` is legal in the current position."""
        return self._positions[-1].is_legal_move(move)

    def outcome(self) -> Color | None:
        """The winner when the side to move has no legal move, otherwise None."""
        return self._positions[-1].outcome()

    def to_text(self) -> str:
        """The current position's text form."""
        return to_text(self._positions[-1])

    def captured_square(self, index: int = -1) -> str | None:
        """The square where move number ``index`` (default: the last) took a piece, or None.

        ``IndexError`` when there is no such move.
        """
        move = self._moves[index]
        before = self._positions[index % len(self._moves)]
        # A legal move never lands on a piece of its own side.
        target = move.split("-")[1]
        return target if before.piece_at(target) is not None else None

    def __iter__(self) -> Iterator[Position]:
        return (position.copy() for position in self._positions)

    # -- values -----------------------------------------------------------

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Game):
            return NotImplemented
        return self._start == other._start and self._moves == other._moves

    def __repr__(self) -> str:
        arguments = [] if self._start == INITIAL_TEXT else [f"start={self._start!r}"]
        if self._moves:
            arguments.append(f"moves={self._moves!r}")
        return f"Game({', '.join(arguments)})"

    def __reduce__(self) -> tuple[type[Game], tuple[str, tuple[str, ...]]]:
        # Rebuilt by replaying the moves: positions are not picklable, and
        # the replay checks a pickle made elsewhere like any other input.
        return (Game, (self._start, tuple(self._moves)))

    def __str__(self) -> str:
        current = self._positions[-1]
        caption = f"{current.side_to_move().capitalize()} to move"
        if self._moves:
            caption += f", after {self._moves[-1]}"
        winner = current.outcome()
        if winner is not None:
            caption += f": {winner_sentence(winner)}"
        return current.ascii_board() + caption + "\n"

    def svg(self) -> str:
        """The picture of the current position, with the last move and its pivots marked."""
        current = self._positions[-1]
        if not self._moves:
            return current.svg_board()
        # The pivots of the last move belong to the side that played it, and
        # they are still where they were: draw them on the current pieces
        # with that side to move.
        mover = self._positions[-2].side_to_move()
        drawn = Position.empty(mover)
        for square in SQUARES:
            owner = current.piece_at(square)
            if owner is not None:
                drawn.set_piece(owner, square)
        return drawn.svg_for_move(self._moves[-1])

    def _repr_svg_(self) -> str:
        return self.svg()

    # -- files ------------------------------------------------------------

    def to_json(self) -> str:
        """The game as one JSON object (the form of a game file)."""
        return json.dumps(
            {"format": FILE_FORMAT, "version": FILE_VERSION, "start": self._start, "moves": self._moves}
        )

    @classmethod
    def from_json(cls, text: str) -> Game:
        """The game of a JSON object written by :meth:`to_json`; ``ValueError`` says what is wrong."""
        try:
            data: Any = json.loads(text)
        except json.JSONDecodeError as error:
            raise ValueError(f"not a game file: {error}") from None
        if not isinstance(data, dict) or data.get("format") != FILE_FORMAT:
            raise ValueError(f"not a game file: expected a JSON object with \"format\": \"{FILE_FORMAT}\"")
        version = data.get("version")
        if not isinstance(version, int) or isinstance(version, bool) or not 1 <= version <= FILE_VERSION:
            raise ValueError(f"unsupported game file version {version!r} (this package reads 1 to {FILE_VERSION})")
        start, moves = data.get("start"), data.get("moves")
        if not isinstance(start, str):
            raise ValueError("bad game file: \"start\" must be a position text")
        if not isinstance(moves, list) or not all(isinstance(m, str) for m in moves):
            raise ValueError("bad game file: \"moves\" must be a list of move texts")
        return cls(start, moves)

    def save(self, path: str | os.PathLike[str]) -> None:
        """Write the game to ``path`` as JSON; the file is replaced whole or not at all."""
        target = Path(path)
        try:
            mode = target.stat().st_mode & 0o777  # a replaced file keeps its permissions
        except FileNotFoundError:
            mode = 0o644
        handle, temporary = tempfile.mkstemp(prefix=f".{target.name}.", dir=target.parent)
        try:
            os.fchmod(handle, mode)
            with os.fdopen(handle, "w", encoding="utf-8") as file:
                file.write(self.to_json() + "\n")
                file.flush()
                os.fsync(file.fileno())
            os.replace(temporary, target)
        except BaseException:
            os.unlink(temporary)
            raise

    @classmethod
    def load(cls, path: str | os.PathLike[str]) -> Game:
        """Read a game written by :meth:`save`; ``ValueError`` names the file and the fault."""
        text = Path(path).read_text(encoding="utf-8")
        try:
            return cls.from_json(text)
        except ValueError as error:
            raise ValueError(f"{os.fspath(path)}: {error}") from None
