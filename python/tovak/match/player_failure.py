"""How a player can lose a match game other than over the board.

A game of a match ends early when a player crashes, takes far longer than its
time, answers with a move that is not legal, or breaks the line protocol.
That player loses the game; the reason is the game's end reason in the
records, and the detail (an exit status, the last line the program wrote on
standard error, the move it tried) goes into the match summary.
"""

from __future__ import annotations

from typing import Final, Literal

__all__ = ["CRASH", "ILLEGAL_MOVE", "PROTOCOL_ERROR", "TIME", "FailureReason", "PlayerFailure"]

FailureReason = Literal["crash", "time", "illegal move", "protocol error"]
"""Why a player lost a game by failing, as the dataset's ``end_reason`` records it."""

CRASH: Final[FailureReason] = "crash"
"""The player's program crashed or ended during the game."""
TIME: Final[FailureReason] = "time"
"""The player gave no move in time."""
ILLEGAL_MOVE: Final[FailureReason] = "illegal move"
"""The player answered with a move that is not legal."""
PROTOCOL_ERROR: Final[FailureReason] = "protocol error"
"""The player broke the line protocol."""


class PlayerFailure(Exception):
    """A player lost its game by failing; ``reason`` is one of the four above."""

    def __init__(self, reason: FailureReason, detail: str) -> None:
        super().__init__(f"{reason}: {detail}")
        self.reason: FailureReason = reason
        self.detail = detail
