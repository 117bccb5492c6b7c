// The batched tree search with its built-in evaluator "uniform" (equal
// priors, the static evaluation as the value): N = 256 games from the initial
// position, 800 simulations each, on 1 and 2 threads. Throughput is counted
// in simulations per second of wall time (the threads share the work, so CPU
// time would hide what the second thread adds); the 2 / 1 thread ratio is
// printed at the end. Wall time on a shared machine counts other processes'
// time too: compare the figures of one run only. Also the ask-and-answer loop's own cost per leaf
// with a trivial answer (zero logits, zero values), without any network.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

#include "batch/features.h"
#include "core/position.h"
#include "mcts/search.h"

namespace tovak::mcts {
namespace {

constexpr std::size_t GAMES = 256;
constexpr int SIMULATIONS = 800;
constexpr int MAX_PLIES = 200;

std::map<int, double> g_rates;  // simulations per second by thread count

std::vector<Root> initial_roots() {
    return std::vector<Root>(GAMES, Root{Position::initial(), 0, MAX_PLIES});
}

void BM_UniformSearch(benchmark::State& state) {
    SearchConfig config;
    config.simulations = SIMULATIONS;
    config.threads = static_cast<int>(state.range(0));
    config.seed = 1;
    Search search(config, GAMES);
    const std::vector<Root> roots = initial_roots();
    // One search untimed: a self-play loop keeps its search from move to
    // move, so the trees' arrays are already allocated.
    search.begin(roots);
    search.run(Evaluator::Uniform);
    double seconds = 0.0;
    std::size_t simulations = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        search.begin(roots);
        search.run(Evaluator::Uniform);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        simulations += GAMES * SIMULATIONS;
    }
    const double rate = simulations / seconds;
    state.counters["simulations_per_second"] = rate;
    auto [at, added] = g_rates.emplace(config.threads, rate);
    if (!added && rate > at->second) at->second = rate;
}
BENCHMARK(BM_UniformSearch)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(3);

// The loop's cost per leaf: gather, write planes and masks, check and apply
// a trivial answer. 1024 games of one leaf each, a batch of 1024 leaves.
void BM_AskAndAnswer(benchmark::State& state) {
    constexpr std::size_t games = 1024;
    SearchConfig config;
    config.simulations = 64;
    config.threads = static_cast<int>(state.range(0));
    Search search(config, games);
    const std::vector<Root> roots(games, Root{Position::initial(), 0, MAX_PLIES});
    std::vector<float> observation(search.max_leaves() * PLANES_SIZE);
    std::vector<std::uint8_t> mask(search.max_leaves() * ACTION_COUNT);
    std::vector<std::int32_t> game(search.max_leaves());
    const std::vector<float> logits(search.max_leaves() * ACTION_COUNT, 0.0f);
    const std::vector<float> values(search.max_leaves(), 0.0f);
    const LeafBuffers out{observation, mask, game};
    std::size_t leaves = 0;
    for (auto _ : state) {
        search.begin(roots);
        std::size_t k = 0;
        while (!search.leaves(out, k) && k > 0) {
            search.answer(std::span(logits).first(k * ACTION_COUNT), std::span(values).first(k));
            leaves += k;
        }
    }
    state.counters["leaves_per_second"] =
        benchmark::Counter(static_cast<double>(leaves), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AskAndAnswer)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tovak::mcts

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const auto& rates = tovak::mcts::g_rates;
    if (rates.count(1) && rates.count(2))
        std::printf(
            "\nuniform search, %zu games x %d simulations: %.0f simulations/s on 1 thread, "
            "%.0f on 2, ratio %.2f\n",
            tovak::mcts::GAMES, tovak::mcts::SIMULATIONS, rates.at(1), rates.at(2),
            rates.at(2) / rates.at(1));
    return 0;
}
