"""The Elo difference between two players, with its 95% interval, from a match.

A match plays every opening twice with colors swapped, so games come in
pairs and the pair, not the game, is the independent sample: playing both
colors of an opening cancels most of the luck of the opening. A pair scores
0, 1/2, 1, 3/2 or 2 points for the first player (a win 1, a loss 0, an
unfinished game 1/2, as the game has no draws); the counts of those five
results are the match's *pentanomial*.

The estimate is the logistic Elo of the mean score ``s`` per game,
``-400 * log10(1 / s - 1)``. Its interval is the normal one on the mean pair
score with the pairs' own variance, turned into Elo. When that variance is
no guide (every pair scored alike, or one player took every point) the
interval is the Wilson score interval instead, which stays finite and
honest for small, one-sided matches. A player who scored every point (or
none) has an infinite estimate, reported as such.
"""

from __future__ import annotations

import math
from collections.abc import Iterable
from dataclasses import dataclass
from statistics import NormalDist
from typing import Final

__all__ = [
    "PAIR_SCORES",
    "Pentanomial",
    "EloEstimate",
    "elo_estimate",
    "elo_from_score",
    "pentanomial",
    "score_from_elo",
]

PAIR_SCORES: Final = (0.0, 0.25, 0.5, 0.75, 1.0)
"""The mean score per game of each pentanomial class (a pair's points / 2)."""

CONFIDENCE: Final = 0.95
_Z: Final = NormalDist().inv_cdf(0.5 + CONFIDENCE / 2)  # 1.959963984540054

Pentanomial = tuple[int, int, int, int, int]
"""How many pairs of games scored 0, ½, 1, 1½ and 2 points for the first player."""


def pentanomial(pair_points: Iterable[float]) -> Pentanomial:
    """Counts of pairs that scored 0, 0.5, 1, 1.5 and 2 points for the first player."""
    counts = [0, 0, 0, 0, 0]
    for points in pair_points:
        index = round(points * 2)
        if not 0 <= index <= 4 or index != points * 2:
            raise ValueError(f"a pair scores 0, 0.5, 1, 1.5 or 2 points, got {points!r}")
        counts[index] += 1
    return (counts[0], counts[1], counts[2], counts[3], counts[4])


def elo_from_score(score: float) -> float:
    """The logistic Elo difference that gives an expected score ``score`` (0..1); ±inf at the ends."""
    if not 0.0 <= score <= 1.0:
        raise ValueError(f"a score is between 0 and 1, got {score!r}")
    if score == 0.0:
        return -math.inf
    if score == 1.0:
        return math.inf
    return -400.0 * math.log10(1.0 / score - 1.0) + 0.0  # + 0.0: an even score is 0, not -0


def score_from_elo(elo: float) -> float:
    """The expected score of a player ``elo`` points stronger, the inverse of :func:`elo_from_score`."""
    return 1.0 / (1.0 + math.pow(10.0, -elo / 400.0))


@dataclass(frozen=True)
class EloEstimate:
    """The first player's Elo difference over the second, with its 95% interval.

    ``elo``, ``lower`` and ``upper`` are None when no pair was completed, and
    may be ±inf when one player scored every point.
    """

    pairs: int
    score: float | None
    elo: float | None
    lower: float | None
    upper: float | None


def elo_estimate(counts: Pentanomial) -> EloEstimate:
    """The estimate and its interval from a match's pentanomial."""
    pairs = sum(counts)
    if pairs == 0:
        return EloEstimate(pairs=0, score=None, elo=None, lower=None, upper=None)
    mean = sum(n * x for n, x in zip(counts, PAIR_SCORES)) / pairs
    variance = sum(n * (x - mean) ** 2 for n, x in zip(counts, PAIR_SCORES)) / pairs
    if 0.0 < mean < 1.0 and variance > 0.0:
        half_width = _Z * math.sqrt(variance / pairs)
        low, high = max(0.0, mean - half_width), min(1.0, mean + half_width)
    else:
        low, high = _wilson(mean, pairs)
    return EloEstimate(
        pairs=pairs,
        score=mean,
        elo=elo_from_score(mean),
        lower=elo_from_score(low),
        upper=elo_from_score(high),
    )


def _wilson(mean: float, samples: int) -> tuple[float, float]:
    # The score interval of a proportion: bounding each pair's variance by
    # mean * (1 - mean), its largest possible value, keeps it valid when the
    # sample shows no spread at all.
    z2 = _Z * _Z
    center = (mean + z2 / (2 * samples)) / (1 + z2 / samples)
    half = _Z / (1 + z2 / samples) * math.sqrt(mean * (1 - mean) / samples + z2 / (4 * samples**2))
    return max(0.0, center - half), min(1.0, center + half)
