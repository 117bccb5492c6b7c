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

CRASH: Final[FailureReason] = "crash"
TIME: Final[FailureReason] = "time"
ILLEGAL_MOVE: Final[FailureReason] = "illegal move"
PROTOCOL_ERROR: Final[FailureReason] = "protocol error"


class PlayerFailure(Exception):
    """A player lost its game by failing; ``reason`` is one of the four above."""

    def __init__(self, reason: FailureReason, detail: str) -> None:
        super().__init__(f"{reason}: {detail}")
        self.reason: FailureReason = reason
        self.detail = detail
