# Type stub of the tovak_python extension module, checked against the built
# module by mypy's stubtest. The TypedDicts and aliases below exist only for
# type checkers: import them under `if TYPE_CHECKING:`.
from typing import Literal, SupportsIndex, TypedDict, final, type_check_only

__all__ = ["Position", "parse_move_string", "initial_position"]

# The colour names the module returns. As arguments, colours are any text
# that folds to "white", "w", "black" or "b" (ASCII capitals only), so the
# parameters are plain `str`.
_Color = Literal["white", "black"]

@type_check_only
class SupportingPivot(TypedDict):
    """One pair of the side to move's pieces that supports a move.

    ``supports`` names the pair's squares, ``file_twice`` and ``rank_twice``
    give their midpoint doubled (file a and rank 1 are 0), and
    ``center_square`` names the midpoint when it is a square (``None`` when it
    falls between squares).
    """

    supports: list[str]
    file_twice: int
    rank_twice: int
    center_square: str | None

@type_check_only
class Analysis(TypedDict):
    """Result of `Position.analyze`: the best line of a fixed-depth search."""

    best_move: str
    score: int
    depth: int
    principal_variation: list[str]

@type_check_only
class TimedAnalysis(TypedDict):
    """Result of `Position.analyze_timed`: search statistics and the best line, if any."""

    root_legal_moves: int
    completed_depth: int
    nodes: int
    quiescence_nodes: int
    timed_out: bool
    best_move: str | None
    score: int | None
    principal_variation: list[str]

@final
class Position:
    """A game position: two sets of pieces and the side to move."""

    def __new__(cls) -> Position:
        """The initial position: sixteen pieces a side on the two near ranks, White to move."""
    @staticmethod
    def initial() -> Position:
        """The initial position, as ``Position()`` makes it."""
    @staticmethod
    def empty(side_to_move: str) -> Position:
        """An empty board with ``side_to_move`` (a colour text) to move.

        Raises ``ValueError`` for a text that is not a colour.
        """
    def copy(self) -> Position:
        """An independent copy: changing one never changes the other."""
    def side_to_move(self) -> _Color:
        """The colour whose turn it is, ``"white"`` or ``"black"``."""
    def legal_moves(self) -> list[str]:
        """Every legal move of the side to move, as texts such as ``"a1-b3"``, in the rules' order.

        Empty when the side to move has no move (it has then lost).
        """
    def is_legal_move(self, mv: str) -> bool:
        """Whether the move text ``mv`` is a legal move of the side to move.

        A well-formed but illegal move gives ``False``; a text that is not a
        move at all raises ``ValueError``.
        """
    def apply_move(self, mv: str) -> None:
        """Play the legal move ``mv``: the piece jumps, an enemy piece on the
        landing square is captured, and the turn passes.

        Raises ``ValueError`` saying why a move is refused (malformed, no piece
        of the side to move on the square, no supporting pivot, a landing square
        of its own colour), and leaves the position as it was.
        """
    def piece_at(self, square: str) -> _Color | None:
        """The colour of the piece on ``square`` (such as ``"e4"``), or ``None`` when it is empty."""
    def set_piece(self, color: str, square: str) -> None:
        """Put a piece of ``color`` on ``square``, replacing whatever stood there."""
    def clear_square(self, square: str) -> None:
        """Remove the piece on ``square``, if any."""
    def piece_count(self, color: str) -> int:
        """How many pieces ``color`` has on the board."""
    def ascii_board(self, style: str | None = None) -> str:
        """The text diagram of the board, rank 8 at the top, with file letters and rank digits around it.

        ``style`` ``"discs"`` (the default) draws White as filled discs and
        Black as hollow circles; ``"letters"`` draws ``W`` and ``B``. Capitals
        are accepted, and so are the aliases ``"circles"``, ``"unicode"`` and
        ``"ascii"``; any other text raises ``ValueError``.
        """
    def svg_board(self) -> str:
        """The board as a self-contained SVG picture."""
    def svg_for_move(self, mv: str) -> str:
        """The SVG picture of the board with the move ``mv`` drawn and the pivots that support it marked.

        The move is checked for notation only: a well-formed illegal move is
        still drawn.
        """
    def best_move(self, depth: SupportsIndex) -> str | None:
        """The move a search ``depth`` plies deep (0 to 255) chooses, or ``None`` without a legal move.

        The same move as ``analyze(depth)["best_move"]``.
        """
    def analyze(self, depth: SupportsIndex) -> Analysis | None:
        """One search ``depth`` plies deep (0 to 255): the best move, its score and the principal variation.

        Scores are from the side to move's point of view. ``None`` when the
        side to move has no legal move. The same call on the same position
        always gives the same answer.
        """
    def analyze_timed(self, depth: SupportsIndex, budget_ms: SupportsIndex) -> TimedAnalysis:
        """Iterative deepening, one ply at a time, until ``depth`` (0 to 255) or the time budget is reached.

        ``budget_ms`` is a budget in milliseconds (0 included). The result is
        that of the deepest completed depth, with the statistics of the whole
        search. When no depth completes (depth 0 searches nothing, and a
        budget may run out during depth 1), ``completed_depth`` is 0 and
        ``best_move`` is the engine's quick answer: the first move in its order,
        with the static score. ``best_move`` and ``score`` are ``None`` only when
        the side to move has no legal move. With a budget that does not run
        out, the result depends only on the position and ``depth``.
        """
    def evaluate(self) -> int:
        """The static score of the position, from the side to move's point of view."""
    def outcome(self) -> _Color | None:
        """The winner when the game is over (the side to move has no legal move), else ``None``."""
    def supporting_pivots(self, mv: str) -> list[SupportingPivot]:
        """Every pair of the side to move's pieces whose midpoint mirrors the move's origin onto its destination.

        The midpoint is given doubled (``file_twice``, ``rank_twice``, from 0
        for file a and rank 1), with ``center_square`` naming it when it is a
        square. Empty when nothing supports the move.
        """

def initial_position() -> Position:
    """The initial position, as ``Position()`` makes it."""
def parse_move_string(mv: str) -> str:
    """The canonical text of the move text ``mv`` (lower case), or ``ValueError`` when it is not a move."""
