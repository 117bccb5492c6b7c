# Type stub of the extension module tovak._batch (the batched games, their
# tree search, self-play in batches and the features of one position);
# tovak.vector, tovak.mcts, tovak.runs.batched and tovak.features are its users.

from typing import Any

import numpy as np
import numpy.typing as npt

# With `out` (a writable C-contiguous float32 array of 192 elements, or
# int8 of 4096), the features are written into it and it is returned.
def board_planes(
    board: str,
    side_to_move: str,
    perspective: str | None = None,
    out: npt.NDArray[np.float32] | None = None,
) -> npt.NDArray[np.float32]: ...
def board_legal_mask(
    board: str,
    side_to_move: str,
    perspective: str | None = None,
    out: npt.NDArray[np.int8] | None = None,
) -> npt.NDArray[np.int8]: ...
def board_sets(board: str) -> tuple[int, int]: ...

class Games:
    def __init__(
        self,
        num_games: int,
        threads: int,
        seed: int,
        start_white: int,
        start_black: int,
        start_side: str,
        random_plies: int,
        max_plies: int,
        autoreset: str,
        opponent: str | None,
        opponent_depth: int,
        agent_color: str,
    ) -> None: ...
    def __len__(self) -> int: ...
    @property
    def threads(self) -> int: ...
    def reset(self, seed: int | None) -> None: ...
    def reset_games(self, which: npt.NDArray[np.bool_]) -> None: ...
    def step(self, actions: npt.NDArray[np.int64]) -> None: ...
    def sample_actions(self) -> npt.NDArray[np.int64]: ...
    def agent_colors(self) -> npt.NDArray[np.int8]: ...
    def position_sets(self, game: int) -> tuple[int, int, int]: ...
    def set_position(self, game: int, white: int, black: int, side_to_move: str) -> None: ...
    def views(
        self,
    ) -> tuple[
        npt.NDArray[np.float32],
        npt.NDArray[np.bool_],
        npt.NDArray[np.int8],
        npt.NDArray[np.float32],
        npt.NDArray[np.bool_],
        npt.NDArray[np.bool_],
        npt.NDArray[np.int32],
    ]: ...

def play_selfplay(
    numbers: npt.NDArray[np.int64],
    white: npt.NDArray[np.uint64],
    black: npt.NDArray[np.uint64],
    side: npt.NDArray[np.int8],
    opening_counts: npt.NDArray[np.int32],
    opening_moves: npt.NDArray[np.int16],
    depth: int,
    budget_ms: int,
    max_plies: int,
    threads: int,
) -> dict[str, npt.NDArray[Any]]: ...
class Search:
    def __init__(
        self,
        games: Games,
        simulations: int,
        c_puct: float,
        dirichlet_alpha: float,
        dirichlet_fraction: float,
        gumbel: bool,
        max_considered: int,
        leaves_per_game: int,
        seed: int,
        threads: int,
    ) -> None: ...
    def __len__(self) -> int: ...
    @property
    def asked(self) -> int: ...
    def begin(self) -> None: ...
    def leaves(
        self,
    ) -> tuple[npt.NDArray[np.float32], npt.NDArray[np.bool_], npt.NDArray[np.int32]] | None: ...
    def answer(self, logits: npt.NDArray[np.float32], values: npt.NDArray[np.float32]) -> None: ...
    def run(self, evaluator: str) -> None: ...
    def result(
        self,
    ) -> tuple[
        npt.NDArray[np.float32],
        npt.NDArray[np.int32],
        npt.NDArray[np.float32],
        npt.NDArray[np.int32],
    ]: ...
    def select(self, temperature: float) -> npt.NDArray[np.int64]: ...
