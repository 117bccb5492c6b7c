// Static evaluation: the worked examples and agreement with the literal
// evaluation on many positions (the per-piece move counting it rests on is
// checked in engine_side_moves_test.cpp).

#include <gtest/gtest.h>

#include <random>

#include "core/bitboard.h"
#include "core_reference_support.h"
#include "engine/evaluate.h"
#include "engine_cases_support.h"
#include "engine_reference_support.h"

namespace tovak::engine {
namespace {

struct EvaluationCase {
    const char* name;
    const char* white;
    const char* black;
    Color side_to_move;
    std::int32_t score;
};

class EvaluationExamples : public ::testing::TestWithParam<EvaluationCase> {};

TEST_P(EvaluationExamples, ScoreTheWorkedValue) {
    const EvaluationCase& c = GetParam();
    const Position p = position_from(c.white, c.black, c.side_to_move);
    EXPECT_EQ(evaluate(p), c.score);
    EXPECT_EQ(reference_engine::evaluate(p), c.score);
}

INSTANTIATE_TEST_SUITE_P(
    Listed, EvaluationExamples,
    ::testing::Values(
        EvaluationCase{"EmptyBoardWhite", "", "", Color::White, LOSS_SCORE},
        EvaluationCase{"EmptyBoardBlack", "", "", Color::Black, LOSS_SCORE},
        // One move a1-d1; 240 + 12 + 0 - 66 - 8.
        EvaluationCase{"LoneMoveAgainstOnePiece", "a1 b1 c1", "h8", Color::White, 178},
        EvaluationCase{"OnePieceToMoveHasNoMove", "a1 b1 c1", "h8", Color::Black, LOSS_SCORE},
        // The only move a1-g1 captures; the opponent has no move at all.
        EvaluationCase{"OnlyMoveIsACapture", "a1 c1 e1", "g1 h8", Color::White, 149},
        // Seven moves, five captures, g6 immobile against f7-g6 alone.
        EvaluationCase{"CapturesOnBothSides", "b7 c6 d5 g6", "e8 f7 h5", Color::White, 334},
        EvaluationCase{"CapturesOnBothSidesBlackToMove", "b7 c6 d5 g6", "e8 f7 h5", Color::Black, -334},
        EvaluationCase{"TwoPiecesNeverMove", "a1 h8", "d4 e4 d5 e5", Color::White, LOSS_SCORE}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Evaluation, InitialPositionIsBalancedForEitherSide) {
    Position p = Position::initial();
    EXPECT_EQ(evaluate(p), 0);
    p.set_side_to_move(Color::Black);
    EXPECT_EQ(evaluate(p), 0);
}

TEST(Evaluation, CentreDistanceRunsFromTwoToFourteen) {
    const struct {
        const char* square;
        int distance;
    } cases[] = {{"d4", 2}, {"e5", 2}, {"a1", 14}, {"h8", 14}, {"b1", 12}, {"c1", 10}, {"a3", 10}, {"g1", 12}};
    for (const auto& c : cases) EXPECT_EQ(centre_distance(*parse_square(c.square)), c.distance) << c.square;
}

TEST(Evaluation, CentreDistanceSumMatchesSquareBySquare) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 500; ++i) {
        const Bitboard set = rng() & rng();
        int expected = 0;
        for (int s = 0; s < 64; ++s)
            if (set & bit_of(s)) expected += reference_engine::centre_distance(Square::from_index(s));
        EXPECT_EQ(centre_distance_sum(set), expected);
    }
}

TEST(Evaluation, MatchesTheLiteralEvaluationOnSamples) {
    for (const Position& p : sample_positions(21, 16, 2, 200)) {
        const std::int32_t score = evaluate(p);
        ASSERT_EQ(score, reference_engine::evaluate(p)) << describe(p);
        // The loss score means exactly one thing: the side to move has no move.
        EXPECT_EQ(score == LOSS_SCORE, reference::outcome(p).has_value()) << describe(p);
    }
}

TEST(Evaluation, SwappingTheSideToMoveNegatesWhenBothCanMove) {
    int checked = 0;
    for (const Position& p : sample_positions(31, 10, 1, 100)) {
        Position swapped = p;
        swapped.set_side_to_move(opponent(p.side_to_move));
        if (!reference::outcome(p) && !reference::outcome(swapped)) {
            EXPECT_EQ(evaluate(swapped), -evaluate(p)) << describe(p);
            ++checked;
        }
    }
    EXPECT_GT(checked, 100);
}

}  // namespace
}  // namespace tovak::engine
