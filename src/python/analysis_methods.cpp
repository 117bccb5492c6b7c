// The analysis methods of Position: the static score, the fixed-depth best
// move and line, and the time-budgeted iterative analysis with its counters.
// The engine works on its own copy of the position, with a table and counters
// made for the call, so these methods only read.
#include <optional>
#include <vector>

#include "engine/analysis.h"
#include "engine/evaluate.h"
#include "python/args.h"
#include "python/methods.h"
#include "python/position_type.h"
#include "python/shared_texts.h"

namespace tovak::py {
namespace {

constexpr const char* DEPTH[] = {"depth"};
constexpr const char* DEPTH_AND_BUDGET[] = {"depth", "budget_ms"};
constexpr Signature BEST_MOVE{"best_move", DEPTH, 1};
constexpr Signature ANALYZE{"analyze", DEPTH, 1};
constexpr Signature ANALYZE_TIMED{"analyze_timed", DEPTH_AND_BUDGET, 2};
constexpr Signature EVALUATE{"evaluate", {}, 0};

// budget_ms milliseconds as whole seconds and nanoseconds; every value,
// 0 included, is a real budget.
engine::Duration budget_of(std::uint64_t budget_ms) {
    return engine::Duration{budget_ms / 1000,
                            static_cast<std::uint32_t>((budget_ms % 1000) * 1'000'000)};
}

PyRef move_list(const std::vector<Move>& moves) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(moves.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < moves.size(); ++i)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                        move_text_object(moves[i]).release());
    return list;
}

bool set_item(PyObject* dict, Key key, PyRef value) {
    return value && PyDict_SetItem(dict, shared_key(key), value.get()) == 0;
}

PyRef unsigned_int(std::uint64_t value) { return PyRef(PyLong_FromUnsignedLongLong(value)); }
PyRef signed_int(std::int32_t value) { return PyRef(PyLong_FromLong(value)); }

}  // namespace

namespace {

// The shared first half of best_move and analyze: bind `depth`, take shared
// access, convert the depth, run the fixed-depth search. False when a Python
// error has been set.
bool run_fixed_depth(const Signature& signature, PyObject* self, PyObject* const* args,
                     Py_ssize_t nargs, PyObject* kwnames,
                     std::optional<engine::RootResult>& result) {
    PyObject* slots[1];
    if (!bind_arguments(signature, args, nargs, kwnames, slots)) return false;
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return false;
    const auto depth = u8_argument(slots[0], "depth");
    if (!depth) return false;
    result = engine::best_move(object.position, *depth);
    return true;
}

}  // namespace

PyRef position_best_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    std::optional<engine::RootResult> result;
    if (!run_fixed_depth(BEST_MOVE, self, args, nargs, kwnames, result)) return {};
    return result ? move_text_object(result->best_move) : none();
}

PyRef position_analyze(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::optional<engine::RootResult> result;
    if (!run_fixed_depth(ANALYZE, self, args, nargs, kwnames, result)) return {};
    if (!result) return none();
    PyRef dict(PyDict_New());
    if (!dict || !set_item(dict.get(), Key::BestMove, move_text_object(result->best_move)) ||
        !set_item(dict.get(), Key::Score, signed_int(result->score)) ||
        !set_item(dict.get(), Key::Depth, unsigned_int(result->depth)) ||
        !set_item(dict.get(), Key::PrincipalVariation, move_list(result->principal_variation)))
        return {};
    return dict;
}

PyRef position_analyze_timed(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    PyObject* slots[2];
    if (!bind_arguments(ANALYZE_TIMED, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    const auto depth = u8_argument(slots[0], "depth");
    if (!depth) return {};
    const auto budget_ms = u64_argument(slots[1], "budget_ms");
    if (!budget_ms) return {};
    const engine::AnalysisResult analysis =
        engine::analyze_iterative(object.position, *depth, budget_of(*budget_ms));
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

PyRef position_evaluate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    if (!bind_arguments(EVALUATE, args, nargs, kwnames, nullptr)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    return signed_int(engine::evaluate(object.position));
}

}  // namespace tovak::py
