"""What the Gymnasium environments of :mod:`tovak.vector` share: spaces, modes, views, drawings."""

from __future__ import annotations

from typing import Any, Final

import numpy as np
import numpy.typing as npt
from gymnasium import spaces
from gymnasium.vector import AutoresetMode
from tovak_python import Position

from tovak.rl.features import ACTION_COUNT, PLANE_COUNT
from tovak.rl.picture import board_picture

__all__ = [
    "METADATA",
    "RENDER_MODES",
    "action_space",
    "autoreset_mode",
    "drawing",
    "observation_space",
    "seen_by_the_other_side",
]

RENDER_MODES: Final = ("human", "ansi", "rgb_array")

METADATA: Final[dict[str, Any]] = {"render_modes": list(RENDER_MODES), "render_fps": 2}

_MODE_NAMES: Final = {
    "next_step": AutoresetMode.NEXT_STEP,
    "same_step": AutoresetMode.SAME_STEP,
    "disabled": AutoresetMode.DISABLED,
}


def observation_space() -> spaces.Box:
    """The planes of one position (:func:`tovak.features.planes`): float32 ``(3, 8, 8)`` of 0s and 1s."""
    return spaces.Box(0.0, 1.0, (PLANE_COUNT, 8, 8), dtype=np.float32)


def action_space() -> spaces.Discrete:
    """Move numbers ``from * 64 + to`` as the acting side sees the board."""
    return spaces.Discrete(ACTION_COUNT)


def autoreset_mode(mode: AutoresetMode | str) -> AutoresetMode:
    """An :class:`~gymnasium.vector.AutoresetMode`, given as one or by name ("next_step"...)."""
    if isinstance(mode, AutoresetMode):
        return mode
    if isinstance(mode, str) and mode in _MODE_NAMES:
        return _MODE_NAMES[mode]
    raise ValueError(f"autoreset_mode must be an AutoresetMode or 'next_step', 'same_step' or 'disabled', got {mode!r}")


def check_render_mode(render_mode: str | None) -> str | None:
    """``render_mode`` if it is one of :data:`RENDER_MODES` or None; ``ValueError`` otherwise."""
    if render_mode is not None and render_mode not in RENDER_MODES:
        raise ValueError(f"render_mode must be None, 'human', 'ansi' or 'rgb_array', got {render_mode!r}")
    return render_mode


def drawing(position: Position, render_mode: str) -> str | npt.NDArray[np.uint8]:
    """The position drawn for ``render_mode``: its picture, or its diagram (printed for "human")."""
    if render_mode == "rgb_array":
        return board_picture(position)
    return position.ascii_board()


def seen_by_the_other_side(planes: npt.NDArray[np.float32]) -> npt.NDArray[np.float32]:
    """Planes ``(..., 3, 8, 8)`` of the side to move, as its opponent sees the same position.

    The opponent's view turns the ranks round and swaps the two sides'
    planes; it is not to move, so its turn plane is zeros.
    """
    turned = planes[..., ::-1, :]
    return np.stack([turned[..., 1, :, :], turned[..., 0, :, :], 1.0 - planes[..., 2, :, :]], axis=-3)
