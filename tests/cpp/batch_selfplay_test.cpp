// The batched self-play against the engine's own analysis with a fresh
// table per ply, the board replayed move by move, and the texts spelled out
// square by square; the reused table against a fresh one.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "batch/selfplay_games.h"
#include "engine/analysis.h"

namespace tovak {
namespace {

// The position text spelled out square by square, the slow way.
std::string reference_text(const Position& p) {
    std::string sides[2];
    for (int s = 0; s < 64; ++s) {
        const auto owner = p.piece_at(Square::from_index(s));
        if (!owner) continue;
        std::string& list = sides[index_of(*owner)];
        if (!list.empty()) list += ',';
        list += std::string(1, static_cast<char>('a' + s % 8)) + std::to_string(s / 8 + 1);
    }
    for (std::string& list : sides)
        if (list.empty()) list = "-";
    return "W:" + sides[0] + " B:" + sides[1] + (p.side_to_move == Color::White ? " w" : " b");
}

std::vector<SelfPlayOpening> random_openings(int games, int random_plies, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<SelfPlayOpening> out;
    for (int g = 0; g < games; ++g) {
        SelfPlayOpening game;
        game.number = 10 + g;
        Position p = game.start;
        for (int k = 0; k < random_plies && !p.outcome(); ++k) {
            const std::vector<Move> moves = p.legal_moves();
            const Move m = moves[random() % moves.size()];
            game.random_moves.push_back(m);
            p.apply_legal_move(m);
        }
        out.push_back(game);
    }
    return out;
}

struct PlaySetup {
    int depth;
    unsigned threads;
    int max_plies;
};

class BatchSelfPlayAgainstEngine : public testing::TestWithParam<PlaySetup> {};

TEST_P(BatchSelfPlayAgainstEngine, EveryRowIsTheEnginesOwnAnalysis) {
    const PlaySetup setup = GetParam();
    const auto games = random_openings(5, 3, 7u + static_cast<unsigned>(setup.depth));
    const SelfPlayLimits limits{static_cast<std::uint8_t>(setup.depth), UINT64_MAX,
                                setup.max_plies};
    const SelfPlayColumns rows = play_selfplay_games(games, limits, setup.threads);
    ASSERT_EQ(rows.game_plies.size(), games.size());
    std::size_t r = 0;
    for (std::size_t g = 0; g < games.size(); ++g) {
        Position p = games[g].start;
        const int plies = rows.game_plies[g];
        for (int k = 0; k < plies; ++k, ++r) {
            ASSERT_LT(r, rows.rows());
            EXPECT_EQ(rows.game[r], games[g].number);
            EXPECT_EQ(rows.ply[r], k + 1);
            EXPECT_EQ(rows.white[r], p.white());
            EXPECT_EQ(rows.black[r], p.black());
            EXPECT_EQ(rows.side[r], index_of(p.side_to_move));
            const std::string text(rows.position_text.data() + rows.position_offsets[r],
                                   rows.position_text.data() + rows.position_offsets[r + 1]);
            EXPECT_EQ(text, reference_text(p));
            Move played;
            if (static_cast<std::size_t>(k) < games[g].random_moves.size()) {
                played = games[g].random_moves[static_cast<std::size_t>(k)];
                EXPECT_EQ(rows.chosen_by[r], static_cast<std::int8_t>(ChosenBy::Random));
            } else {
                const engine::AnalysisResult fresh = engine::analyze_iterative(
                    p, limits.depth, engine::Duration{UINT64_MAX / 1000, 0});
                ASSERT_TRUE(fresh.best);
                played = fresh.best->best_move;
                EXPECT_EQ(rows.chosen_by[r], static_cast<std::int8_t>(ChosenBy::Engine));
                EXPECT_EQ(rows.score[r], fresh.best->score);
                EXPECT_EQ(rows.depth[r], fresh.stats.completed_depth);
                EXPECT_EQ(rows.nodes[r], static_cast<std::int64_t>(fresh.stats.nodes));
                EXPECT_EQ(rows.quiescence_nodes[r],
                          static_cast<std::int64_t>(fresh.stats.quiescence_nodes));
            }
            EXPECT_EQ(rows.move[r], dense_index(played)) << "game " << g << " ply " << k + 1;
            p.apply_legal_move(played);
        }
        const auto winner = p.outcome();
        if (!winner) {
            EXPECT_EQ(plies, setup.max_plies);
        }
        const std::size_t first = r - static_cast<std::size_t>(plies);
        for (std::size_t row = first; row < r; ++row) {
            EXPECT_EQ(rows.winner[row], winner ? index_of(*winner) : NONE);
            EXPECT_EQ(rows.end_reason[row], static_cast<std::int8_t>(winner ? EndReason::NoLegalMove
                                                                            : EndReason::PlyLimit));
            EXPECT_EQ(rows.result[row], !winner ? 0 : rows.side[row] == index_of(*winner) ? 1 : -1);
        }
    }
    EXPECT_EQ(r, rows.rows());
}

INSTANTIATE_TEST_SUITE_P(Depths, BatchSelfPlayAgainstEngine,
                         testing::Values(PlaySetup{1, 1, 200}, PlaySetup{2, 1, 200},
                                         PlaySetup{3, 1, 40}, PlaySetup{2, 2, 60},
                                         PlaySetup{1, 3, 2}));

TEST(BatchSelfPlay, ThreadsDoNotChangeTheRows) {
    const auto games = random_openings(7, 2, 3u);
    const SelfPlayLimits limits{2, UINT64_MAX, 80};
    const SelfPlayColumns one = play_selfplay_games(games, limits, 1);
    const SelfPlayColumns three = play_selfplay_games(games, limits, 3);
    EXPECT_EQ(one.game, three.game);
    EXPECT_EQ(one.move, three.move);
    EXPECT_EQ(one.nodes, three.nodes);
    EXPECT_EQ(one.position_offsets, three.position_offsets);
    EXPECT_EQ(one.position_text, three.position_text);
}

TEST(BatchSelfPlay, AGameWithoutPliesIsOneRowOfItsStart) {
    std::vector<SelfPlayOpening> games(1);
    games[0].number = 4;
    const SelfPlayColumns rows = play_selfplay_games(games, SelfPlayLimits{1, UINT64_MAX, 0}, 1);
    ASSERT_EQ(rows.rows(), 1u);
    EXPECT_EQ(rows.ply[0], 0);
    EXPECT_EQ(rows.move[0], NONE);
    EXPECT_EQ(rows.chosen_by[0], NONE);
    EXPECT_EQ(rows.game_plies[0], 0);
    EXPECT_EQ(rows.end_reason[0], static_cast<std::int8_t>(EndReason::PlyLimit));
}

TEST(BatchReusedTable, ClearedAfterAnAnalysisItEqualsAFreshTable) {
    engine::TranspositionTable used(engine::TABLE_BUCKETS);
    const engine::TranspositionTable fresh(engine::TABLE_BUCKETS);
    engine::SteadyClock clock;
    Position p;
    for (const Move m : {p.legal_moves()[3]}) p.apply_legal_move(m);
    engine::analyze_in_table(p, 3, std::nullopt, clock, used);
    std::size_t written = 0;
    for (std::size_t b = 0; b < used.bucket_count(); ++b)
        for (std::size_t s = 0; s < engine::SLOTS_PER_BUCKET; ++s)
            written += !used.slot(b, s).empty();
    ASSERT_GT(written, 0u);
    used.clear();
    for (std::size_t b = 0; b < used.bucket_count(); ++b)
        for (std::size_t s = 0; s < engine::SLOTS_PER_BUCKET; ++s)
            ASSERT_EQ(used.slot(b, s), fresh.slot(b, s)) << "bucket " << b << " slot " << s;
}

}  // namespace
}  // namespace tovak
