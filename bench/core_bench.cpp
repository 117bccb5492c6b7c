// Rules core timings: each operation on the fast core and on the literal
// reference the tests check it against, registered side by side so that both
// run in the same conditions, and the reference/fast time ratios printed at
// the end (absolute times on a shared machine are noise; ratios are not).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ratio_reporter.h"
#include "core/move_list.h"
#include "core/movegen.h"
#include "core/position.h"
#include "core_positions_support.h"
#include "core_reference_support.h"

namespace tovak {
namespace {

// Every fourth state of eight seeded random games: openings, middle games and
// endings in the proportions that play produces.
const std::vector<Position>& game_positions() {
    static const std::vector<Position> positions = samples::game_samples(0xbe4c0000u, 8, 400, 4);
    return positions;
}

// A quarter of those, for the operations timed on all 4096 from/to pairs.
const std::vector<Position>& pair_positions() {
    static const std::vector<Position> positions = [] {
        std::vector<Position> out;
        const std::vector<Position>& all = game_positions();
        for (std::size_t i = 0; i < all.size(); i += 4) out.push_back(all[i]);
        return out;
    }();
    return positions;
}

// Every legal move of every game position, with the position it is played in.
const std::vector<std::pair<Position, Move>>& legal_plays() {
    static const std::vector<std::pair<Position, Move>> plays = [] {
        std::vector<std::pair<Position, Move>> out;
        for (const Position& p : game_positions())
            for (const Move m : p.legal_moves()) out.emplace_back(p, m);
        return out;
    }();
    return plays;
}

// --- legal_moves ----------------------------------------------------------------

void legal_moves_fast(benchmark::State& state) {
    MoveList list;
    for (auto _ : state) {
        for (const Position& p : game_positions()) {
            generate_legal_moves(p, list);
            benchmark::DoNotOptimize(list.size());
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() *
                            static_cast<std::int64_t>(game_positions().size()));
}

void legal_moves_reference(benchmark::State& state) {
    for (auto _ : state) {
        for (const Position& p : game_positions()) {
            const std::vector<Move> moves = reference::legal_moves(p);
            benchmark::DoNotOptimize(moves.data());
        }
    }
    state.SetItemsProcessed(state.iterations() *
                            static_cast<std::int64_t>(game_positions().size()));
}

// --- is_legal_move on every from/to pair ------------------------------------------

template <typename IsLegal>
void time_every_pair(benchmark::State& state, IsLegal&& is_legal) {
    for (auto _ : state) {
        int legal = 0;
        for (const Position& p : pair_positions())
            for (int from = 0; from < 64; ++from)
                for (int to = 0; to < 64; ++to)
                    legal += !is_legal(p, Move{Square::from_index(from), Square::from_index(to)})
                                  .has_value();
        benchmark::DoNotOptimize(legal);
    }
    state.SetItemsProcessed(state.iterations() * 4096 *
                            static_cast<std::int64_t>(pair_positions().size()));
}

void is_legal_move_fast(benchmark::State& state) {
    time_every_pair(state, [](const Position& p, Move m) { return p.is_legal_move(m); });
}

void is_legal_move_reference(benchmark::State& state) {
    time_every_pair(state,
                    [](const Position& p, Move m) { return reference::is_legal_move(p, m); });
}

// --- apply_move (checked) -----------------------------------------------------------

void apply_move_fast(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& [p, m] : legal_plays()) {
            Position child = p;
            benchmark::DoNotOptimize(child.apply_move(m));
            benchmark::DoNotOptimize(child.hash);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(legal_plays().size()));
}

void apply_move_reference(benchmark::State& state) {
    for (auto _ : state) {
        for (const auto& [p, m] : legal_plays()) {
            Position child = p;
            benchmark::DoNotOptimize(reference::apply_move(child, m));
            benchmark::DoNotOptimize(child.hash);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(legal_plays().size()));
}

// --- perft from the initial position ---------------------------------------------------
// The core's perft against the reference's, same shape: the last ply is counted, not played.

template <typename Perft>
void time_perft(benchmark::State& state, Perft&& count) {
    const int depth = static_cast<int>(state.range(0));
    std::uint64_t leaves = 0;
    for (auto _ : state) {
        leaves = count(Position::initial(), depth);
        benchmark::DoNotOptimize(leaves);
    }
    state.counters["leaves"] = static_cast<double>(leaves);
    state.counters["leaves_per_s"] = benchmark::Counter(
        static_cast<double>(leaves), benchmark::Counter::kIsIterationInvariantRate);
}

void perft_fast(benchmark::State& state) { time_perft(state, samples::perft); }
void perft_reference(benchmark::State& state) { time_perft(state, reference::perft); }

// --- ratios ------------------------------------------------------------------------------


void register_benchmarks() {
    using benchmark::RegisterBenchmark;
    RegisterBenchmark("legal_moves/fast", legal_moves_fast)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("legal_moves/reference", legal_moves_reference)
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("is_legal_move/fast", is_legal_move_fast)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("is_legal_move/reference", is_legal_move_reference)
        ->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("apply_move/fast", apply_move_fast)->Unit(benchmark::kMicrosecond);
    RegisterBenchmark("apply_move/reference", apply_move_reference)->Unit(benchmark::kMicrosecond);
    for (int depth = 1; depth <= 4; ++depth) {
        RegisterBenchmark("perft/fast", perft_fast)->Arg(depth)->Unit(benchmark::kMillisecond);
        RegisterBenchmark("perft/reference", perft_reference)
            ->Arg(depth)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace
}  // namespace tovak

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    tovak::register_benchmarks();
    tovak::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
