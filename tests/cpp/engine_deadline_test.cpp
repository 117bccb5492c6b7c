// Deadlines and the analysis driver: instants and budgets, a tick clock
// that passes at a chosen test, the exact moments at which a search can be
// cut short, and what survives (the best completed line, the counters, the
// table without entries for abandoned nodes).

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "core_reference_support.h"
#include "engine/analysis.h"
#include "core/platform.h"
#include "engine/clock.h"
#include "engine/search.h"
#include "engine_cases_support.h"
#include "engine_reference_support.h"

namespace tovak::engine {
namespace {

constexpr std::uint64_t MAX_SECONDS = std::numeric_limits<std::uint64_t>::max();

TEST(Instant, AddCarriesNanosecondsAndReportsOverflow) {
    EXPECT_EQ(add(Instant{5, 999'999'999}, Duration{0, 1}), (Instant{6, 0}));
    EXPECT_EQ(add(Instant{5, 600'000'000}, Duration{1, 500'000'000}), (Instant{7, 100'000'000}));
    EXPECT_EQ(add(Instant{MAX_SECONDS, 0}, Duration{0, 999'999'999}), (Instant{MAX_SECONDS, 999'999'999}));
    EXPECT_EQ(add(Instant{MAX_SECONDS, 999'999'999}, Duration{0, 1}), std::nullopt);
    EXPECT_EQ(add(Instant{MAX_SECONDS - 3, 0}, Duration{4, 0}), std::nullopt);
    // Nanoseconds beyond one second still carry.
    EXPECT_EQ(add(Instant{0, 999'999'999}, Duration{0, 4'000'000'000u}), (Instant{4, 999'999'999}));
    EXPECT_LT((Instant{1, 999'999'999}), (Instant{2, 0}));
}

TEST(Deadline, AbsentDeadlineNeverPassesAndNeverReadsTheClock) {
    const Deadline<TickClock> none;
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(none.passed());
    TickClock clock;
    const AnalysisResult r = analyze(Position::initial(), 2, std::nullopt, clock);
    EXPECT_EQ(clock.reads, 0u);
    EXPECT_EQ(r.stats.completed_depth, 2);
}

TEST(Deadline, TickDeadlinePassesAtTheChosenTest) {
    for (const std::uint64_t k : {1u, 2u, 7u}) {
        TickClock clock;
        const auto deadline = Deadline<TickClock>::after(clock, Duration{k, 0});
        for (std::uint64_t test = 1; test < k; ++test) EXPECT_FALSE(deadline.passed()) << k;
        EXPECT_TRUE(deadline.passed()) << k;
        EXPECT_TRUE(deadline.passed()) << k;  // and stays passed
    }
    TickClock clock;
    EXPECT_TRUE(Deadline<TickClock>::after(clock, Duration{0, 0}).passed());  // zero: at the first test
}

// The monotonic clock, counting its reads and remembering the first (the
// one that sets a deadline), with the cycle counter in front of it as the
// system clock has.
struct CountingSteadyClock {
    static constexpr bool HAS_CYCLE_COUNTER = true;
    std::uint64_t reads = 0;
    Instant first{};
    Instant now() {
        const Instant t = SteadyClock().now();
        if (reads++ == 0) first = t;
        return t;
    }
};

// Tests made as fast as possible across a real deadline: every test made
// before it says so, the first made at or after it reports it passed, and
// (where the processor has an invariant cycle counter) most tests never read
// the clock.
TEST(Deadline, CycleCounterAnswersExactlyAndReadsTheClockRarely) {
    for (const std::uint32_t budget_ms : {0u, 2u, 30u}) {
        CountingSteadyClock clock;
        const auto deadline =
            Deadline<CountingSteadyClock>::after(clock, Duration{0, budget_ms * 1'000'000u});
        const Instant at = *add(clock.first, Duration{0, budget_ms * 1'000'000u});
        std::uint64_t tests = 0;
        const std::uint64_t reads_before = clock.reads;
        for (;;) {
            const Instant before = SteadyClock().now();
            const bool passed = deadline.passed();
            ++tests;
            if (passed) break;
            ASSERT_LT(before, at) << "a test made after the deadline missed it, budget " << budget_ms << " ms";
        }
        // Once passed, it stays passed.
        EXPECT_TRUE(deadline.passed());
        EXPECT_GE(SteadyClock().now(), at);
        if (budget_ms >= 30 && platform::has_invariant_cycle_counter()) {
            EXPECT_LT(clock.reads - reads_before, tests / 10) << tests << " tests";
        }
    }
}

TEST(Deadline, OverflowingBudgetMeansNoDeadline) {
    TickClock clock{MAX_SECONDS - 2, 0};
    const AnalysisResult r = analyze(Position::initial(), 2, Duration{5, 0}, clock);
    EXPECT_EQ(clock.reads, 1u);  // the read that set the deadline, and no test after it
    EXPECT_FALSE(r.stats.timed_out);
    EXPECT_EQ(r.stats.completed_depth, 2);
    EXPECT_EQ(r.stats.nodes, 521u);
    // The system clock with the largest budget of all.
    const AnalysisResult steady =
        analyze_iterative(Position::initial(), 1, Duration{MAX_SECONDS, 999'999'999});
    EXPECT_FALSE(steady.stats.timed_out);
    EXPECT_EQ(steady.stats.completed_depth, 1);
}

// --- Exact moments, initial position, depth 1 -----------------------------------
//
// With the tick clock a budget of b seconds passes at test b. At depth 1 the
// tests run: 1 at the root search's start, then per root move k (1-based)
// 3k - 1 before the move, 3k on entry to its node, 3k + 1 on entry to its
// quiescence (the initial position's children have no captures), and
// finally 188 in the driver after the root search.

AnalysisResult initial_depth_one(std::uint64_t budget_seconds, TickClock& clock) {
    return analyze(Position::initial(), 1, Duration{budget_seconds, 0}, clock);
}

// The best of the first k root moves at depth 1: each child's quiescence
// answers with its stand-pat (or fails high at the root's bound), so the
// root keeps the first move with the largest negated child evaluation.
std::pair<Move, std::int32_t> best_of_first(std::size_t k) {
    const Position root = Position::initial();
    const std::vector<Move> order = reference_engine::ordered_moves(root, std::nullopt);
    std::pair<Move, std::int32_t> best{order[0], std::numeric_limits<std::int32_t>::min()};
    for (std::size_t i = 0; i < k; ++i) {
        Position child = root;
        child.apply_legal_move(order[i]);
        const std::int32_t score = -reference_engine::evaluate(child);
        if (score > best.second) best = {order[i], score};
    }
    return best;
}

TEST(Deadline, PassingAtTheFirstTestFallsBackToTheFirstOrderedMove) {
    for (const std::uint64_t budget : {0u, 1u}) {
        TickClock clock;
        const AnalysisResult r = initial_depth_one(budget, clock);
        EXPECT_TRUE(r.stats.timed_out);
        EXPECT_EQ(r.stats.nodes, 0u);
        EXPECT_EQ(r.stats.quiescence_nodes, 0u);
        EXPECT_EQ(r.stats.completed_depth, 0);
        EXPECT_EQ(r.stats.root_legal_moves, 62u);
        ASSERT_TRUE(r.best.has_value());
        EXPECT_EQ(r.best->best_move, move_from("h1-a3"));
        EXPECT_EQ(r.best->score, 0);  // the static score
        EXPECT_EQ(r.best->depth, 0);
        EXPECT_EQ(r.best->principal_variation, moves_from("h1-a3"));
    }
}

TEST(Deadline, PassingAfterTheKthRootMoveKeepsTheBestOfThose) {
    for (const std::uint64_t k : {1u, 2u, 5u, 20u, 61u}) {
        TickClock clock;
        const AnalysisResult r = initial_depth_one(3 * k + 2, clock);
        EXPECT_TRUE(r.stats.timed_out) << k;
        EXPECT_EQ(r.stats.completed_depth, 1) << k;
        EXPECT_EQ(r.stats.nodes, k);
        EXPECT_EQ(r.stats.quiescence_nodes, k);
        ASSERT_TRUE(r.best.has_value());
        const auto [move, score] = best_of_first(k);
        EXPECT_EQ(r.best->best_move, move) << k;
        EXPECT_EQ(r.best->score, score) << k;
        EXPECT_EQ(r.best->depth, 1);
        // The deadline's own read, the tests up to the one that passed, the driver's check.
        EXPECT_EQ(clock.reads, 1 + (3 * k + 2) + 1);
    }
}

TEST(Deadline, PassingInsideQuiescenceAbandonsThatRootMove) {
    for (const std::uint64_t k : {2u, 3u, 40u}) {
        TickClock clock;
        const AnalysisResult r = initial_depth_one(3 * k + 1, clock);
        EXPECT_TRUE(r.stats.timed_out);
        EXPECT_EQ(r.stats.nodes, k);
        EXPECT_EQ(r.stats.quiescence_nodes, k);
        ASSERT_TRUE(r.best.has_value());
        const auto [move, score] = best_of_first(k - 1);
        EXPECT_EQ(r.best->best_move, move) << k;
        EXPECT_EQ(r.best->score, score) << k;
        EXPECT_EQ(r.stats.completed_depth, 1);
    }
    // Inside the first root move's quiescence: nothing was completed, so the
    // driver falls back.
    TickClock clock;
    const AnalysisResult r = initial_depth_one(4, clock);
    EXPECT_TRUE(r.stats.timed_out);
    EXPECT_EQ(r.stats.completed_depth, 0);
    EXPECT_EQ(r.stats.nodes, 1u);
    ASSERT_TRUE(r.best.has_value());
    EXPECT_EQ(r.best->depth, 0);
    EXPECT_EQ(r.best->best_move, move_from("h1-a3"));
}

TEST(Deadline, AbandonedNodesStoreNothing) {
    const Position root = Position::initial();
    const std::vector<Move> order = reference_engine::ordered_moves(root, std::nullopt);
    for (const std::uint64_t k : {1u, 2u, 9u}) {
        TickClock clock;
        const auto deadline = Deadline<TickClock>::after(clock, Duration{3 * k + 1, 0});
        TranspositionTable table(TABLE_BUCKETS);
        SearchStats stats;
        const std::optional<RootResult> r = best_move_with_table(root, 1, table, deadline, stats);
        EXPECT_TRUE(stats.timed_out);
        // Children 1..k-1 were completed by quiescence; child k was abandoned.
        for (std::size_t i = 0; i < k; ++i) {
            Position child = root;
            child.apply_legal_move(order[i]);
            EXPECT_EQ(table.find(child.hash) != nullptr, i + 1 < k) << "child " << i + 1 << " of " << k;
        }
        // The root's entry comes only from a completed root move.
        EXPECT_EQ(r.has_value(), k > 1);
        EXPECT_EQ(table.find(root.hash) != nullptr, k > 1);
        EXPECT_EQ(occupied_slots(table), k > 1 ? k : 0);
    }
}

TEST(Deadline, PassingAtTheDriversCheckStillReportsATimeOut) {
    TickClock clock;
    const AnalysisResult at_check = initial_depth_one(188, clock);
    EXPECT_TRUE(at_check.stats.timed_out);
    EXPECT_EQ(at_check.stats.completed_depth, 1);
    EXPECT_EQ(at_check.stats.nodes, 62u);
    ASSERT_TRUE(at_check.best.has_value());
    EXPECT_EQ(at_check.best->best_move, move_from("h1-d3"));
    EXPECT_EQ(at_check.best->score, 1090);
    TickClock later;
    const AnalysisResult beyond = initial_depth_one(189, later);
    EXPECT_FALSE(beyond.stats.timed_out);
    EXPECT_EQ(beyond.best, at_check.best);
    EXPECT_EQ(later.reads, 189u);
}

// --- Driver edge cases ------------------------------------------------------------

TEST(Driver, FinishedPositionHasNoLine) {
    const Position finished = position_from("a1 b1", "a8 b8 c8", Color::White);
    const AnalysisResult r = analyze_iterative(finished, 3, Duration{1000, 0});
    EXPECT_EQ(r.stats.root_legal_moves, 0u);
    EXPECT_EQ(r.stats.nodes, 0u);
    EXPECT_EQ(r.stats.completed_depth, 0);
    EXPECT_FALSE(r.stats.timed_out);
    EXPECT_FALSE(r.best.has_value());
    EXPECT_FALSE(best_move(finished, 2).has_value());
    // With the budget already spent the time-out shows.
    EXPECT_TRUE(analyze_iterative(finished, 3, Duration{0, 0}).stats.timed_out);
}

TEST(Driver, DepthZeroWithABudgetSearchesNothing) {
    for (const Duration budget : {Duration{0, 0}, Duration{1000, 0}}) {
        const AnalysisResult r = analyze_iterative(Position::initial(), 0, budget);
        EXPECT_EQ(r.stats.nodes, 0u);
        EXPECT_EQ(r.stats.completed_depth, 0);
        EXPECT_FALSE(r.stats.timed_out);
        ASSERT_TRUE(r.best.has_value());
        EXPECT_EQ(r.best->best_move, move_from("h1-a3"));
        EXPECT_EQ(r.best->principal_variation, moves_from("h1-a3"));
        EXPECT_EQ(r.best->score, 0);
        EXPECT_EQ(r.best->depth, 0);
    }
}

TEST(Driver, ZeroBudgetTimesOutAndFallsBack) {
    const Position p = position_from("b7 c6 d5 g6", "e8 f7 h5", Color::White);
    const AnalysisResult r = analyze_iterative(p, 4, Duration{0, 0});
    EXPECT_TRUE(r.stats.timed_out);
    EXPECT_EQ(r.stats.nodes, 0u);
    EXPECT_EQ(r.stats.completed_depth, 0);
    EXPECT_EQ(r.stats.root_legal_moves, 7u);
    ASSERT_TRUE(r.best.has_value());
    EXPECT_EQ(r.best->best_move, move_from("b7-h5"));
    EXPECT_EQ(r.best->score, 334);
}

TEST(Driver, FixedDepthZeroSearchesOnePly) {
    TickClock clock;
    const AnalysisResult r = analyze(Position::initial(), 0, std::nullopt, clock);
    EXPECT_EQ(r.stats.completed_depth, 0);
    EXPECT_EQ(r.stats.nodes, 62u);
    ASSERT_TRUE(r.best.has_value());
    EXPECT_EQ(r.best->depth, 0);
    EXPECT_EQ(r.best->best_move, move_from("h1-d3"));
    EXPECT_EQ(r.best->principal_variation, moves_from("h1-d3"));
}

TEST(Driver, CountersAccumulateOverIterations) {
    // One table and one record for depths 1 and 2, as the driver keeps them.
    TranspositionTable table(TABLE_BUCKETS);
    SearchStats stats;
    best_move_with_table(Position::initial(), 1, table, Deadline<TickClock>(), stats);
    EXPECT_EQ(stats.nodes, 62u);
    best_move_with_table(Position::initial(), 2, table, Deadline<TickClock>(), stats);
    const AnalysisResult two = analyze_iterative(Position::initial(), 2, Duration{1000, 0});
    EXPECT_EQ(two.stats.nodes, stats.nodes);
    EXPECT_EQ(two.stats.quiescence_nodes, stats.quiescence_nodes);
    EXPECT_EQ(two.stats.nodes, 521u);
}

// --- Interruptions anywhere, against the literal engine -----------------------------

// The driver's loop on both engines with the same deadline test, comparing
// every root result, the counters and the final tables.
void expect_same_interrupted_loop(const Position& p, int max_depth, std::uint64_t test) {
    const std::string context = describe(p) + " deadline at test " + std::to_string(test);
    TickClock clock;
    const auto fast_deadline = Deadline<TickClock>::after(clock, Duration{test, 0});
    TranspositionTable fast(TABLE_BUCKETS);
    SearchStats fast_stats;
    auto literal_deadline = reference_engine::Deadline::at_test(test);
    reference_engine::Table literal(TABLE_BUCKETS);
    SearchStats literal_stats;
    for (int d = 1; d <= max_depth; ++d) {
        const auto depth = static_cast<std::uint8_t>(d);
        const std::optional<RootResult> got = best_move_with_table(p, depth, fast, fast_deadline, fast_stats);
        const std::optional<RootResult> want =
            reference_engine::best_move_with_table(p, depth, literal, literal_deadline, literal_stats);
        ASSERT_EQ(got, want) << context << " depth " << d;
        ASSERT_EQ(fast_stats, literal_stats) << context << " depth " << d;
        const bool fast_passed = fast_deadline.passed();
        ASSERT_EQ(fast_passed, literal_deadline.passed(reference_engine::TestSite::DriverCheck, p.hash)) << context;
        if (!got || fast_passed) break;
    }
    expect_same_tables(fast, literal, context);
}

TEST(Interruptions, EverySiteOfEveryIterationMatchesTheLiteralEngine) {
    for (const Position& p : search_positions(101, 1, 8, 60, 2)) {
        if (reference::outcome(p)) continue;
        // The full run's tests, with a deadline that never passes.
        std::vector<reference_engine::TestRecord> log;
        reference_engine::analyze(p, 2, reference_engine::Deadline::at_test(std::nullopt, &log));
        // The first test of each kind in each iteration, and a spread of others.
        std::vector<std::uint64_t> picks;
        int iteration = 0;
        std::vector<std::pair<int, reference_engine::TestSite>> seen;
        for (const reference_engine::TestRecord& t : log) {
            if (t.site == reference_engine::TestSite::RootSearchStart) ++iteration;
            const std::pair<int, reference_engine::TestSite> kind{iteration, t.site};
            if (std::find(seen.begin(), seen.end(), kind) == seen.end()) {
                seen.push_back(kind);
                picks.push_back(t.test);
            }
        }
        for (std::size_t i = 0; i < log.size(); i += log.size() / 4 + 1) picks.push_back(log[i].test);
        picks.push_back(log.size());
        for (const std::uint64_t test : picks) expect_same_interrupted_loop(p, 2, test);
        // And the driver as a whole at a few of them.
        for (std::size_t i = 0; i < picks.size(); i += 4) {
            TickClock clock;
            const AnalysisResult got = analyze(p, 2, Duration{picks[i], 0}, clock);
            const AnalysisResult want = reference_engine::analyze(p, 2, reference_engine::Deadline::at_test(picks[i]));
            EXPECT_EQ(got.stats, want.stats) << describe(p) << " test " << picks[i];
            EXPECT_EQ(got.best, want.best) << describe(p) << " test " << picks[i];
        }
    }
}

}  // namespace
}  // namespace tovak::engine
