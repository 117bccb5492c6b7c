// The pivot grid behind the evaluation's counts and the move order: which
// pivots it holds, where each piece reaches through them, and which pair
// first supports each pivot in the rules' enumeration.

#include <gtest/gtest.h>

#include <random>

#include "core/bitboard.h"
#include "engine/pivot_grid.h"

namespace tovak::engine {
namespace {

TEST(PivotGrid, HoldsExactlyThePairPivots) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 300; ++i) {
        const Bitboard own = (i % 3 == 0) ? rng() : rng() & rng() & rng();
        bool expected[15][15] = {};
        for (int a = 0; a < 64; ++a)
            for (int b = a + 1; b < 64; ++b)
                if ((own & bit_of(a)) && (own & bit_of(b))) expected[(a & 7) + (b & 7)][(a >> 3) + (b >> 3)] = true;
        std::uint8_t first_lower[256];
        for (const PivotGrid& grid : {pair_pivot_grid(own), pair_pivot_grid(own, first_lower)}) {
            for (int py = 0; py < 16; ++py)
                for (int px = 0; px < 16; ++px)
                    ASSERT_EQ((grid.rows[py] >> px) & 1, (px < 15 && py < 15 && expected[px][py]) ? 1 : 0)
                        << "own " << std::hex << own << std::dec << " pivot " << px << "," << py;
        }
    }
}

TEST(PivotGrid, VectorReflectionsMatchThePortableForm) {
    std::mt19937_64 rng(5);
    for (int i = 0; i < 200; ++i) {
        const PivotGrid grid = pair_pivot_grid(rng() & rng());
        for (int s = 0; s < 64; ++s)
            ASSERT_EQ(reflections(grid, s & 7, s >> 3), reflections_portable(grid, s & 7, s >> 3));
    }
}

// The first pair in the rules' order: the lexicographically first pair of
// ascending squares with the pivot.
std::optional<int> literal_first_lower(Bitboard own, int px, int py) {
    for (int a = 0; a < 64; ++a)
        for (int b = a + 1; b < 64; ++b)
            if ((own & bit_of(a)) && (own & bit_of(b)) && (a & 7) + (b & 7) == px && (a >> 3) + (b >> 3) == py)
                return a;
    return std::nullopt;
}

TEST(PivotGrid, FirstPairsAreTheFirstInTheRulesOrder) {
    std::mt19937_64 rng(9);
    for (int i = 0; i < 200; ++i) {
        const Bitboard own = (i % 4 == 0) ? rng() : rng() & rng();
        std::uint8_t first_lower[256];
        pair_pivot_grid(own, first_lower);
        const FirstPairs first_pairs(own);
        for (int px = 0; px < 15; ++px) {
            for (int py = 0; py < 15; ++py) {
                const std::optional<int> expected = literal_first_lower(own, px, py);
                if (!expected) continue;
                ASSERT_EQ(first_lower[px + 16 * py], *expected) << std::hex << own;
                ASSERT_EQ(first_pairs.lower(px, py), *expected) << std::hex << own;
            }
        }
    }
}

}  // namespace
}  // namespace tovak::engine
