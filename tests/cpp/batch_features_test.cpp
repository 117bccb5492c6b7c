// The planes and masks of the batch against the literal ones of the
// reference, on the positions of seeded random games, from both sides.

#include <gtest/gtest.h>

#include <random>

#include "batch/features.h"
#include "batch/legal_moves.h"
#include "batch_reference_support.h"

namespace tovak {
namespace {

TEST(BatchFeatures, PlanesAndMaskMatchTheReferenceFromBothSides) {
    std::mt19937_64 random(2024);
    int positions = 0;
    for (int game = 0; game < 40; ++game) {
        Position p = Position::initial();
        for (int ply = 0; ply < 120; ++ply) {
            LegalMoves moves;
            collect_legal_moves(p, moves);
            const std::vector<Move> listed = p.legal_moves();
            ASSERT_EQ(moves.count, static_cast<int>(listed.size()));
            for (int k = 1; k < moves.count; ++k)
                ASSERT_LT(dense_index(moves.nth(k - 1)), dense_index(moves.nth(k)));
            for (const Move m : listed) ASSERT_TRUE(moves.contains(m));
            for (Color viewer : {Color::White, Color::Black}) {
                std::vector<float> planes(PLANES_SIZE);
                write_planes(p, viewer, planes.data());
                ASSERT_EQ(planes, batch_test::reference_planes(p, viewer));
                std::vector<std::uint8_t> mask(ACTION_COUNT, 7);
                write_legal_mask(p, moves, viewer, mask.data());
                ASSERT_EQ(mask, batch_test::reference_mask(p, viewer));
            }
            ++positions;
            if (moves.empty()) break;
            p.apply_legal_move(listed[random() % listed.size()]);
        }
    }
    EXPECT_GT(positions, 1000);
}

TEST(BatchFeatures, InitialPositionLooksTheSameToBothSides) {
    const Position initial = Position::initial();
    Position black_to_move = initial;
    black_to_move.set_side_to_move(Color::Black);
    std::vector<float> white(PLANES_SIZE), black(PLANES_SIZE);
    write_planes(initial, Color::White, white.data());
    write_planes(black_to_move, Color::Black, black.data());
    EXPECT_EQ(white, black);
    LegalMoves white_moves, black_moves;
    collect_legal_moves(initial, white_moves);
    collect_legal_moves(black_to_move, black_moves);
    std::vector<std::uint8_t> white_mask(ACTION_COUNT), black_mask(ACTION_COUNT);
    write_legal_mask(initial, white_moves, Color::White, white_mask.data());
    write_legal_mask(black_to_move, black_moves, Color::Black, black_mask.data());
    EXPECT_EQ(white_mask, black_mask);
    EXPECT_EQ(std::count(white_mask.begin(), white_mask.end(), 1), 62);
}

TEST(BatchFeatures, ActionNumbersRoundTripAndTurnForBlack) {
    for (int action = 0; action < 4096; ++action)
        for (Color viewer : {Color::White, Color::Black})
            ASSERT_EQ(action_of(move_of_action(action, viewer), viewer), action);
    const Move a1_b3{Square::from_index(0), Square::from_index(17)};
    EXPECT_EQ(action_of(a1_b3, Color::White), 17);
    EXPECT_EQ(move_of_action(17, Color::Black),
              (Move{Square::from_index(56), Square::from_index(41)}));  // a8-b6
}

}  // namespace
}  // namespace tovak
