#pragma once
// The random numbers of a search: one generator per game, seeded from the
// run's seed and the game's index, so that a game draws the same numbers
// whichever thread walks it and however the games are split between threads.
// Every distribution is written out here (no standard-library distribution,
// whose algorithms differ between library versions), so a seed gives the
// same search on every build.

#include <cmath>
#include <cstdint>

namespace tovak::mcts {

// One step of SplitMix64: a bijective mix of 64 bits, used to derive seeds.
constexpr std::uint64_t mix64(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

// xoshiro256**: fast, 256 bits of state, never all zero once seeded by mix64.
class Generator {
  public:
    Generator() : Generator(0, 0) {}
    // The generator of game `game` of a run seeded with `seed`.
    Generator(std::uint64_t seed, std::uint64_t game) {
        std::uint64_t x = mix64(seed) ^ mix64(game ^ 0xd1b54a32d192ed03ULL);
        for (std::uint64_t& word : state_) word = x = mix64(x);
    }

    std::uint64_t next() {
        const std::uint64_t result = rotl(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotl(state_[3], 45);
        return result;
    }

    // Uniform in [0, 1), 53 bits.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    // Uniform in (0, 1): safe under a logarithm.
    double open_uniform() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1.0p-53; }
    // Uniform in 0..n-1 for 1 <= n < 2^32 (move counts are at most 1024):
    // the high half of a 32 x 32 product of the top 32 random bits and n.
    std::uint32_t below(std::uint32_t n) {
        return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32);
    }
    // Standard normal, by the polar method.
    double normal() {
        for (;;) {
            const double u = 2.0 * uniform() - 1.0;
            const double v = 2.0 * uniform() - 1.0;
            const double s = u * u + v * v;
            if (s > 0.0 && s < 1.0) return u * std::sqrt(-2.0 * std::log(s) / s);
        }
    }
    // Gamma(shape, 1) for shape > 0: the squeeze method of Marsaglia and
    // Tsang, with shape < 1 lifted to shape + 1 and scaled back by u^(1/shape).
    double gamma(double shape) {
        if (shape < 1.0) return gamma(shape + 1.0) * std::pow(open_uniform(), 1.0 / shape);
        const double d = shape - 1.0 / 3.0;
        const double c = 1.0 / std::sqrt(9.0 * d);
        for (;;) {
            const double x = normal();
            double v = 1.0 + c * x;
            if (v <= 0.0) continue;
            v = v * v * v;
            const double u = open_uniform();
            if (u < 1.0 - 0.0331 * x * x * x * x) return d * v;
            if (std::log(u) < 0.5 * x * x + d * (1.0 - v + std::log(v))) return d * v;
        }
    }
    // Standard Gumbel: -log(-log(u)).
    double gumbel() { return -std::log(-std::log(open_uniform())); }

  private:
    static constexpr std::uint64_t rotl(std::uint64_t x, int k) {
        return (x << k) | (x >> (64 - k));
    }
    std::uint64_t state_[4];
};

}  // namespace tovak::mcts
