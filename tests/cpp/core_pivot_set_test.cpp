// The pivot set behind move generation, the evaluation's counts and the move
// order: which pivots it holds, where each piece reaches through them, and
// which pair first supports each pivot in the rules' enumeration.

#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "core/bitboard.h"
#include "core/movegen.h"

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

// The destinations kept per piece (worked out in vector registers where
// there are any) are the reflections through the plain set that land on a
// non-own square, and the counts add them up.
TEST(PivotSet, SideMovesKeepEachPiecesDestinations) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 400; ++i) {
        const Bitboard own = (i % 4 == 0) ? rng() : rng() & rng();
        const Bitboard enemy = rng() & ~own;
        const SideMoves side(own, enemy);
        const PivotSet set = pair_pivots(own);
        MoveCounts counts;
        for (Bitboard rest = own; rest;) {
            const int s = pop_lowest_bit(rest);
            const Bitboard want = reflections(set, s & 7, s >> 3) & ~own;
            ASSERT_EQ(side.destinations(s), want) << std::hex << own;
            counts.add_piece(want, enemy);
        }
        EXPECT_EQ(side.counts(), counts);
        EXPECT_EQ(count_moves(own, enemy), counts);
        EXPECT_EQ(side.any_move(), counts.moves > 0);
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
                ASSERT_EQ(first_pairs.lower(pivot_spread(px, py)), expected.value_or(64)) << std::hex << own;
            }
        }
    }
}

// A move's place grows with its index in the rules' enumeration, and gives
// the move back.
TEST(PivotSet, MovePlacesFollowTheEnumeration) {
    std::mt19937_64 rng(11);
    for (int i = 0; i < 100; ++i) {
        Position p = Position::empty(Color::White);
        for (Bitboard own = rng() & rng(); own;) p.set_piece(Color::White, Square::from_index(pop_lowest_bit(own)));
        MoveList moves;
        generate_legal_moves(p, moves);
        const FirstPairs first_pairs(p.white());
        std::uint32_t previous = 0;
        for (std::size_t k = 0; k < moves.size(); ++k) {
            const Move m = moves[k];
            const std::uint32_t place =
                move_place(first_pairs.lower(move_pivot_spread(m.from.index, m.to.index)), m.from.index, m.to.index);
            ASSERT_EQ(move_at_place(place), m);
            if (k > 0) {
                ASSERT_GT(place, previous) << std::hex << p.white();
            }
            previous = place;
        }
    }
}

}  // namespace
}  // namespace tovak
