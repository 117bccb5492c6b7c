#pragma once
// The random draws of a search, on the batch's per-game generator: one
// generator per game, seeded from the search's seed and the game's index, so
// that a game draws the same numbers whichever thread walks it and however
// the games are split between threads. Every distribution is written out
// here (no standard-library distribution, whose algorithms differ between
// library versions), so a seed gives the same search on every build.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "batch/game_random.h"

namespace tovak::mcts {

// Mixed into the search's seed, so that a search and the games it searches,
// seeded alike, still draw from different streams.
constexpr std::uint64_t SEARCH_STREAM = 0x5ea4c4b1a57e7a11ULL;

inline GameRandom search_random(std::uint64_t seed, std::size_t game) {
    return GameRandom(seed ^ SEARCH_STREAM, game);
}

// Uniform in [0, 1), 53 bits.
inline double uniform(GameRandom& random) {
    return static_cast<double>(random.next() >> 11) * 0x1.0p-53;
}
// Uniform in (0, 1): safe under a logarithm.
inline double open_uniform(GameRandom& random) {
    return (static_cast<double>(random.next() >> 11) + 0.5) * 0x1.0p-53;
}
// Standard normal, by the polar method.
inline double normal(GameRandom& random) {
    for (;;) {
        const double u = 2.0 * uniform(random) - 1.0;
        const double v = 2.0 * uniform(random) - 1.0;
        const double s = u * u + v * v;
        if (s > 0.0 && s < 1.0) return u * std::sqrt(-2.0 * std::log(s) / s);
    }
}
// Gamma(shape, 1) for shape > 0: the squeeze method of Marsaglia and Tsang,
// with shape < 1 lifted to shape + 1 and scaled back by u^(1/shape).
inline double gamma(GameRandom& random, double shape) {
    if (shape < 1.0)
        return gamma(random, shape + 1.0) * std::pow(open_uniform(random), 1.0 / shape);
    const double d = shape - 1.0 / 3.0;
    const double c = 1.0 / std::sqrt(9.0 * d);
    for (;;) {
        const double x = normal(random);
        double v = 1.0 + c * x;
        if (v <= 0.0) continue;
        v = v * v * v;
        const double u = open_uniform(random);
        if (u < 1.0 - 0.0331 * x * x * x * x) return d * v;
        if (std::log(u) < 0.5 * x * x + d * (1.0 - v + std::log(v))) return d * v;
    }
}
// Standard Gumbel: -log(-log(u)).
inline double gumbel(GameRandom& random) { return -std::log(-std::log(open_uniform(random))); }

}  // namespace tovak::mcts
