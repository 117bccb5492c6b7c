#include "engine/quiescence.h"

#include <algorithm>

#include "engine/evaluate.h"
#include "engine/ordering.h"

namespace tovak::engine {
namespace {

template <typename Clock>
std::optional<std::int32_t> quiescence_node(const Position& position, const SideMoves* known,
                                            std::int32_t alpha, std::int32_t beta, std::uint8_t ply,
                                            TranspositionTable& table,
                                            const Deadline<Clock>& deadline, SearchStats& stats);

// What the table told a node that it did not answer: the window, possibly
// narrowed, and the hint.
struct Probed {
    std::int32_t a;
    std::int32_t b;
    std::optional<Move> hint;
};

// Steps 4 to 10 of a node, with the side to move's moves laid out.
template <typename Clock>
std::optional<std::int32_t> search_captures(const Position& position, const SideMoves& us,
                                            const std::int32_t alpha, const std::int32_t beta,
                                            const Probed probed, const std::uint8_t ply,
                                            TranspositionTable& table,
                                            const Deadline<Clock>& deadline, SearchStats& stats) {
    const std::int32_t a = probed.a;
    const std::int32_t b = probed.b;
    const std::optional<Move> hint = probed.hint;
    auto store = [&](std::int32_t score, Bound bound, std::optional<Move> best_move) {
        table.insert(position.hash, TtEntry::make(position.hash, score, 0, bound, best_move));
    };
    // 4. Stand-pat.
    const std::int32_t stand_pat = evaluate(us);
    // 5. Ply cap: the stand-pat, whatever the window.
    if (ply >= QUIESCENCE_MAX_PLY) {
        store(stand_pat, Bound::Exact, std::nullopt);
        return stand_pat;
    }
    // 6. Stand-pat cut-off: fail hard at beta.
    if (stand_pat >= b) {
        store(b, Bound::LowerBound, std::nullopt);
        return b;
    }
    // 7. The floor.
    std::int32_t best = std::max(a, stand_pat);
    std::optional<Move> best_move;
    // 8. The best four captures, the hint (from the entry of step 3, whatever
    //    its depth) first. Most nodes that get here are far below the window:
    //    when not even the largest centre gain lifts a capture past the
    //    pruning test, every capture of the list is skipped at 9.2 after its
    //    deadline test at 9.1, so the list is only counted, not built.
    const bool all_pruned =
        stand_pat + DELTA_MARGIN + PRUNING_CENTRE_WEIGHT * MAX_CENTRE_GAIN <= best;
    CaptureList captures;
    if (us.counts().captures > 0 && !all_pruned) capture_moves(us, hint, captures);
    if (all_pruned) {
        const int listed = std::min(us.counts().captures, static_cast<int>(MAX_CAPTURES));
        for (int i = 0; i < listed; ++i)
            if (deadline.passed()) return std::nullopt;
    }
    // Their table entries are looked up first thing in the children.
    for (const Move capture : captures) table.prefetch(position.hash_after(capture));
    // 9. Search the captures.
    for (const Move capture : captures) {
        // 9.1 Deadline.
        if (deadline.passed()) return std::nullopt;
        // 9.2 A capture that cannot raise the score even with the margin is skipped.
        if (stand_pat + DELTA_MARGIN + PRUNING_CENTRE_WEIGHT * centre_gain(capture) <= best)
            continue;
        // 9.3 Generated captures are legal.
        Position child = position;
        child.apply_legal_move(capture);
        // 9.4 The child with the window turned round.
        const std::optional<std::int32_t> reply = quiescence_node(
            child, nullptr, -b, -best, static_cast<std::uint8_t>(ply + 1), table, deadline, stats);
        if (!reply) return std::nullopt;
        // 9.5
        const std::int32_t value = -*reply;
        // 9.6 Cut-off: fail hard at beta.
        if (value >= b) {
            store(b, Bound::LowerBound, capture);
            return b;
        }
        // 9.7 Strictly better only: equal values keep the earlier capture.
        if (value > best) {
            best = value;
            best_move = capture;
        }
    }
    // 10. Classified against the window this call was given, not the narrowed one.
    const Bound bound = best >= beta   ? Bound::LowerBound
                        : best > alpha ? Bound::Exact
                                       : Bound::UpperBound;
    store(best, bound, best_move);
    return best;
}

// One quiescence node; `known` holds the side to move's moves when the caller
// has them, else they are laid out once the table has not answered.
template <typename Clock>
std::optional<std::int32_t> quiescence_node(const Position& position, const SideMoves* known,
                                            const std::int32_t alpha, const std::int32_t beta,
                                            const std::uint8_t ply, TranspositionTable& table,
                                            const Deadline<Clock>& deadline, SearchStats& stats) {
    // 1. Count the node, also one that returns at once.
    ++stats.quiescence_nodes;
    // 2. Deadline.
    if (deadline.passed()) return std::nullopt;
    // 3. Only entries of depth 0 answer here, by the main search's cut-off
    //    test; the main search's deeper entries give no score. A table answer
    //    is returned as stored, even outside the window, and nothing is
    //    written.
    Probed probed{alpha, beta, std::nullopt};
    if (const TtEntry* entry = table.find(position.hash)) {
        if (entry->depth == 0) {
            const ProbeOutcome outcome = probe(entry, 0, alpha, beta);
            if (outcome.score) return *outcome.score;
            probed.a = outcome.alpha;
            probed.b = outcome.beta;
        }
        probed.hint = entry->best_move();
    }
    // 4.-10.
    if (known != nullptr)
        return search_captures(position, *known, alpha, beta, probed, ply, table, deadline, stats);
    const SideMoves us(position);
    return search_captures(position, us, alpha, beta, probed, ply, table, deadline, stats);
}

}  // namespace

template <typename Clock>
std::optional<std::int32_t> quiescence(const Position& position, std::int32_t alpha,
                                       std::int32_t beta, std::uint8_t ply,
                                       TranspositionTable& table, const Deadline<Clock>& deadline,
                                       SearchStats& stats) {
    return quiescence_node(position, nullptr, alpha, beta, ply, table, deadline, stats);
}

template <typename Clock>
std::optional<std::int32_t> quiescence(const Position& position, const SideMoves& us,
                                       std::int32_t alpha, std::int32_t beta, std::uint8_t ply,
                                       TranspositionTable& table, const Deadline<Clock>& deadline,
                                       SearchStats& stats) {
    return quiescence_node(position, &us, alpha, beta, ply, table, deadline, stats);
}

#define TOVAK_INSTANTIATE_QUIESCENCE(Clock)                                             \
    template std::optional<std::int32_t> quiescence<Clock>(                             \
        const Position&, std::int32_t, std::int32_t, std::uint8_t, TranspositionTable&, \
        const Deadline<Clock>&, SearchStats&);                                          \
    template std::optional<std::int32_t> quiescence<Clock>(                             \
        const Position&, const SideMoves&, std::int32_t, std::int32_t, std::uint8_t,    \
        TranspositionTable&, const Deadline<Clock>&, SearchStats&);
TOVAK_INSTANTIATE_QUIESCENCE(SteadyClock)
TOVAK_INSTANTIATE_QUIESCENCE(TickClock)
#undef TOVAK_INSTANTIATE_QUIESCENCE

}  // namespace tovak::engine
