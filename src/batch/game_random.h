#pragma once
// The random generator of one game of a batch: xoshiro256** with its state
// drawn from a SplitMix64 stream seeded by the batch's seed and the game's
// index. Every random choice of a game (opening plies, sampled actions, the
// random opponent) comes from its own generator, so a game's course never
// depends on how the games are split among threads.

#include <cstdint>

namespace tovak {

class GameRandom {
  public:
    GameRandom() : GameRandom(0, 0) {}
    GameRandom(std::uint64_t seed, std::uint64_t game) {
        // Distinct (seed, game) pairs start distinct SplitMix64 streams: the
        // game index is mixed first, so neighbouring games and neighbouring
        // seeds do not share a stream shifted by one step.
        std::uint64_t stream = seed ^ splitmix(game + 0x6a09e667f3bcc909ULL);
        for (std::uint64_t& word : state_) word = splitmix(stream += 0x9e3779b97f4a7c15ULL);
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

    // A uniform number in [0, n) for n >= 1, without modulo bias: the high
    // half of a 64x32-bit product, redrawn in the rare biased low range.
    std::uint32_t below(std::uint32_t n) {
        std::uint64_t product = (next() >> 32) * n;
        auto low = static_cast<std::uint32_t>(product);
        if (low < n) {
            const std::uint32_t threshold = static_cast<std::uint32_t>(-n) % n;
            while (low < threshold) {
                product = (next() >> 32) * n;
                low = static_cast<std::uint32_t>(product);
            }
        }
        return static_cast<std::uint32_t>(product >> 32);
    }

    friend bool operator==(const GameRandom&, const GameRandom&) = default;

  private:
    static constexpr std::uint64_t rotl(std::uint64_t x, int k) {
        return (x << k) | (x >> (64 - k));
    }
    static constexpr std::uint64_t splitmix(std::uint64_t z) {
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

    std::uint64_t state_[4];
};

}  // namespace tovak
