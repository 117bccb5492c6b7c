"""The sequential probability ratio test of engine testing: stop a match once it has shown enough.

H0 says the first player is ``elo0`` Elo stronger than the second, H1 that it
is ``elo1`` stronger (``elo0 < elo1``, logistic Elo). After each completed
pair of games the log-likelihood ratio (LLR) of H1 over H0 is compared with
the bounds ``log(beta / (1 - alpha))`` and ``log((1 - beta) / alpha)``: below
the lower bound H0 is accepted, above the upper one H1, in between the match
goes on. ``alpha`` is the chance of accepting H1 when H0 holds, ``beta`` of
accepting H0 when H1 holds; both are 0.05 by default.

The likelihood is the generalised one on the pentanomial of pairs (see
:mod:`tovak.match.elo`): under each hypothesis the pentanomial probabilities are
those closest to the observed frequencies (maximum likelihood) whose mean
score matches the hypothesis. Empty classes are given a tiny count first, so
that a short, one-sided start cannot produce an infinite ratio.
"""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Final, Literal

from tovak.match.elo import PAIR_SCORES, Pentanomial, score_from_elo

__all__ = ["Hypothesis", "SprtSettings", "llr", "sprt_decision"]

Hypothesis = Literal["H0", "H1"]
"""The hypothesis a sequential test accepts: H0 (the difference is ELO0) or H1 (it is ELO1)."""

EMPTY_CLASS_COUNT: Final = 1e-3
"""The count given to a pentanomial class that no pair has fallen into yet."""


@dataclass(frozen=True)
class SprtSettings:
    """A sequential probability ratio test of ELO0 against ELO1 (ELO0 < ELO1), with error rates
    ``alpha`` and ``beta`` (each between 0 and 0.5)."""

    elo0: float
    elo1: float
    alpha: float = 0.05
    beta: float = 0.05

    def __post_init__(self) -> None:
        if not self.elo0 < self.elo1:
            raise ValueError(f"the SPRT needs ELO0 < ELO1, got {self.elo0:g} and {self.elo1:g}")
        for name, value in (("alpha", self.alpha), ("beta", self.beta)):
            if not 0.0 < value < 0.5:
                raise ValueError(f"{name} must be between 0 and 0.5, got {value:g}")

    @property
    def lower_bound(self) -> float:
        """The LLR at or below which H0 is accepted."""
        return math.log(self.beta / (1.0 - self.alpha))

    @property
    def upper_bound(self) -> float:
        """The LLR at or above which H1 is accepted."""
        return math.log((1.0 - self.beta) / self.alpha)


def llr(counts: Pentanomial, elo0: float, elo1: float) -> float:
    """The log-likelihood ratio of H1 (``elo1``) over H0 (``elo0``) given a pentanomial."""
    if sum(counts) == 0:
        return 0.0
    regular = [n if n > 0 else EMPTY_CLASS_COUNT for n in counts]
    total = sum(regular)
    frequencies = [n / total for n in regular]
    ratio = 0.0
    for n, log_p1, log_p0 in zip(
        regular,
        _constrained_log_probabilities(frequencies, score_from_elo(elo1)),
        _constrained_log_probabilities(frequencies, score_from_elo(elo0)),
    ):
        ratio += n * (log_p1 - log_p0)
    return ratio


def sprt_decision(ratio: float, settings: SprtSettings) -> Hypothesis | None:
    """The hypothesis the test accepts at this LLR, or None to go on playing."""
    if ratio <= settings.lower_bound:
        return "H0"
    if ratio >= settings.upper_bound:
        return "H1"
    return None


def _constrained_log_probabilities(frequencies: list[float], score: float) -> list[float]:
    """log p_i of the distribution nearest ``frequencies`` (maximum likelihood) with mean ``score``.

    The maximizer is p_i = f_i / (1 + lam * (x_i - score)), where lam is the
    root of sum f_i (x_i - score) / (1 + lam (x_i - score)) = 0. That sum
    falls strictly as lam grows, and every p_i stays positive for lam between
    -1 / (max x - score) and 1 / (score - min x), so bisection finds the root.
    """
    offsets = [x - score for x in PAIR_SCORES]
    low = -1.0 / max(offsets)
    high = -1.0 / min(offsets)

    def slope(lam: float) -> float:
        return sum(f * d / (1.0 + lam * d) for f, d in zip(frequencies, offsets))

    for _ in range(200):
        middle = (low + high) / 2
        if middle in (low, high):
            break
        if slope(middle) > 0:
            low = middle
        else:
            high = middle
    lam = (low + high) / 2
    return [math.log(f) - math.log1p(lam * d) for f, d in zip(frequencies, offsets)]
