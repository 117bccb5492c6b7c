"""The seed of a batch of games or of their search, checked once for both."""

from __future__ import annotations

import secrets
from typing import Final

import numpy as np

SEED_BITS: Final = 64


def checked_seed(seed: int | None) -> int:
    """``seed`` as a 64-bit integer, or a fresh random one for None."""
    if seed is None:
        return secrets.randbits(SEED_BITS)
    if isinstance(seed, bool) or not isinstance(seed, int | np.integer):
        raise TypeError(f"seed must be an integer or None, not {type(seed).__name__}")
    if not 0 <= seed < 2**SEED_BITS:
        raise ValueError(f"seed must be from 0 to 2**64 - 1, got {seed}")
    return int(seed)
