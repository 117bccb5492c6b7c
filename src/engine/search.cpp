#include "engine/search.h"

#include <algorithm>

#include "core/move_list.h"
#include "engine/evaluate.h"
#include "engine/ordering.h"
#include "engine/quiescence.h"
#include "engine/side_moves.h"

namespace tovak::engine {

template <typename Clock>
std::optional<std::int32_t> negamax(const Position& position, const std::uint8_t depth,
                                    std::int32_t alpha, std::int32_t beta,
                                    TranspositionTable& table, const Deadline<Clock>& deadline,
                                    SearchStats& stats) {
    // 1. Count the node, also one that returns at once.
    ++stats.nodes;
    // 2. Deadline.
    if (deadline.passed()) return std::nullopt;
    // 3. A finished position is lost for the side to move; tested before the
    //    depth, so it never enters quiescence. The moves laid out for the test
    //    serve the rest of the node.
    const SideMoves us(position);
    if (!us.any_move()) return LOSS_SCORE;
    // 4. Leaves are resolved by quiescence, from quiescence ply 0.
    if (depth == 0) return quiescence(position, us, alpha, beta, 0, table, deadline, stats);
    // 5. The table may answer or narrow the window; the result is still
    //    classified against the window the node was called with.
    const std::int32_t alpha0 = alpha;
    const std::int32_t beta0 = beta;
    const TtEntry* entry = table.find(position.hash);
    const ProbeOutcome probed = probe(entry, depth, alpha, beta);
    if (probed.score) return *probed.score;
    alpha = probed.alpha;
    beta = probed.beta;
    // 6. All moves, best first, the table's move (of any depth) leading.
    OrderedMoves moves(us, entry != nullptr ? entry->best_move() : std::nullopt);
    // 7. Every score beats the start.
    std::int32_t best = NO_SCORE;
    std::optional<Move> best_move;
    // 8. Search the moves.
    while (const std::optional<Move> next = moves.next()) {
        const Move move = *next;
        // 8.1 Deadline: the node is abandoned and stores nothing.
        if (deadline.passed()) return std::nullopt;
        // 8.2 Generated moves are legal.
        Position child = position;
        child.apply_legal_move(move);
        table.prefetch(child.hash);
        // 8.3 The child with the current window turned round.
        const std::optional<std::int32_t> reply = negamax(
            child, static_cast<std::uint8_t>(depth - 1), -beta, -alpha, table, deadline, stats);
        if (!reply) return std::nullopt;
        // 8.4 Strictly better only: equal scores keep the earlier move.
        const std::int32_t score = -*reply;
        if (score > best) {
            best = score;
            best_move = move;
        }
        // 8.5 Cut-off.
        alpha = std::max(alpha, score);
        if (alpha >= beta) break;
    }
    // 9. The bound, against the window the node was called with.
    const Bound bound = best <= alpha0  ? Bound::UpperBound
                        : best >= beta0 ? Bound::LowerBound
                                        : Bound::Exact;
    // 10. Store.
    table.insert(position.hash, TtEntry::make(position.hash, best, depth, bound, best_move));
    // 11. Fail-soft: the result may lie outside the window.
    return best;
}

template <typename Clock>
std::optional<RootResult> best_move_with_table(const Position& position, const std::uint8_t depth,
                                               TranspositionTable& table,
                                               const Deadline<Clock>& deadline,
                                               SearchStats& stats) {
    // 1. Deadline, before any node is counted.
    if (deadline.passed()) return std::nullopt;
    // 2. Root moves, the table's move leading; the root takes no cut-off.
    MoveList moves;
    ordered_moves(position, table.hint_move(position.hash), moves);
    if (moves.empty()) return std::nullopt;
    // 3. Depth 0 searches one ply, like depth 1.
    const std::uint8_t child_depth = depth == 0 ? 0 : static_cast<std::uint8_t>(depth - 1);
    // 4.
    std::int32_t best = NO_SCORE;
    std::optional<RootCandidate> candidate;
    // 5. Each root move, searched only for being better than the best so far:
    //    the window (best, -NO_SCORE), no aspiration and no re-search.
    for (const Move move : moves) {
        // 5.1 Deadline: time-out exit.
        if (deadline.passed()) {
            stats.timed_out = true;
            break;
        }
        // 5.2 Generated moves are legal.
        Position child = position;
        child.apply_legal_move(move);
        // 5.3 A child abandoned by the deadline: time-out exit.
        const std::optional<std::int32_t> reply =
            negamax(child, child_depth, NO_SCORE, -best, table, deadline, stats);
        if (!reply) {
            stats.timed_out = true;
            break;
        }
        // 5.4 Strictly better only: equal scores keep the earlier move.
        const std::int32_t score = -*reply;
        if (score > best) {
            best = score;
            candidate = RootCandidate{move, score};
        }
    }
    // 6./7. After the last move, or at the time-out exit with the best of the
    //       root moves completed so far.
    return finalize_root_result(position, depth, table, candidate);
}

std::optional<RootResult> finalize_root_result(const Position& position, const std::uint8_t depth,
                                               TranspositionTable& table,
                                               const std::optional<RootCandidate> candidate) {
    // 1.
    if (!candidate) return std::nullopt;
    // 2. The root's result claims the full depth, even when cut short.
    table.insert(position.hash, TtEntry::make(position.hash, candidate->score, depth, Bound::Exact,
                                              candidate->move));
    // 3. Follow the table's best moves, whatever their depth and bound. The
    //    stored move is tested for legality: positions with equal hashes share
    //    entries.
    RootResult result;
    Position walk = position;
    for (int ply = 0; ply < depth; ++ply) {
        const std::optional<Move> next = table.hint_move(walk.hash);
        if (!next || walk.apply_move(*next).has_value()) break;
        result.principal_variation.push_back(*next);
    }
    // 4. Never empty.
    if (result.principal_variation.empty()) result.principal_variation.push_back(candidate->move);
    // 5.
    result.score = candidate->score;
    result.best_move = candidate->move;
    result.depth = depth;
    return result;
}

#define TOVAK_INSTANTIATE_SEARCH(Clock)                                                 \
    template std::optional<std::int32_t> negamax<Clock>(                                \
        const Position&, std::uint8_t, std::int32_t, std::int32_t, TranspositionTable&, \
        const Deadline<Clock>&, SearchStats&);                                          \
    template std::optional<RootResult> best_move_with_table<Clock>(                     \
        const Position&, std::uint8_t, TranspositionTable&, const Deadline<Clock>&, SearchStats&);
TOVAK_INSTANTIATE_SEARCH(SteadyClock)
TOVAK_INSTANTIATE_SEARCH(TickClock)
#undef TOVAK_INSTANTIATE_SEARCH

}  // namespace tovak::engine
