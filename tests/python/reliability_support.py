"""Shared helpers of the reliability tests: positions to test on, a snapshot
of everything a position shows, and the notation rules written out in Python
so that a test can say which message a bad text must get."""

import random

import tovak_python
from binding_support import random_plies
from rules_reference import ALL_MOVES, SQUARES  # also imported from here by the reliability tests

COLOR_MESSAGE = "color must be 'white' or 'black'"
STYLE_MESSAGE = "style must be 'discs' or 'letters'"
SQUARE_MESSAGE = "invalid square"
MOVE_FORMAT_MESSAGE = "invalid move format"
MOVE_SQUARE_MESSAGE = "invalid square in move"

STYLE_NAMES = {"discs", "disc", "circles", "circle", "unicode", "letters", "ascii"}


def snapshot(position):
    """Everything observable about a position, for unchanged-after-failure checks."""
    return [position.side_to_move(), position.legal_moves(), [position.piece_at(s) for s in SQUARES],
            position.ascii_board(), position.ascii_board("letters")]


def played_position(seed, plies):
    """The position after `plies` random legal moves from the initial one."""
    p = tovak_python.Position()
    for _ in random_plies(seed, plies, p):
        pass
    return p


def edited_position(seed, pieces_per_side):
    """A random placement (not reachable by play in general), Black to move."""
    rng = random.Random(seed)
    p = tovak_python.Position.empty("black")
    squares = rng.sample(SQUARES, 2 * pieces_per_side)
    for i, square in enumerate(squares):
        p.set_piece("white" if i % 2 == 0 else "black", square)
    return p


def sample_positions():
    """Positions every bad-input check runs on: the initial one, a game in
    progress, an edited placement, and an empty board."""
    return [
        tovak_python.Position(),
        played_position(seed=7, plies=12),
        edited_position(seed=3, pieces_per_side=9),
        tovak_python.Position.empty("white"),
    ]


ASCII_FOLD = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")


def ascii_fold(text):
    """Folds A-Z only, as every name and notation comparison does."""
    return str.translate(text, ASCII_FOLD)


def utf8(text):
    """The UTF-8 bytes of a text, or None for a text with a lone surrogate."""
    try:
        return str.encode(text, "utf-8")
    except UnicodeEncodeError:
        return None


def is_square_token(data):
    if len(data) != 2:
        return False
    file = data[0] + 32 if 0x41 <= data[0] <= 0x5A else data[0]
    return 0x61 <= file <= 0x68 and 0x31 <= data[1] <= 0x38


def square_error(text):
    data = utf8(text)
    return None if data is not None and is_square_token(data) else SQUARE_MESSAGE


def move_error(text):
    """The message the move parser gives, or None when the text is a move."""
    data = utf8(text)
    if data is None:
        return MOVE_SQUARE_MESSAGE
    parts = data.split(b"-")
    if not is_square_token(parts[0]):
        return MOVE_SQUARE_MESSAGE
    if len(parts) < 2:
        return MOVE_FORMAT_MESSAGE
    if not is_square_token(parts[1]):
        return MOVE_SQUARE_MESSAGE
    if len(parts) > 2:
        return MOVE_FORMAT_MESSAGE
    return None


def color_error(text):
    return None if ascii_fold(text) in ("w", "white", "b", "black") else COLOR_MESSAGE


def style_error(text):
    return None if ascii_fold(text) in STYLE_NAMES else STYLE_MESSAGE
