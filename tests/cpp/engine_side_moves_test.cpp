// The moves a search node lays out once (SideMoves) and the counts the
// evaluation takes from them, against the literal move list: each piece's
// destinations, the verdict on every from/to pair and the three counts, for
// both sides of many positions.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "core/bitboard.h"
#include "core_positions_support.h"
#include "core_reference_support.h"
#include "engine/move_counts.h"
#include "engine/side_moves.h"
#include "engine_cases_support.h"

namespace tovak::engine {
namespace {

// The position with `side` to move.
Position with_side_to_move(Position p, Color side) {
    p.set_side_to_move(side);
    return p;
}

void check_side(const Position& p, Color side, bool every_pair) {
    SCOPED_TRACE(describe(p));
    const Position mover = with_side_to_move(p, side);
    const std::vector<Move> moves = reference::legal_moves(mover);
    const SideMoves us(p.pieces(side), p.pieces(opponent(side)));
    ASSERT_EQ(us.own(), p.pieces(side));
    ASSERT_EQ(us.enemy(), p.pieces(opponent(side)));

    std::array<Bitboard, 64> want{};
    for (const Move m : moves) want[m.from.index] |= bit_of(m.to.index);
    for (Bitboard own = us.own(); own;) {
        const Square from = Square::from_index(pop_lowest_bit(own));
        ASSERT_EQ(us.destinations(from), want[from.index]) << to_string(from);
    }

    const reference::MoveCounts literal = reference::count_moves(p, side);
    for (const MoveCounts fast : {us.counts(), count_moves(us.own(), us.enemy())}) {
        EXPECT_EQ(fast.moves, literal.moves);
        EXPECT_EQ(fast.captures, literal.captures);
        EXPECT_EQ(fast.immobile, literal.immobile);
    }
    EXPECT_EQ(us.any_move(), !moves.empty());

    if (!every_pair) return;
    std::array<bool, 64 * 64> listed{};
    for (const Move m : moves) listed[static_cast<std::size_t>(dense_index(m))] = true;
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            const Move m{Square::from_index(from), Square::from_index(to)};
            ASSERT_EQ(us.is_move(m), listed[static_cast<std::size_t>(dense_index(m))]) << to_string(m);
        }
    }
}

TEST(SideMoves, AgreeWithTheMoveListsOfGameStates) {
    int i = 0;
    for (const Position& p : sample_positions(11, 12, 3, 0)) {
        for (const Color side : {Color::White, Color::Black}) ASSERT_NO_FATAL_FAILURE(check_side(p, side, i % 16 == 0));
        ++i;
    }
}

// Placements reach what games rarely do: sides of 0..3 pieces, crowded boards.
TEST(SideMoves, AgreeWithTheMoveListsOfPlacements) {
    int i = 0;
    for (const Position& p : samples::varied_placements(0x5de00000u, 300)) {
        for (const Color side : {Color::White, Color::Black}) ASSERT_NO_FATAL_FAILURE(check_side(p, side, i % 25 == 0));
        ++i;
    }
}

// The only move of White captures; the other two pieces start none.
TEST(SideMoves, CountTheOnlyCaptureAndTheImmobilePieces) {
    const Position p = position_from("a1 b1 a2", "b2 h8", Color::White);
    const SideMoves white(p);
    EXPECT_EQ(white.counts(), (MoveCounts{1, 1, 2}));
    EXPECT_EQ(white.destinations(*parse_square("a1")), bit_of(parse_square("b2")->index));
    EXPECT_TRUE(white.is_move(*parse_move("a1-b2")));
    EXPECT_FALSE(white.is_move(*parse_move("b2-a1")));  // from an enemy square
    EXPECT_EQ(count_moves(p.black(), p.white()), (MoveCounts{0, 0, 2}));
}

}  // namespace
}  // namespace tovak::engine
