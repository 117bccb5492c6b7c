// The engine on arbitrary positions, with deadlines that pass at an exactly
// chosen clock read. A TickClock advances one second per read, so a budget of
// k seconds runs out at the k-th read after the deadline is set: the fuzzer
// picks k and so cuts the search off anywhere (inside quiescence, between
// root moves, after an iteration). Whatever the cut, the result must be a
// legal, playable line consistent with its counters, the analysis must leave
// the position alone, and the same analysis twice must give the same answer.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/position.h"
#include "engine/analysis.h"
#include "engine/clock.h"
#include "engine/evaluate.h"
#include "fuzz_check.h"
#include "fuzz_input.h"

using namespace tovak;
using namespace tovak::fuzz;

namespace {

bool contains(const std::vector<Move>& moves, Move m) {
    for (const Move x : moves)
        if (x == m) return true;
    return false;
}

bool same(const engine::AnalysisResult& a, const engine::AnalysisResult& b) {
    const auto& s = a.stats;
    const auto& t = b.stats;
    if (s.nodes != t.nodes || s.quiescence_nodes != t.quiescence_nodes || s.root_legal_moves != t.root_legal_moves ||
        s.timed_out != t.timed_out || s.completed_depth != t.completed_depth)
        return false;
    if (a.best.has_value() != b.best.has_value()) return false;
    if (!a.best) return true;
    return a.best->best_move == b.best->best_move && a.best->score == b.best->score &&
           a.best->depth == b.best->depth && a.best->principal_variation == b.best->principal_variation;
}

void check_line(const Position& p, const engine::RootResult& best) {
    FUZZ_CHECK(contains(p.legal_moves(), best.best_move));
    FUZZ_CHECK(best.score >= -100000 && best.score <= 100000);
    FUZZ_CHECK(!best.principal_variation.empty());
    FUZZ_CHECK(best.principal_variation.size() <= (best.depth == 0 ? 1u : best.depth));
    Position line = p;
    for (const Move m : best.principal_variation) FUZZ_CHECK(!line.apply_move(m).has_value());
}

void check_result(const Position& p, const engine::AnalysisResult& r, std::uint8_t max_depth, bool budgeted) {
    const std::vector<Move> moves = p.legal_moves();
    FUZZ_CHECK(r.stats.root_legal_moves == moves.size());
    FUZZ_CHECK(r.stats.completed_depth <= max_depth);
    if (moves.empty()) {
        FUZZ_CHECK(!r.best.has_value());
        FUZZ_CHECK(r.stats.completed_depth == 0 && r.stats.nodes == 0);
        if (!budgeted) FUZZ_CHECK(!r.stats.timed_out);
        return;
    }
    FUZZ_CHECK(r.best.has_value());
    check_line(p, *r.best);
    if (!budgeted) {
        FUZZ_CHECK(!r.stats.timed_out && r.stats.completed_depth == max_depth && r.best->depth == max_depth);
        return;
    }
    if (max_depth == 0) FUZZ_CHECK(r.stats.nodes == 0 && !r.stats.timed_out);
    if (!r.stats.timed_out && max_depth > 0) FUZZ_CHECK(r.stats.completed_depth == max_depth);
    if (r.stats.completed_depth == 0) {
        // The fallback line: the first ordered move, scored statically.
        FUZZ_CHECK(r.best->depth == 0 && r.best->principal_variation.size() == 1);
        FUZZ_CHECK(r.best->score == engine::evaluate(p));
    } else {
        FUZZ_CHECK(r.best->depth == r.stats.completed_depth);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader in(data, size);
    Position p = start_position(in);
    for (int i = 0, edits = in.next() % 8; i < edits; ++i) {
        const std::uint8_t b = in.next();
        if (b & 0x80) p.clear_square(square_from(b));
        else p.set_piece(color_from(b >> 6), square_from(b));
    }
    const Position original = p;
    const std::size_t move_count = p.legal_moves().size();

    const std::int32_t score = engine::evaluate(p);
    if (move_count == 0) FUZZ_CHECK(score == engine::LOSS_SCORE);
    else FUZZ_CHECK(score > -60000 && score < 60000);

    const std::uint8_t mode = in.next() % 4;
    if (mode == 0) {
        // Fixed depth, no clock: kept shallow on crowded boards so one input stays fast.
        const auto depth = static_cast<std::uint8_t>(in.next() % (move_count > 120 ? 2 : 3));
        engine::TickClock clock;
        const engine::AnalysisResult r = engine::analyze(p, depth, std::nullopt, clock);
        FUZZ_CHECK(clock.reads == 0);  // no budget: the clock is never read
        check_result(p, r, depth, false);
        const auto fixed = engine::best_move(p, depth);
        FUZZ_CHECK(fixed.has_value() == r.best.has_value());
        if (fixed) FUZZ_CHECK(fixed->best_move == r.best->best_move && fixed->score == r.best->score);
    } else {
        // A budget of k ticks cuts the search at the k-th clock read.
        const auto depth = static_cast<std::uint8_t>(in.next() % 16);
        const engine::Duration budget{in.next(), 0};
        engine::TickClock clock{in.next_u64() >> 8};
        const engine::AnalysisResult r = engine::analyze(p, depth, budget, clock);
        check_result(p, r, depth, true);
        engine::TickClock again{clock.start};
        FUZZ_CHECK(same(r, engine::analyze(p, depth, budget, again)));
        FUZZ_CHECK(again.reads == clock.reads);
        if (budget.seconds == 0 && depth > 0 && move_count > 0)
            FUZZ_CHECK(r.stats.timed_out && r.stats.nodes == 0 && r.stats.completed_depth == 0);
    }
    FUZZ_CHECK(p == original);
    return 0;
}
