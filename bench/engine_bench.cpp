// Search engine timings against the literal reference engine of the tests,
// registered side by side so both run in the same conditions:
//   search/...    every signature position analysed to depth 4; throughput
//                 in nodes plus quiescence nodes per second (both engines
//                 search exactly the same trees, which is checked here too)
//   evaluate/...  static evaluation calls per second
// At the end the fast/reference throughput ratios are printed (absolute
// times on a shared machine are noise; ratios measured in one run are not).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "ratio_reporter.h"
#include "core/position.h"
#include "core_positions_support.h"
#include "engine/analysis.h"
#include "engine/evaluate.h"
#include "engine_reference_support.h"
#include "engine_signature_support.h"

namespace tovak {
namespace {

constexpr int SEARCH_DEPTH = 4;
constexpr engine::Duration LONG_BUDGET{1'000'000, 0};  // 10^9 ms, as the signature

const std::vector<Position>& signature_positions() {
    static const std::vector<Position> positions = [] {
        std::vector<Position> out;
        for (const signature::NamedPosition& p : signature::signature_positions()) out.push_back(p.position);
        return out;
    }();
    return positions;
}

// Every fourth state of eight seeded random games, for the evaluation.
const std::vector<Position>& game_positions() {
    static const std::vector<Position> positions = samples::game_samples(0xe7a10000u, 8, 400, 4);
    return positions;
}

std::uint64_t searched(const engine::SearchStats& s) { return s.nodes + s.quiescence_nodes; }

// One pass of the fast engine: its node count is what the reference must match.
std::uint64_t iterative_nodes_fast() {
    std::uint64_t nodes = 0;
    for (const Position& p : signature_positions())
        nodes += searched(engine::analyze_iterative(p, SEARCH_DEPTH, LONG_BUDGET).stats);
    return nodes;
}

void report_nodes(benchmark::State& state, std::uint64_t per_pass, std::uint64_t expected) {
    if (per_pass != expected) state.SkipWithError("the two engines searched different trees");
    state.counters["nodes_per_s"] =
        benchmark::Counter(static_cast<double>(per_pass), benchmark::Counter::kIsIterationInvariantRate);
}

// --- search: iterative deepening with the signature's budget (the deadline is tested throughout) ---

void search_iterative_fast(benchmark::State& state) {
    std::uint64_t per_pass = 0;
    for (auto _ : state) {
        per_pass = 0;
        for (const Position& p : signature_positions())
            per_pass += searched(engine::analyze_iterative(p, SEARCH_DEPTH, LONG_BUDGET).stats);
    }
    report_nodes(state, per_pass, iterative_nodes_fast());
}

void search_iterative_reference(benchmark::State& state) {
    std::uint64_t per_pass = 0;
    for (auto _ : state) {
        per_pass = 0;
        for (const Position& p : signature_positions())
            per_pass += searched(
                reference_engine::analyze(p, SEARCH_DEPTH, reference_engine::Deadline::at_test(std::nullopt)).stats);
    }
    report_nodes(state, per_pass, iterative_nodes_fast());
}

// The same iterative deepening with no clock reads at all: a budget that
// overflows the clock's range gives no deadline, so nothing is ever tested.
// The gap to search_iterative/fast is what the deadline tests cost.
void search_iterative_unclocked(benchmark::State& state) {
    std::uint64_t per_pass = 0;
    for (auto _ : state) {
        per_pass = 0;
        for (const Position& p : signature_positions()) {
            engine::TickClock overflowing{std::numeric_limits<std::uint64_t>::max(), 0};
            per_pass += searched(engine::analyze(p, SEARCH_DEPTH, engine::Duration{1, 0}, overflowing).stats);
        }
    }
    report_nodes(state, per_pass, iterative_nodes_fast());
}

// --- search: one fixed-depth root search, no deadline -------------------------------------------

std::uint64_t fixed_nodes_fast() {
    std::uint64_t nodes = 0;
    engine::TickClock unused;
    for (const Position& p : signature_positions())
        nodes += searched(engine::analyze(p, SEARCH_DEPTH, std::nullopt, unused).stats);
    return nodes;
}

void search_fixed_fast(benchmark::State& state) {
    std::uint64_t per_pass = 0;
    engine::TickClock unused;  // never read without a budget
    for (auto _ : state) {
        per_pass = 0;
        for (const Position& p : signature_positions())
            per_pass += searched(engine::analyze(p, SEARCH_DEPTH, std::nullopt, unused).stats);
    }
    report_nodes(state, per_pass, fixed_nodes_fast());
}

void search_fixed_reference(benchmark::State& state) {
    std::uint64_t per_pass = 0;
    for (auto _ : state) {
        per_pass = 0;
        for (const Position& p : signature_positions())
            per_pass += searched(reference_engine::analyze(p, SEARCH_DEPTH, std::nullopt).stats);
    }
    report_nodes(state, per_pass, fixed_nodes_fast());
}

// --- evaluate --------------------------------------------------------------------------------------

template <typename Evaluate>
void time_evaluate(benchmark::State& state, const std::vector<Position>& positions, Evaluate&& evaluate) {
    for (auto _ : state) {
        for (const Position& p : positions) benchmark::DoNotOptimize(evaluate(p));
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(positions.size()));
}

const std::vector<Position>& initial_only() {
    static const std::vector<Position> positions(64, Position::initial());
    return positions;
}

std::int32_t fast_evaluate(const Position& p) { return engine::evaluate(p); }
std::int32_t reference_evaluate(const Position& p) { return reference_engine::evaluate(p); }

void evaluate_initial_fast(benchmark::State& state) { time_evaluate(state, initial_only(), fast_evaluate); }
void evaluate_initial_reference(benchmark::State& state) {
    time_evaluate(state, initial_only(), reference_evaluate);
}
void evaluate_games_fast(benchmark::State& state) { time_evaluate(state, game_positions(), fast_evaluate); }
void evaluate_games_reference(benchmark::State& state) {
    time_evaluate(state, game_positions(), reference_evaluate);
}

// --- ratios ------------------------------------------------------------------------------------------


void register_benchmarks() {
    using benchmark::RegisterBenchmark;
    // The two iterative searches compared for the cost of the deadline
    // differ by a few percent: each is run several times.
    RegisterBenchmark("search_iterative/fast", search_iterative_fast)->Unit(benchmark::kMillisecond)->Repetitions(5);
    RegisterBenchmark("search_iterative_unclocked", search_iterative_unclocked)
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5);
    RegisterBenchmark("search_iterative/reference", search_iterative_reference)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    RegisterBenchmark("search_fixed/fast", search_fixed_fast)->Unit(benchmark::kMillisecond);
    RegisterBenchmark("search_fixed/reference", search_fixed_reference)->Unit(benchmark::kMillisecond)->Iterations(1);
    RegisterBenchmark("evaluate_initial/fast", evaluate_initial_fast)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("evaluate_initial/reference", evaluate_initial_reference)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("evaluate_games/fast", evaluate_games_fast)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("evaluate_games/reference", evaluate_games_reference)->Unit(benchmark::kMicrosecond);
}

}  // namespace
}  // namespace tovak

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    tovak::register_benchmarks();
    tovak::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto timed = reporter.cpu_seconds("search_iterative/fast");
    const auto unclocked = reporter.cpu_seconds("search_iterative_unclocked");
    if (timed && unclocked)
        std::printf("\ntime-budgeted search / the same search without clock reads: %.3f (CPU time)\n",
                    *timed / *unclocked);
    if (const auto seconds = reporter.cpu_seconds("evaluate_initial/fast"))
        std::printf("\nevaluate on the initial position: %.3f us per call (fast engine, CPU time)\n",
                    *seconds * 1e6 / static_cast<double>(tovak::initial_only().size()));
    benchmark::Shutdown();
    return 0;
}
