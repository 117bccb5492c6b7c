// The rules on the listed positions: move order in the initial position,
// supporting pivots, the reason given for each kind of illegal move, a
// capture that ends the game, and sides too small to move.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/movegen.h"
#include "core/position.h"
#include "core_printing_support.h"
#include "core_reference_support.h"

namespace tovak {
namespace {

Square sq(const char* text) { return *parse_square(text); }
Move mv(const char* text) { return *parse_move(text); }

std::vector<std::string> texts(const std::vector<Move>& moves) {
    std::vector<std::string> out;
    for (const Move m : moves) out.push_back(to_string(m));
    return out;
}

TEST(InitialPosition, SixtyTwoMovesFromRankOneToRankThreeInRuleOrder) {
    const Position p = Position::initial();
    const std::vector<std::string> expected_start = {"a1-b3", "b1-a3", "a1-c3",
                                                     "b1-b3", "c1-a3", "a1-d3"};
    const std::vector<std::string> expected_end = {"f1-h3", "g1-g3", "h1-f3", "g1-h3", "h1-g3"};
    for (const std::vector<Move>& moves : {p.legal_moves(), reference::legal_moves(p)}) {
        ASSERT_EQ(moves.size(), 62u);
        for (const Move m : moves) {
            EXPECT_EQ(m.from.rank(), 0) << to_string(m);
            EXPECT_EQ(m.to.rank(), 2) << to_string(m);
        }
        const std::vector<std::string> all = texts(moves);
        EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 6), expected_start);
        EXPECT_EQ(std::vector<std::string>(all.end() - 5, all.end()), expected_end);
    }
}

struct PivotCase {
    const char* move;
    Pivot pivot;
    std::vector<std::pair<const char*, const char*>> supports;
};

class InitialSupportingPivots : public ::testing::TestWithParam<PivotCase> {};

TEST_P(InitialSupportingPivots, ListsEveryPairInOrder) {
    const PivotCase& c = GetParam();
    std::vector<SupportingPivot> expected;
    for (const auto& [a, b] : c.supports)
        expected.push_back(SupportingPivot{c.pivot, {sq(a), sq(b)}});
    const Position p = Position::initial();
    EXPECT_EQ(p.supporting_pivots(Color::White, mv(c.move)), expected);
    EXPECT_EQ(reference::supporting_pivots(p, Color::White, mv(c.move)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Listed, InitialSupportingPivots,
    ::testing::Values(PivotCase{"a1-b3", Pivot{1, 2}, {{"a2", "b2"}}},
                      PivotCase{"d1-d3", Pivot{6, 2}, {{"a2", "g2"}, {"b2", "f2"}, {"c2", "e2"}}},
                      PivotCase{"e2-e4", Pivot{8, 4}, {}}));

struct ErrorCase {
    const char* move;
    std::optional<MoveError> error;
    const char* message;
};

class InitialMoveErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(InitialMoveErrors, FirstFailingTestDecidesAndNothingChanges) {
    const ErrorCase& c = GetParam();
    const Position before = Position::initial();
    EXPECT_EQ(before.is_legal_move(mv(c.move)), c.error);
    EXPECT_EQ(reference::is_legal_move(before, mv(c.move)), c.error);
    Position p = before;
    EXPECT_EQ(p.apply_move(mv(c.move)), c.error);
    if (c.error) {
        EXPECT_EQ(message(*c.error), c.message);
        EXPECT_EQ(p, before);
    } else {
        EXPECT_NE(p, before);
        EXPECT_EQ(p.side_to_move, Color::Black);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Listed, InitialMoveErrors,
    ::testing::Values(
        ErrorCase{"a1-a1", MoveError::SameSquare, "start and destination must differ"},
        ErrorCase{"e3-e3", MoveError::SameSquare, "start and destination must differ"},
        ErrorCase{"a7-a7", MoveError::SameSquare, "start and destination must differ"},
        ErrorCase{"a7-a6", MoveError::NotOwnPiece, "piece does not belong to player to move"},
        ErrorCase{"a7-a2", MoveError::NotOwnPiece, "piece does not belong to player to move"},
        ErrorCase{"a3-a4", MoveError::EmptyOrigin, "origin square is empty"},
        ErrorCase{"a3-a2", MoveError::EmptyOrigin, "origin square is empty"},
        ErrorCase{"a1-a2", MoveError::FriendlyDestination,
                  "destination is occupied by a friendly piece"},
        ErrorCase{"e2-e4", MoveError::NoSupportingPivot,
                  "no supporting pivot exists for this move"},
        ErrorCase{"a1-a7", MoveError::NoSupportingPivot,
                  "no supporting pivot exists for this move"},
        ErrorCase{"a1-b3", std::nullopt, ""}, ErrorCase{"d1-d3", std::nullopt, ""}));

TEST(MoveErrors, ValuesAndMessages) {
    EXPECT_EQ(static_cast<int>(MoveError::NotOwnPiece), 0);
    EXPECT_EQ(static_cast<int>(MoveError::EmptyOrigin), 1);
    EXPECT_EQ(static_cast<int>(MoveError::SameSquare), 2);
    EXPECT_EQ(static_cast<int>(MoveError::FriendlyDestination), 3);
    EXPECT_EQ(static_cast<int>(MoveError::NoSupportingPivot), 4);
    EXPECT_EQ(message(MoveError::NotOwnPiece), "piece does not belong to player to move");
    EXPECT_EQ(message(MoveError::EmptyOrigin), "origin square is empty");
    EXPECT_EQ(message(MoveError::SameSquare), "start and destination must differ");
    EXPECT_EQ(message(MoveError::FriendlyDestination),
              "destination is occupied by a friendly piece");
    EXPECT_EQ(message(MoveError::NoSupportingPivot), "no supporting pivot exists for this move");
}

TEST(Capture, TheOnlyMoveTakesAndLeavesBlackWithoutMoves) {
    Position p = Position::empty(Color::White);
    for (const char* s : {"a1", "b1", "a2"}) p.set_piece(Color::White, sq(s));
    for (const char* s : {"b2", "h8"}) p.set_piece(Color::Black, sq(s));
    ASSERT_EQ(texts(p.legal_moves()), std::vector<std::string>{"a1-b2"});
    EXPECT_EQ(texts(reference::legal_moves(p)), std::vector<std::string>{"a1-b2"});
    std::vector<std::pair<Square, Bitboard>> destinations;
    for_each_piece(p.white(), [&](Square from, Bitboard to) {
        destinations.emplace_back(from, to);
        return true;
    });
    EXPECT_EQ(destinations, (std::vector<std::pair<Square, Bitboard>>{
                                {sq("a1"), bit_of(sq("b2").index)}, {sq("b1"), 0}, {sq("a2"), 0}}));
    EXPECT_EQ(p.outcome(), std::nullopt);

    ASSERT_FALSE(p.apply_move(mv("a1-b2")).has_value());
    EXPECT_EQ(p.piece_at(sq("b2")), Color::White);
    EXPECT_EQ(p.piece_at(sq("a1")), std::nullopt);
    EXPECT_EQ(p.piece_count(Color::Black), 1);
    EXPECT_EQ(p.piece_count(Color::White), 3);
    EXPECT_EQ(p.side_to_move, Color::Black);
    EXPECT_TRUE(p.legal_moves().empty());
    EXPECT_FALSE(has_legal_move(p));
    EXPECT_EQ(p.outcome(), Color::White);
    EXPECT_EQ(reference::outcome(p), Color::White);
}

TEST(Outcome, EmptyBoardIsLostBySideToMove) {
    EXPECT_EQ(Position::empty(Color::White).outcome(), Color::Black);
    EXPECT_EQ(Position::empty(Color::Black).outcome(), Color::White);
    EXPECT_EQ(Position::initial().outcome(), std::nullopt);
}

// Fewer than three pieces never move, whatever stands around them: every
// placement of one or two pieces, with the rest of the board full of enemies
// or empty.
TEST(Outcome, SidesWithFewerThanThreePiecesHaveNoMove) {
    Position crowded = Position::empty(Color::Black);
    for (int i = 0; i < 64; ++i) crowded.set_piece(Color::White, Square::from_index(i));
    for (int a = 0; a < 64; ++a) {
        for (int b = a; b < 64; ++b) {
            for (const Position& board : {Position::empty(Color::Black), crowded}) {
                Position p = board;
                p.set_piece(Color::Black, Square::from_index(a));
                p.set_piece(Color::Black, Square::from_index(b));
                ASSERT_FALSE(has_legal_move(p)) << a << "," << b;
                MoveList moves;
                generate_legal_moves(p, moves);
                ASSERT_TRUE(moves.empty());
                ASSERT_EQ(p.outcome(), Color::White);
                int pieces = 0;
                ASSERT_TRUE(for_each_piece(p.black(), [&](Square, Bitboard destinations) {
                    ++pieces;
                    return destinations == 0;
                }));
                ASSERT_EQ(pieces, p.piece_count(Color::Black));
            }
        }
    }
}

}  // namespace
}  // namespace tovak
