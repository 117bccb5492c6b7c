// Move ordering and capture generation: the worked examples, and agreement
// with the literal stable-sort-then-reverse on many positions and hints.

#include <gtest/gtest.h>

#include <random>

#include "core_reference_support.h"
#include "core/movegen.h"
#include "core/pivot_set.h"
#include "core/reflection.h"
#include "engine/move_place.h"
#include "engine/ordering.h"
#include "engine_cases_support.h"
#include "engine_reference_support.h"

namespace tovak::engine {
namespace {

std::vector<Move> ordered(const Position& p, std::optional<Move> hint) {
    MoveList list;
    ordered_moves(p, hint, list);
    return std::vector<Move>(list.begin(), list.end());
}

std::vector<Move> captures(const Position& p, std::optional<Move> hint) {
    CaptureList list;
    capture_moves(p, hint, list);
    return std::vector<Move>(list.begin(), list.end());
}

std::vector<Move> head(std::vector<Move> moves, std::size_t n) {
    if (moves.size() > n) moves.resize(n);
    return moves;
}

const Position CAPTURE_RICH = position_from("b7 c6 d5 g6", "e8 f7 h5", Color::White);

// The literal scores the fast ordering is checked against, on worked
// examples, and the part of them that depends on the move alone.
TEST(Ordering, ScoresAddTheirTerms) {
    using reference_engine::move_ordering_score;
    EXPECT_EQ(move_shape_score(*parse_square("h1"), *parse_square("a3")), 940);
    EXPECT_EQ(move_shape_score(*parse_square("c6"), *parse_square("h5")), 580);
    const Position p = Position::initial();
    // 9 steps, centre gain 14 - 10.
    EXPECT_EQ(move_ordering_score(p, *parse_square("h1"), *parse_square("a3"), std::nullopt), 940);
    EXPECT_EQ(move_ordering_score(p, *parse_square("h1"), *parse_square("a3"), move_from("h1-a3")), 1000940);
    // c6-h5: 5 + 1 steps, centre gain 6 - 8, onto an enemy piece.
    EXPECT_EQ(move_ordering_score(CAPTURE_RICH, *parse_square("c6"), *parse_square("h5"), std::nullopt), 100580);
    // b7-c6 lands on a friendly piece: the bonus tests for a piece of either colour.
    EXPECT_EQ(move_ordering_score(CAPTURE_RICH, *parse_square("b7"), *parse_square("c6"), std::nullopt),
              100000 + 200 + 10 * (10 - 6));
}

TEST(Ordering, InitialPositionStartsWithTheLongestMovesLaterGeneratedFirst) {
    EXPECT_EQ(head(ordered(Position::initial(), std::nullopt), 8),
              moves_from("h1-a3 a1-h3 h1-b3 a1-g3 b1-h3 g1-a3 h1-c3 a1-f3"));
}

TEST(Ordering, HintLeadsAndAnIllegalHintChangesNothing) {
    const std::vector<Move> plain = ordered(Position::initial(), std::nullopt);
    EXPECT_EQ(head(ordered(Position::initial(), move_from("a1-h3")), 3), moves_from("a1-h3 h1-a3 h1-b3"));
    EXPECT_EQ(ordered(Position::initial(), move_from("e2-e4")), plain);
    EXPECT_EQ(ordered(Position::initial(), move_from("a1-a1")), plain);
    EXPECT_EQ(plain.size(), 62u);
}

TEST(Ordering, CapturesComeFirstAndTiesFavourTheLaterMove) {
    ASSERT_EQ(reference::legal_moves(CAPTURE_RICH), moves_from("b7-e4 c6-h5 d5-f7 b7-h5 d5-a8 d5-e8 c6-f7"));
    EXPECT_EQ(ordered(CAPTURE_RICH, std::nullopt), moves_from("b7-h5 c6-h5 c6-f7 d5-e8 d5-f7 b7-e4 d5-a8"));
}

TEST(Ordering, CaptureListKeepsTheBestFourAfterTheHint) {
    // d5-f7 ties with d5-e8 but was generated earlier, so it is dropped...
    EXPECT_EQ(captures(CAPTURE_RICH, std::nullopt), moves_from("b7-h5 c6-h5 c6-f7 d5-e8"));
    // ... unless it is the hint.
    EXPECT_EQ(captures(CAPTURE_RICH, move_from("d5-f7")), moves_from("d5-f7 b7-h5 c6-h5 c6-f7"));
    // A quiet hint is no capture and changes nothing.
    EXPECT_EQ(captures(CAPTURE_RICH, move_from("b7-e4")), moves_from("b7-h5 c6-h5 c6-f7 d5-e8"));
}

TEST(Ordering, WithoutTargetsOrMovesTheListsAreEmpty) {
    EXPECT_TRUE(captures(Position::initial(), std::nullopt).empty());
    EXPECT_EQ(ordered(Position::initial(), std::nullopt).size(), 62u);
    const Position finished = position_from("a1 b1", "c5 d6 e7", Color::White);
    EXPECT_TRUE(ordered(finished, std::nullopt).empty());
    EXPECT_TRUE(captures(finished, std::nullopt).empty());
}

TEST(Ordering, ScoreDoesNotDependOnTheSideToMove) {
    using reference_engine::move_ordering_score;
    Position black = CAPTURE_RICH;
    black.set_side_to_move(Color::Black);
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            if (from == to) continue;
            const Square f = Square::from_index(from);
            const Square t = Square::from_index(to);
            ASSERT_EQ(move_ordering_score(CAPTURE_RICH, f, t, std::nullopt), move_ordering_score(black, f, t, std::nullopt));
        }
    }
}

// Hints worth trying on a position: none, a legal move, a legal capture
// (when there is one), and a move that is not legal.
std::vector<std::optional<Move>> hints_for(const Position& p, std::mt19937_64& rng) {
    std::vector<std::optional<Move>> hints = {std::nullopt, move_from("a1-h8")};
    const std::vector<Move> moves = reference::legal_moves(p);
    if (!moves.empty()) hints.push_back(moves[rng() % moves.size()]);
    const std::vector<Move> caps = reference_engine::capture_moves(p, std::nullopt);
    if (!caps.empty()) hints.push_back(caps.back());
    return hints;
}

TEST(Ordering, MatchesTheLiteralSortOnSamples) {
    std::mt19937_64 rng(17);
    int with_many_captures = 0;
    for (const Position& p : sample_positions(41, 6, 4, 60)) {
        for (const std::optional<Move> hint : hints_for(p, rng)) {
            ASSERT_EQ(ordered(p, hint), reference_engine::ordered_moves(p, hint)) << describe(p);
            ASSERT_EQ(captures(p, hint), reference_engine::capture_moves(p, hint)) << describe(p);
        }
        // Positions with five or more captures exercise the cut to four.
        std::size_t all_captures = 0;
        for (const Move m : reference::legal_moves(p)) all_captures += p.piece_at(m.to).has_value();
        if (all_captures >= 5) {
            ++with_many_captures;
            EXPECT_EQ(captures(p, std::nullopt).size(), MAX_CAPTURES);
        }
    }
    EXPECT_GT(with_many_captures, 10);
}

// The moves a list has not handed out yet, counted on a copy.
std::size_t remaining(OrderedMoves moves) {
    std::size_t n = 0;
    while (moves.next()) ++n;
    return n;
}

// Handing out only part of the list (a cut-off) yields the head of the full
// order, and the rest of it stays to be handed out.
TEST(Ordering, PartialWalksYieldTheHeadOfTheOrder) {
    for (const Position& p : sample_positions(43, 4, 5, 20)) {
        const std::vector<Move> full = reference_engine::ordered_moves(p, std::nullopt);
        for (std::size_t taken = 0; taken <= std::min<std::size_t>(full.size(), 7); ++taken) {
            const SideMoves us(p.pieces(p.side_to_move), p.pieces(opponent(p.side_to_move)));
            OrderedMoves moves(us, std::nullopt);
            EXPECT_EQ(remaining(moves), full.size());
            for (std::size_t i = 0; i < taken; ++i) ASSERT_EQ(moves.next(), full[i]) << describe(p);
            EXPECT_EQ(remaining(moves), full.size() - taken);
        }
    }
}

// A move's place grows with its index in the rules' enumeration, and gives
// the move back.
TEST(Ordering, MovePlacesFollowTheEnumeration) {
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
            const std::uint32_t place = move_place(first_pairs.lower(move_pivot_spread(m.from, m.to)), m.from, m.to);
            ASSERT_EQ(move_at_place(place), m);
            if (k > 0) {
                ASSERT_GT(place, previous) << std::hex << p.white();
            }
            previous = place;
        }
    }
}

}  // namespace
}  // namespace tovak::engine
