// Main search and root search: the reference figures of the initial
// position, root choices and principal variations, determinism, deep
// recursion, and agreement with the literal engine on many positions.

#include <gtest/gtest.h>
#include <pthread.h>

#include "core_reference_support.h"
#include "engine/analysis.h"
#include "engine/evaluate.h"
#include "engine/ordering.h"
#include "engine/search.h"
#include "engine_cases_support.h"
#include "engine_reference_support.h"

namespace tovak::engine {
namespace {

constexpr Duration LONG_BUDGET{1'000'000, 0};  // 10^9 ms

struct InitialCase {
    int depth;
    std::uint64_t nodes;
    std::uint64_t quiescence_nodes;
    const char* best_move;
    std::int32_t score;
};

class InitialPositionAnalysis : public ::testing::TestWithParam<InitialCase> {};

TEST_P(InitialPositionAnalysis, ReproducesTheAgreedFigures) {
    const InitialCase& c = GetParam();
    const AnalysisResult r = analyze_iterative(Position::initial(), static_cast<std::uint8_t>(c.depth), LONG_BUDGET);
    EXPECT_EQ(r.stats.nodes, c.nodes);
    EXPECT_EQ(r.stats.quiescence_nodes, c.quiescence_nodes);
    EXPECT_EQ(r.stats.root_legal_moves, 62u);
    EXPECT_EQ(r.stats.completed_depth, c.depth);
    EXPECT_FALSE(r.stats.timed_out);
    ASSERT_TRUE(r.best.has_value());
    EXPECT_EQ(r.best->best_move, move_from(c.best_move));
    EXPECT_EQ(r.best->score, c.score);
    EXPECT_EQ(r.best->depth, c.depth);
    EXPECT_EQ(r.best->principal_variation.front(), r.best->best_move);
    EXPECT_LE(r.best->principal_variation.size(), static_cast<std::size_t>(c.depth));
}

INSTANTIATE_TEST_SUITE_P(Listed, InitialPositionAnalysis,
                         ::testing::Values(InitialCase{1, 62, 62, "h1-d3", 1090}, InitialCase{2, 521, 459, "h1-d3", 0},
                                           InitialCase{3, 23355, 22600, "h1-f3", 1331},
                                           InitialCase{4, 46956, 41064, "h1-f3", 1178}),
                         [](const auto& test) { return "Depth" + std::to_string(test.param.depth); });

std::optional<RootResult> root_search(const Position& p, int depth, TranspositionTable& table, SearchStats& stats) {
    return best_move_with_table(p, static_cast<std::uint8_t>(depth), table, Deadline<TickClock>(), stats);
}

TEST(RootSearch, EveryMoveWinningPicksTheFirstOrderedMove) {
    // Black has two pieces: whatever White plays, Black cannot move.
    const Position p = position_from("a1 b1 c1 d1 e1 f1 g1 h1 a2 b2 c2 d2 e2 f2 g2 h2", "a8 h8", Color::White);
    for (const int depth : {0, 1, 3}) {
        TranspositionTable table(TABLE_BUCKETS);
        SearchStats stats;
        const std::optional<RootResult> r = root_search(p, depth, table, stats);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(r->best_move, move_from("h1-a3"));
        EXPECT_EQ(r->score, -LOSS_SCORE);
        // Every child is a finished position: one node each, no quiescence.
        EXPECT_EQ(stats.nodes, 62u);
        EXPECT_EQ(stats.quiescence_nodes, 0u);
    }
}

TEST(RootSearch, TwoImmediateWinsKeepTheEarlierMove) {
    // Black keeps three pieces; either capture leaves it two and no move.
    const Position p = position_from("a1 b1 c1 a2", "d1 b2 h8", Color::White);
    const std::vector<Move> order = reference_engine::ordered_moves(p, std::nullopt);
    ASSERT_EQ(order, moves_from("a1-d1 a1-b2 b1-b2 a1-c2"));
    TranspositionTable table(TABLE_BUCKETS);
    SearchStats stats;
    const std::optional<RootResult> r = root_search(p, 2, table, stats);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->best_move, move_from("a1-d1"));
    EXPECT_EQ(r->score, 100000);
}

TEST(RootSearch, FinishedPositionGivesNothingAndCountsNothing) {
    const Position p = position_from("a1 b1", "a8 b8 c8", Color::White);
    TranspositionTable table(TABLE_BUCKETS);
    SearchStats stats;
    EXPECT_EQ(root_search(p, 3, table, stats), std::nullopt);
    EXPECT_EQ(stats.nodes, 0u);
    EXPECT_EQ(occupied_slots(table), 0u);
}

TEST(RootSearch, DepthZeroSearchesLikeDepthOneWithAOneMoveLine) {
    for (const Position& p : search_positions(71, 2, 5, 20, 6)) {
        if (reference::outcome(p)) continue;
        TranspositionTable table0(TABLE_BUCKETS);
        TranspositionTable table1(TABLE_BUCKETS);
        SearchStats stats0;
        SearchStats stats1;
        const std::optional<RootResult> r0 = root_search(p, 0, table0, stats0);
        const std::optional<RootResult> r1 = root_search(p, 1, table1, stats1);
        ASSERT_TRUE(r0 && r1);
        EXPECT_EQ(r0->best_move, r1->best_move) << describe(p);
        EXPECT_EQ(r0->score, r1->score);
        EXPECT_EQ(r0->depth, 0);
        EXPECT_EQ(r0->principal_variation, std::vector<Move>{r0->best_move});
        EXPECT_EQ(stats0, stats1);
    }
}

TEST(RootSearch, PrincipalVariationIsALegalLineFromTheBestMove) {
    for (const Position& p : search_positions(73, 2, 30, 25, 8)) {
        for (const int depth : {1, 2, 3}) {
            const std::optional<RootResult> r = best_move(p, static_cast<std::uint8_t>(depth));
            if (reference::outcome(p)) {
                EXPECT_FALSE(r.has_value());
                continue;
            }
            ASSERT_TRUE(r.has_value());
            ASSERT_GE(r->principal_variation.size(), 1u);
            EXPECT_LE(r->principal_variation.size(), static_cast<std::size_t>(depth));
            EXPECT_EQ(r->principal_variation.front(), r->best_move) << describe(p);
            Position walk = p;
            for (const Move m : r->principal_variation) ASSERT_FALSE(reference::apply_move(walk, m)) << describe(p);
        }
    }
}

TEST(RootSearch, PrincipalVariationStopsAtAMoveThatDoesNotApply) {
    // A stored move that is illegal in its position (as after a hash
    // collision) ends the line instead of corrupting the walk.
    const Position p = Position::initial();
    TranspositionTable table(TABLE_BUCKETS);
    Position child = p;
    child.apply_legal_move(move_from("h1-d3"));
    table.insert(child.hash, TtEntry::make(child.hash, 0, 5, Bound::Exact, move_from("e4-e5")));
    const std::optional<RootResult> r = finalize_root_result(p, 4, table, RootCandidate{move_from("h1-d3"), 7});
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->principal_variation, moves_from("h1-d3"));
    EXPECT_EQ(r->score, 7);
    EXPECT_EQ(r->depth, 4);
    // The root result is stored as exact at the full depth.
    EXPECT_EQ(*table.find(p.hash), TtEntry::make(p.hash, 7, 4, Bound::Exact, move_from("h1-d3")));
}

TEST(RootSearch, LineFollowsTheStoredMoveEvenIfItIsNotTheBest) {
    // A deeper entry for the root refuses the root's store, and the walk
    // starts from the move it holds.
    const Position p = Position::initial();
    TranspositionTable table(TABLE_BUCKETS);
    table.insert(p.hash, TtEntry::make(p.hash, 3, 9, Bound::Exact, move_from("a1-b3")));
    const std::optional<RootResult> r = finalize_root_result(p, 2, table, RootCandidate{move_from("h1-d3"), 7});
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->best_move, move_from("h1-d3"));
    EXPECT_EQ(r->principal_variation.front(), move_from("a1-b3"));
    EXPECT_EQ(finalize_root_result(p, 2, table, std::nullopt), std::nullopt);
}

TEST(Negamax, FinishedPositionScoresTheLossWithoutQuiescence) {
    TranspositionTable table(TABLE_BUCKETS);
    SearchStats stats;
    const Position p = position_from("a1 b1", "a8 b8 c8", Color::White);
    EXPECT_EQ(negamax(p, 0, -10, 10, table, Deadline<TickClock>(), stats), LOSS_SCORE);
    EXPECT_EQ(negamax(p, 5, -10, 10, table, Deadline<TickClock>(), stats), LOSS_SCORE);
    EXPECT_EQ(stats.nodes, 2u);
    EXPECT_EQ(stats.quiescence_nodes, 0u);
    EXPECT_EQ(occupied_slots(table), 0u);
}

TEST(Negamax, DepthZeroHandsTheWindowToQuiescence) {
    TranspositionTable table(TABLE_BUCKETS);
    SearchStats stats;
    const Position p = position_from("b7 c6 d5 g6", "e8 f7 h5", Color::White);
    EXPECT_EQ(negamax(p, 0, -10, 10, table, Deadline<TickClock>(), stats), 10);  // stand-pat cut-off at beta
    EXPECT_EQ(stats.nodes, 1u);
    EXPECT_EQ(stats.quiescence_nodes, 1u);
}

TEST(Negamax, ClassifiesAgainstTheWindowItWasGiven) {
    // A lower bound of 50 narrows (-100, 100) to (50, 100); the node's own
    // result is then classified against (-100, 100) by the literal engine
    // as well, and the tables must agree.
    const Position p = Position::initial();
    for (const auto& [bound, score] : {std::pair{Bound::LowerBound, 50}, std::pair{Bound::UpperBound, -50}}) {
        TranspositionTable fast(TABLE_BUCKETS);
        reference_engine::Table literal(TABLE_BUCKETS);
        fast.insert(p.hash, TtEntry::make(p.hash, score, 2, bound, std::nullopt));
        reference_engine::insert(literal, p.hash, score, 2, bound, std::nullopt);
        SearchStats fast_stats;
        SearchStats literal_stats;
        auto none = reference_engine::Deadline::none();
        EXPECT_EQ(negamax(p, 2, -100, 100, fast, Deadline<TickClock>(), fast_stats),
                  reference_engine::negamax(p, 2, -100, 100, literal, none, literal_stats));
        EXPECT_EQ(fast_stats, literal_stats);
        expect_same_tables(fast, literal, "narrowed by the table");
    }
}

TEST(Analysis, SameAnalysisTwiceGivesTheSameResult) {
    for (const Position& p : search_positions(81, 2, 30, 40, 4)) {
        const AnalysisResult a = analyze_iterative(p, 3, LONG_BUDGET);
        const AnalysisResult b = analyze_iterative(p, 3, LONG_BUDGET);
        EXPECT_EQ(a.stats, b.stats) << describe(p);
        EXPECT_EQ(a.best, b.best) << describe(p);
        EXPECT_EQ(best_move(p, 2), best_move(p, 2));
    }
}

// Runs `body` on a thread with a stack of `bytes`.
template <typename Body>
void run_with_stack(std::size_t bytes, Body body) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
    pthread_t thread;
    auto trampoline = [](void* argument) -> void* {
        (*static_cast<Body*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, trampoline, &body), 0);
    ASSERT_EQ(pthread_join(thread, nullptr), 0);
    pthread_attr_destroy(&attributes);
}

#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t DEEP_SEARCH_STACK = 8u << 20;  // redzones make every frame larger
#else
constexpr std::size_t DEEP_SEARCH_STACK = 2u << 20;  // a main search frame takes about 4.4 KiB
#endif

TEST(Analysis, DepthTwoHundredFiftyFiveFitsInASmallStack) {
    // Two trios on the first and last rank: each slides along its own rank
    // for ever, so every line of play is 255 plies long and no piece is ever
    // taken. The deadline stops the search after the first line has been
    // followed to the bottom (quiescence was reached).
    const Position p = position_from("a1 b1 c1", "f8 g8 h8", Color::White);
    SearchStats stats;
    std::optional<RootResult> r;
    run_with_stack(DEEP_SEARCH_STACK, [&] {
        TranspositionTable table(TABLE_BUCKETS);
        TickClock clock;
        const auto deadline = Deadline<TickClock>::after(clock, Duration{3000, 0});
        r = best_move_with_table(p, 255, table, deadline, stats);
    });
    EXPECT_FALSE(r.has_value());  // not even the first root move completes
    EXPECT_TRUE(stats.timed_out);
    EXPECT_GE(stats.nodes, 255u);
    EXPECT_GE(stats.quiescence_nodes, 1u);
}

// The fast engine against the literal one: every counter, every result and
// the final table of a run of root searches at increasing depths.
void expect_same_root_searches(const Position& p, int max_depth) {
    TranspositionTable fast(TABLE_BUCKETS);
    reference_engine::Table literal(TABLE_BUCKETS);
    SearchStats fast_stats;
    SearchStats literal_stats;
    auto none = reference_engine::Deadline::none();
    for (int d = 0; d <= max_depth; ++d) {
        const auto depth = static_cast<std::uint8_t>(d);
        const std::optional<RootResult> got = best_move_with_table(p, depth, fast, Deadline<TickClock>(), fast_stats);
        const std::optional<RootResult> want =
            reference_engine::best_move_with_table(p, depth, literal, none, literal_stats);
        ASSERT_EQ(got, want) << describe(p) << " depth " << d;
        ASSERT_EQ(fast_stats, literal_stats) << describe(p) << " depth " << d;
    }
    expect_same_tables(fast, literal, describe(p));
}

TEST(Analysis, MatchesTheLiteralEngineOnGameStates) {
    for (const Position& p : search_positions(91, 2, 3, 40, 0)) expect_same_root_searches(p, 2);
}

TEST(Analysis, MatchesTheLiteralEngineOnPlacements) {
    for (const Position& p : search_positions(93, 0, 0, 1, 14)) expect_same_root_searches(p, 2);
}

TEST(Analysis, MatchesTheLiteralEngineOnSparsePositionsAtDepthThree) {
    for (const Position& p : search_positions(95, 0, 0, 1, 6)) expect_same_root_searches(p, 3);
}

TEST(Analysis, DriversMatchTheLiteralDrivers) {
    for (const Position& p : search_positions(97, 1, 5, 40, 3)) {
        for (const int depth : {0, 1, 2}) {
            const auto d = static_cast<std::uint8_t>(depth);
            const AnalysisResult got = analyze_iterative(p, d, LONG_BUDGET);
            const AnalysisResult want = reference_engine::analyze(p, d, reference_engine::Deadline::at_test(std::nullopt));
            EXPECT_EQ(got.stats, want.stats) << describe(p) << " depth " << depth;
            EXPECT_EQ(got.best, want.best) << describe(p) << " depth " << depth;
            const AnalysisResult fixed = reference_engine::analyze(p, d, std::nullopt);
            EXPECT_EQ(best_move(p, d), fixed.best) << describe(p) << " depth " << depth;
        }
    }
}

}  // namespace
}  // namespace tovak::engine
