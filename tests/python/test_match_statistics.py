"""The Elo estimate, its interval and the SPRT, against values worked out by hand."""

import math

import pytest

from tovak.match.elo import elo_estimate, elo_from_score, pentanomial, score_from_elo
from tovak.match.sprt import SprtSettings, llr, sprt_decision

Z = 1.959963984540054


@pytest.mark.parametrize(
    "score, elo",
    [
        (0.5, 0.0),
        (0.75, 400 * math.log10(3)),  # 190.85: three points won for each lost
        (0.25, -400 * math.log10(3)),
        (0.9, 400 * math.log10(9)),  # 381.70
        (1.0, math.inf),
        (0.0, -math.inf),
    ],
)
def test_elo_from_score(score, elo):
    assert elo_from_score(score) == pytest.approx(elo, abs=1e-9)
    assert f"{elo_from_score(score):+.1f}" != "-0.0"
    if math.isfinite(elo):
        assert score_from_elo(elo) == pytest.approx(score)


def test_pairs_are_counted_by_points():
    assert pentanomial([2, 1.5, 1, 1, 0.5, 0, 2]) == (1, 1, 2, 1, 2)
    with pytest.raises(ValueError):
        pentanomial([2.5])
    with pytest.raises(ValueError):
        pentanomial([0.3])


@pytest.mark.parametrize(
    "counts, score, elo, lower, upper",
    [
        # Pair scores 0, .5, .5, 1: mean .5, variance .125, half width
        # 1.96 * sqrt(.125 / 4) = .346476, so .153524 .. .846476 -> -/+296.575.
        ((1, 0, 2, 0, 1), 0.5, 0.0, -296.575, 296.575),
        # Pair scores .5 x3, 1 x2: mean .7 (147.19), variance .06, half width
        # 1.96 * sqrt(.06 / 5) = .214704, so .485296 .. .914704 -> -10.22 .. 412.14.
        ((0, 0, 3, 0, 2), 0.7, 147.19, -10.22, 412.14),
        # Every pair won: no spread to go by, so the Wilson bound:
        # 5 / (5 + 1.96^2) = .565522 -> 45.79, and an unbounded estimate.
        ((0, 0, 0, 0, 5), 1.0, math.inf, 45.79, math.inf),
        ((5, 0, 0, 0, 0), 0.0, -math.inf, -math.inf, -45.79),
        # Every pair split: Wilson again, centred on .5 with half width
        # 1.96 / 1.960365 * sqrt(.25 / 4 + 1.96^2 / 64) = .349962 -> -/+301.28.
        ((0, 0, 4, 0, 0), 0.5, 0.0, -301.28, 301.28),
    ],
)
def test_elo_estimate_and_interval(counts, score, elo, lower, upper):
    estimate = elo_estimate(counts)
    assert estimate.pairs == sum(counts) and estimate.score == pytest.approx(score)
    for got, want in ((estimate.elo, elo), (estimate.lower, lower), (estimate.upper, upper)):
        assert got == pytest.approx(want, abs=0.01)


def test_no_pairs_no_estimate():
    estimate = elo_estimate((0, 0, 0, 0, 0))
    assert (estimate.elo, estimate.lower, estimate.upper) == (None, None, None)


def test_sprt_bounds_for_five_percent_errors():
    settings = SprtSettings(0, 10)
    assert settings.lower_bound == pytest.approx(-math.log(19))  # log(.05 / .95) = -2.944
    assert settings.upper_bound == pytest.approx(math.log(19))


def test_llr_of_won_and_lost_pairs_is_the_binomial_ratio():
    # With pairs only won (30) or lost (20) outright the constrained maximum
    # likelihood puts the hypothesis score on a won pair, so the ratio is
    # 30 log(s1 / s0) + 20 log((1 - s1) / (1 - s0)) with s0 = .5 and
    # s1 = 1 / (1 + 10^(-100/400)) = .640065: 30 * .246962 - 20 * .328705 = .83516.
    # The tiny counts given to the empty classes move it by less than 1e-3.
    assert llr((20, 0, 0, 0, 30), 0, 100) == pytest.approx(0.83516, abs=1e-3)


def test_llr_changes_sign_with_the_hypotheses_and_is_zero_without_games():
    counts = (1, 3, 7, 9, 4)
    assert llr(counts, 0, 20) == pytest.approx(-llr(counts, 20, 0))
    assert llr(counts, 0, 20) > 0  # a mean pair score of .6 is nearer +20 than 0
    assert llr((0, 0, 0, 0, 0), 0, 10) == 0.0


@pytest.mark.parametrize(
    "counts, verdict",
    [
        ((0, 1, 4, 10, 15), "H1"),
        ((15, 10, 4, 1, 0), "H0"),
        ((1, 2, 4, 2, 1), None),
        ((0, 0, 0, 0, 3), None),  # three won pairs cannot tell +50 from 0 yet
    ],
)
def test_sprt_decision(counts, verdict):
    settings = SprtSettings(0, 50)
    assert sprt_decision(llr(counts, settings.elo0, settings.elo1), settings) == verdict


@pytest.mark.parametrize("elo0, elo1, alpha", [(10, 0, 0.05), (5, 5, 0.05), (0, 10, 0.0), (0, 10, 0.5)])
def test_bad_sprt_settings_are_refused(elo0, elo1, alpha):
    with pytest.raises(ValueError):
        SprtSettings(elo0, elo1, alpha=alpha)
