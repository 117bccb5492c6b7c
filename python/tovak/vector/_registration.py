"""The environments' names in Gymnasium's registry, registered when :mod:`tovak.vector` is imported.

``gymnasium.make("tovak/Opponent-v0", opponent=...)`` makes an
:class:`OpponentEnv`, ``gymnasium.make_vec("tovak/Opponent-v0", num_envs=N,
vectorization_mode="vector_entry_point")`` the batched
:class:`OpponentVectorEnv`; the same for ``"tovak/SelfPlay-v0"``.
"""

from __future__ import annotations

from typing import Final

import gymnasium

__all__ = ["ENVIRONMENT_IDS", "register_environments"]

ENVIRONMENT_IDS: Final = ("tovak/Opponent-v0", "tovak/SelfPlay-v0")
"""The Gymnasium ids that importing :mod:`tovak.vector` registers."""

_ENTRY_POINTS: Final = {
    "tovak/Opponent-v0": ("tovak.vector._opponent:OpponentEnv", "tovak.vector._opponent:OpponentVectorEnv"),
    "tovak/SelfPlay-v0": ("tovak.vector._self_play:SelfPlayEnv", "tovak.vector._self_play:SelfPlayVectorEnv"),
}


def register_environments() -> None:
    """Register every environment once (a second import of the package registers nothing)."""
    for name, (single, batched) in _ENTRY_POINTS.items():
        if name not in gymnasium.registry:
            gymnasium.register(id=name, entry_point=single, vector_entry_point=batched)
