// Quiescence search: stand-pat and its cut-off, the ply cap, table answers
// of depth 0 only, the pruning margin, the four-capture limit, the
// deadline, and agreement with the literal quiescence.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "core_reference_support.h"
#include "engine/evaluate.h"
#include "engine/ordering.h"
#include "engine/quiescence.h"
#include "engine/search.h"
#include "engine_cases_support.h"
#include "engine_reference_support.h"

namespace tovak::engine {
namespace {

const Position CAPTURE_RICH = position_from("b7 c6 d5 g6", "e8 f7 h5", Color::White);  // stand-pat 334
const Position LONE_CAPTURE = position_from("a1 c1 e1", "g1 h8", Color::White);        // stand-pat 149

struct QuiescenceRun {
    std::optional<std::int32_t> score;
    SearchStats stats;
};

QuiescenceRun run(const Position& p, int alpha, int beta, int ply, TranspositionTable& table) {
    QuiescenceRun r;
    r.score = quiescence(p, alpha, beta, static_cast<std::uint8_t>(ply), table, Deadline<TickClock>(), r.stats);
    return r;
}

Position after(const Position& p, std::string_view move) {
    Position child = p;
    child.apply_legal_move(move_from(move));
    return child;
}

// A call, its result, and the entry it leaves for the position.
struct StoreCase {
    const char* name;
    Position position;
    int alpha;
    int beta;
    int ply;
    std::int32_t score;
    Bound bound;
    std::optional<Move> best_move;
    std::uint64_t quiescence_nodes;
};

class QuiescenceStores : public ::testing::TestWithParam<StoreCase> {};

TEST_P(QuiescenceStores, ReturnsAndStores) {
    const StoreCase& c = GetParam();
    TranspositionTable table(TABLE_BUCKETS);
    const QuiescenceRun r = run(c.position, c.alpha, c.beta, c.ply, table);
    EXPECT_EQ(r.score, c.score);
    EXPECT_EQ(r.stats.quiescence_nodes, c.quiescence_nodes);
    EXPECT_EQ(r.stats.nodes, 0u);
    const TtEntry* e = table.find(c.position.hash);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->depth, 0);
    EXPECT_EQ(e->score, c.score);
    EXPECT_EQ(e->bound(), c.bound);
    EXPECT_EQ(e->best_move(), c.best_move);
}

INSTANTIATE_TEST_SUITE_P(
    Listed, QuiescenceStores,
    ::testing::Values(
        // At the ply cap the stand-pat is returned whatever the window.
        StoreCase{"PlyCapAboveBeta", CAPTURE_RICH, -10, 10, 4, 334, Bound::Exact, std::nullopt, 1},
        StoreCase{"PlyCapBelowAlpha", CAPTURE_RICH, 500, 600, 4, 334, Bound::Exact, std::nullopt, 1},
        // Below it, a stand-pat at or above beta fails hard at beta.
        StoreCase{"StandPatCutOffReturnsBeta", CAPTURE_RICH, -10, 10, 0, 10, Bound::LowerBound, std::nullopt, 1},
        StoreCase{"StandPatEqualToBetaCutsOff", CAPTURE_RICH, -10, 334, 3, 334, Bound::LowerBound, std::nullopt, 1},
        // Without captures: max(alpha, stand-pat).
        StoreCase{"QuietAboveAlphaIsExact", Position::initial(), -10, 10, 0, 0, Bound::Exact, std::nullopt, 1},
        StoreCase{"QuietNotAboveAlphaIsUpperBound", Position::initial(), 5, 10, 0, 5, Bound::UpperBound,
                  std::nullopt, 1},
        // No legal move: the stand-pat is the loss score.
        StoreCase{"NoMoveReturnsAlpha", position_from("a1 b1", "h8", Color::White), -5, 5, 0, -5, Bound::UpperBound,
                  std::nullopt, 1},
        StoreCase{"NoMoveAboveBetaReturnsBeta", position_from("a1 b1", "h8", Color::White), -200000, -150000, 2,
                  -150000, Bound::LowerBound, std::nullopt, 1},
        // a1-g1 leaves Black one piece and no move: -100000 for Black.
        StoreCase{"WinningCaptureIsExact", LONE_CAPTURE, NO_SCORE, -NO_SCORE, 0, 100000, Bound::Exact,
                  move_from("a1-g1"), 2},
        // The pruning estimate 149 + 200 + 3 * 2 = 355: equal to the floor skips the capture...
        StoreCase{"PruningEstimateEqualToFloorSkips", LONE_CAPTURE, 355, 1000, 0, 355, Bound::UpperBound,
                  std::nullopt, 1},
        // ... one above it searches it, and the win cuts off at beta.
        StoreCase{"PruningEstimateAboveFloorSearches", LONE_CAPTURE, 354, 1000, 0, 1000, Bound::LowerBound,
                  move_from("a1-g1"), 2}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Quiescence, WinningCaptureStoresTheLostChildToo) {
    TranspositionTable table(TABLE_BUCKETS);
    run(LONE_CAPTURE, NO_SCORE, -NO_SCORE, 0, table);
    const TtEntry* child = table.find(after(LONE_CAPTURE, "a1-g1").hash);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->score, LOSS_SCORE);
    EXPECT_EQ(child->bound(), Bound::Exact);
}

TEST(Quiescence, PassedDeadlineCountsTheNodeAndDoesNothingElse) {
    TranspositionTable table(TABLE_BUCKETS);
    TickClock clock;
    const auto deadline = Deadline<TickClock>::after(clock, Duration{0, 0});
    SearchStats stats;
    EXPECT_EQ(quiescence(CAPTURE_RICH, -10, 10, 0, table, deadline, stats), std::nullopt);
    EXPECT_EQ(stats.quiescence_nodes, 1u);
    EXPECT_EQ(occupied_slots(table), 0u);
    EXPECT_EQ(clock.reads, 2u);  // the deadline's own read and one test
}

TEST(Quiescence, DepthZeroExactEntryAnswersAsStored) {
    TranspositionTable table(TABLE_BUCKETS);
    const TtEntry stored = TtEntry::make(CAPTURE_RICH.hash, 777, 0, Bound::Exact, move_from("b7-h5"));
    table.insert(CAPTURE_RICH.hash, stored);
    const QuiescenceRun r = run(CAPTURE_RICH, -10, 10, 0, table);
    EXPECT_EQ(r.score, 777);  // outside the window, as stored
    EXPECT_EQ(r.stats.quiescence_nodes, 1u);
    EXPECT_EQ(*table.find(CAPTURE_RICH.hash), stored);
    EXPECT_EQ(occupied_slots(table), 1u);
}

TEST(Quiescence, DepthZeroBoundsAnswerWhenTheWindowCloses) {
    for (const auto& [bound, score, alpha, beta] :
         {std::tuple{Bound::LowerBound, 40, -10, 40}, std::tuple{Bound::UpperBound, -10, -10, 40}}) {
        TranspositionTable table(TABLE_BUCKETS);
        table.insert(CAPTURE_RICH.hash, TtEntry::make(CAPTURE_RICH.hash, score, 0, bound, std::nullopt));
        const QuiescenceRun r = run(CAPTURE_RICH, alpha, beta, 0, table);
        EXPECT_EQ(r.score, score);
        EXPECT_EQ(r.stats.quiescence_nodes, 1u);
    }
}

TEST(Quiescence, LowerBoundInsideTheWindowRaisesTheFloorAndEndsExact) {
    TranspositionTable table(TABLE_BUCKETS);
    const Position p = Position::initial();  // stand-pat 0, no captures
    table.insert(p.hash, TtEntry::make(p.hash, 20, 0, Bound::LowerBound, std::nullopt));
    const QuiescenceRun r = run(p, -50, 50, 0, table);
    EXPECT_EQ(r.score, 20);
    EXPECT_EQ(table.find(p.hash)->bound(), Bound::Exact);
    EXPECT_EQ(table.find(p.hash)->score, 20);
}

TEST(Quiescence, DeeperEntryGivesNoScoreButPutsItsCaptureFirst) {
    // A window just above the stand-pat: the first capture that reaches it
    // cuts off. With the hint d5-f7 (fifth by score, dropped from the four
    // best without it) that capture is searched first.
    const int beta = 335;
    for (const char* hint : {"d5-f7", "c6-h5"}) {
        TranspositionTable table(TABLE_BUCKETS);
        table.insert(CAPTURE_RICH.hash, TtEntry::make(CAPTURE_RICH.hash, 5000, 2, Bound::Exact, move_from(hint)));
        const QuiescenceRun r = run(CAPTURE_RICH, NO_SCORE, beta, 3, table);
        EXPECT_GT(r.stats.quiescence_nodes, 1u) << hint;  // the deep entry gave no answer
        EXPECT_NE(r.score, 5000);
        EXPECT_NE(table.find(after(CAPTURE_RICH, hint).hash), nullptr) << hint;
        // The deeper entry is not replaced by the depth-0 result.
        EXPECT_EQ(table.find(CAPTURE_RICH.hash)->depth, 2);
        reference_engine::Table literal(TABLE_BUCKETS);
        reference_engine::insert(literal, CAPTURE_RICH.hash, 5000, 2, Bound::Exact, move_from(hint));
        SearchStats literal_stats;
        auto no_deadline = reference_engine::Deadline::none();
        EXPECT_EQ(r.score, reference_engine::quiescence(CAPTURE_RICH, NO_SCORE, beta, 3, literal, no_deadline,
                                                        literal_stats));
        EXPECT_EQ(r.stats.quiescence_nodes, literal_stats.quiescence_nodes);
        expect_same_tables(table, literal, hint);
    }
}

TEST(Quiescence, AtMostFourCapturesAreSearched) {
    // Every capture's child is answered by a depth-0 entry worth a win for
    // the child, so no searched capture raises the floor and none is pruned:
    // the node count is one plus the number of captures searched.
    int checked = 0;
    for (const Position& p : sample_positions(51, 0, 1, 60)) {
        std::vector<Move> available;
        for (const Move m : reference::legal_moves(p))
            if (p.piece_at(m.to).has_value()) available.push_back(m);
        if (available.size() < 6) continue;
        TranspositionTable table(TABLE_BUCKETS);
        for (const Move m : available) {
            Position child = p;
            child.apply_legal_move(m);
            table.insert(child.hash, TtEntry::make(child.hash, -LOSS_SCORE, 0, Bound::Exact, std::nullopt));
        }
        const QuiescenceRun r = run(p, NO_SCORE, -NO_SCORE, 0, table);
        EXPECT_EQ(r.stats.quiescence_nodes, 1 + MAX_CAPTURES) << describe(p);
        EXPECT_EQ(r.score, evaluate(p));  // no capture beat the stand-pat
        ++checked;
    }
    EXPECT_GT(checked, 5);
}

// Sequences of calls sharing one table, so that later calls meet the
// entries of earlier ones, against the literal quiescence.
TEST(Quiescence, MatchesTheLiteralSearchOnSamples) {
    std::mt19937_64 rng(61);
    const int windows[][2] = {{NO_SCORE, -NO_SCORE}, {-50, 50}, {0, 1}, {-300, -100}, {200, 400}};
    const std::vector<Position> positions = sample_positions(63, 8, 3, 60);
    TranspositionTable fast(64);  // small, so that buckets fill and replace
    reference_engine::Table literal(64);
    for (const Position& p : positions) {
        for (int k = 0; k < 2; ++k) {
            const auto& w = windows[rng() % 5];
            const int ply = static_cast<int>(rng() % 5);
            const QuiescenceRun got = run(p, w[0], w[1], ply, fast);
            SearchStats literal_stats;
            auto no_deadline = reference_engine::Deadline::none();
            const std::optional<std::int32_t> want = reference_engine::quiescence(
                p, w[0], w[1], static_cast<std::uint8_t>(ply), literal, no_deadline, literal_stats);
            ASSERT_EQ(got.score, want) << describe(p) << " window " << w[0] << "," << w[1] << " ply " << ply;
            ASSERT_EQ(got.stats.quiescence_nodes, literal_stats.quiescence_nodes) << describe(p);
        }
    }
    expect_same_tables(fast, literal, "after all calls");
}

// A deadline passing at every one of a call's tests, against the literal
// quiescence: windows far above the stand-pat make nodes where every capture
// fails the pruning test, each after its own deadline test.
TEST(Quiescence, DeadlineAtEveryTestMatchesTheLiteralSearch) {
    const int windows[][2] = {{NO_SCORE, -NO_SCORE}, {-50, 50}, {400, 800}, {1500, 3000}};
    int pruned_only = 0;
    for (const Position& p : sample_positions(67, 6, 3, 40)) {
        for (const auto& w : windows) {
            std::vector<reference_engine::TestRecord> log;
            {
                reference_engine::Table literal(TABLE_BUCKETS);
                SearchStats stats;
                auto counting = reference_engine::Deadline::at_test(std::nullopt, &log);
                reference_engine::quiescence(p, w[0], w[1], 0, literal, counting, stats);
                const bool captures_tested = std::any_of(log.begin(), log.end(), [](const auto& t) {
                    return t.site == reference_engine::TestSite::QuiescenceCapture;
                });
                pruned_only += captures_tested && stats.quiescence_nodes == 1;
            }
            for (std::uint64_t test = 1; test <= log.size() + 1; ++test) {
                const std::string context =
                    describe(p) + " window " + std::to_string(w[0]) + " deadline at test " + std::to_string(test);
                TranspositionTable fast(TABLE_BUCKETS);
                TickClock clock;
                const auto deadline = Deadline<TickClock>::after(clock, Duration{test, 0});
                SearchStats fast_stats;
                const std::optional<std::int32_t> got = quiescence(p, w[0], w[1], 0, fast, deadline, fast_stats);
                reference_engine::Table literal(TABLE_BUCKETS);
                SearchStats literal_stats;
                auto literal_deadline = reference_engine::Deadline::at_test(test);
                const std::optional<std::int32_t> want =
                    reference_engine::quiescence(p, w[0], w[1], 0, literal, literal_deadline, literal_stats);
                ASSERT_EQ(got, want) << context;
                ASSERT_EQ(fast_stats, literal_stats) << context;
                ASSERT_EQ(clock.reads, 1 + std::min<std::uint64_t>(test, log.size())) << context;
                expect_same_tables(fast, literal, context);
            }
        }
    }
    EXPECT_GT(pruned_only, 5);
}

}  // namespace
}  // namespace tovak::engine
