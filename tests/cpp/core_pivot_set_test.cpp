// The pivot set behind move generation: which pivots it holds, where each
// piece reaches through them, and which pair first supports each pivot in
// the rules' enumeration.

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "core/bitboard.h"
#include "core/movegen.h"
#include "core/pivot_set.h"
#include "core/reflection.h"

namespace tovak {
namespace {

TEST(PivotSet, HoldsExactlyThePairPivots) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 300; ++i) {
        const Bitboard own = (i % 3 == 0) ? rng() : rng() & rng() & rng();
        bool expected[15][15] = {};
        for (int a = 0; a < 64; ++a)
            for (int b = a + 1; b < 64; ++b)
                if ((own & bit_of(a)) && (own & bit_of(b))) expected[(a & 7) + (b & 7)][(a >> 3) + (b >> 3)] = true;
        const PivotSet set = pair_pivots(own);
        for (int py = 0; py < 16; ++py)
            for (int px = 0; px < 16; ++px)
                ASSERT_EQ((set.rows[py] >> px) & 1, (px < 15 && py < 15 && expected[px][py]) ? 1 : 0)
                    << "own " << std::hex << own << std::dec << " pivot " << px << "," << py;
    }
}

// The destinations handed out per piece (worked out in vector registers
// where there are any) are the reflections through the plain set that land
// on a non-own square, piece by piece in ascending order; the walk stops at
// the first piece its visitor refuses.
TEST(PivotSet, EachPieceReachesTheReflectionsThroughTheSet) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 400; ++i) {
        const Bitboard own = (i % 4 == 0) ? rng() : rng() & rng();
        const PivotSet set = pair_pivots(own);
        Bitboard rest = own;
        ASSERT_TRUE(for_each_piece(own, [&](Square from, Bitboard destinations) {
            EXPECT_NE(rest, 0u);
            EXPECT_EQ(int{from.index}, lowest_bit(rest)) << std::hex << own;
            rest &= rest - 1;
            EXPECT_EQ(destinations, reflections(set, from) & ~own) << std::hex << own;
            return true;
        }));
        EXPECT_EQ(rest, 0u);
        if (popcount(own) < 2) continue;
        int visited = 0;
        EXPECT_FALSE(for_each_piece(own, [&](Square, Bitboard) { return ++visited < 2; }));
        EXPECT_EQ(visited, 2);
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

TEST(PivotSet, FirstPairsAreTheFirstInTheRulesOrder) {
    std::mt19937_64 rng(9);
    for (int i = 0; i < 200; ++i) {
        const Bitboard own = (i % 4 == 0) ? rng() : rng() & rng();
        const FirstPairs first_pairs(own);
        for (int px = 0; px < 15; ++px) {
            for (int py = 0; py < 15; ++py) {
                const std::optional<int> expected = literal_first_lower(own, px, py);
                const int spread = pivot_spread(px, py);
                ASSERT_EQ(first_pairs.paired_squares(spread) != 0, expected.has_value()) << std::hex << own;
                if (expected) {
                    ASSERT_EQ(int{first_pairs.lower(spread).index}, *expected) << std::hex << own;
                }
            }
        }
    }
}

}  // namespace
}  // namespace tovak
