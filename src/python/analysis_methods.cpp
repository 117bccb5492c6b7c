// The analysis methods of Position: the static score, the fixed-depth best
// move and line, and the time-budgeted iterative analysis with its counters.
// The engine works on its own copy of the position, with a table and counters
// made for the call, so these methods only read.
#include "engine/analysis.h"
#include "engine/evaluate.h"
#include "python/methods.h"
#include "python/results.h"

namespace tovak::py {
namespace {

// budget_ms milliseconds as whole seconds and nanoseconds; every value,
// 0 included, is a real budget.
engine::Duration budget_of(std::uint64_t budget_ms) {
    return engine::Duration{budget_ms / 1000,
                            static_cast<std::uint32_t>((budget_ms % 1000) * 1'000'000)};
}

}  // namespace

PyRef position_best_move(const Position& position, std::uint8_t depth) {
    const auto result = engine::best_move(position, depth);
    return result ? move_text_object(result->best_move) : none();
}

PyRef position_analyze(const Position& position, std::uint8_t depth) {
    const auto result = engine::best_move(position, depth);
    if (!result) return none();
    PyRef dict(PyDict_New());
    if (!dict || !set_item(dict.get(), Key::BestMove, move_text_object(result->best_move)) ||
        !set_item(dict.get(), Key::Score, signed_int(result->score)) ||
        !set_item(dict.get(), Key::Depth, unsigned_int(result->depth)) ||
        !set_item(dict.get(), Key::PrincipalVariation, move_list(result->principal_variation)))
        return {};
    return dict;
}

PyRef position_analyze_timed(const Position& position, std::uint8_t depth,
                             std::uint64_t budget_ms) {
    const engine::AnalysisResult analysis =
        engine::analyze_iterative(position, depth, budget_of(budget_ms));
    const engine::SearchStats& stats = analysis.stats;
    const auto& best = analysis.best;
    PyRef dict(PyDict_New());
    if (!dict || !set_item(dict.get(), Key::RootLegalMoves, unsigned_int(stats.root_legal_moves)) ||
        !set_item(dict.get(), Key::CompletedDepth, unsigned_int(stats.completed_depth)) ||
        !set_item(dict.get(), Key::Nodes, unsigned_int(stats.nodes)) ||
        !set_item(dict.get(), Key::QuiescenceNodes, unsigned_int(stats.quiescence_nodes)) ||
        !set_item(dict.get(), Key::TimedOut, boolean(stats.timed_out)) ||
        !set_item(dict.get(), Key::BestMove, best ? move_text_object(best->best_move) : none()) ||
        !set_item(dict.get(), Key::Score, best ? signed_int(best->score) : none()) ||
        !set_item(dict.get(), Key::PrincipalVariation,
                  best ? move_list(best->principal_variation) : PyRef(PyList_New(0))))
        return {};
    return dict;
}

PyRef position_evaluate(const Position& position) { return signed_int(engine::evaluate(position)); }

}  // namespace tovak::py
