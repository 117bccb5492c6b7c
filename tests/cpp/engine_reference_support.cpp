#include "engine_reference_support.h"

#include <algorithm>
#include <cstdlib>

#include "core_reference_support.h"

namespace tovak::reference_engine {
namespace {

Color other(Color c) { return c == Color::White ? Color::Black : Color::White; }

bool has_piece(const Position& p, Color c, Square s) { return reference::owner(p, s) == c; }

int absolute(int x) { return x < 0 ? -x : x; }

}  // namespace

// --- Evaluation -------------------------------------------------------------

int centre_distance(Square s) {
    const int file = s.index % 8;
    const int rank = s.index / 8;
    return absolute(2 * file - 7) + absolute(2 * rank - 7);
}

std::int32_t evaluate(const Position& p) {
    // 1. No legal move for the side to move.
    if (reference::outcome(p)) return LOSS_SCORE;
    // 2. The terms: piece lists, both move lists (theirs with them to move),
    //    captures, centre distances, immobile pieces.
    const Color us = p.side_to_move;
    const Color them = other(us);
    const std::vector<Square> our_squares = reference::squares_of(p, us);
    const std::vector<Square> their_squares = reference::squares_of(p, them);
    const std::vector<Move> our_moves = reference::legal_moves(p);
    const std::vector<Move> their_moves = reference::legal_moves(reference::with_side_to_move(p, them));
    int our_captures = 0;
    for (const Move& m : our_moves)
        if (has_piece(p, them, m.to)) ++our_captures;
    int their_captures = 0;
    for (const Move& m : their_moves)
        if (has_piece(p, us, m.to)) ++their_captures;
    int our_distance = 0;
    for (const Square s : our_squares) our_distance += centre_distance(s);
    int their_distance = 0;
    for (const Square s : their_squares) their_distance += centre_distance(s);
    auto immobile = [](const std::vector<Square>& squares, const std::vector<Move>& moves) {
        int count = 0;
        for (const Square s : squares) {
            bool moves_from_here = false;
            for (const Move& m : moves)
                if (m.from == s) moves_from_here = true;
            if (!moves_from_here) ++count;
        }
        return count;
    };
    const int our_immobile = immobile(our_squares, our_moves);
    const int their_immobile = immobile(their_squares, their_moves);
    // 3. The weighted sum.
    const int n_us = static_cast<int>(our_squares.size());
    const int n_them = static_cast<int>(their_squares.size());
    const int m_us = static_cast<int>(our_moves.size());
    const int m_them = static_cast<int>(their_moves.size());
    return 120 * (n_us - n_them) + 12 * (m_us - m_them) + 35 * (our_captures - their_captures) +
           3 * (their_distance - our_distance) + 8 * (their_immobile - our_immobile);
}

// --- Ordering -----------------------------------------------------------------

std::int32_t move_ordering_score(const Position& p, Square from, Square to, std::optional<Move> hint) {
    std::int32_t score = 0;
    // 1. The hint.
    if (hint && hint->from == from && hint->to == to) score += 1000000;
    // 2. A piece of either colour on the destination.
    if (reference::owner(p, to)) score += 100000;
    // 3. File steps plus rank steps.
    score += 100 * (absolute(from.index % 8 - to.index % 8) + absolute(from.index / 8 - to.index / 8));
    // 4. Centre gain.
    score += 10 * (centre_distance(from) - centre_distance(to));
    return score;
}

namespace {

// The sorting rule: stable ascending by score, then the whole list reversed.
void sort_by_rule(const Position& p, std::optional<Move> hint, std::vector<Move>& moves) {
    std::stable_sort(moves.begin(), moves.end(), [&](const Move& a, const Move& b) {
        return move_ordering_score(p, a.from, a.to, hint) < move_ordering_score(p, b.from, b.to, hint);
    });
    std::reverse(moves.begin(), moves.end());
}

}  // namespace

std::vector<Move> ordered_moves(const Position& p, std::optional<Move> hint) {
    std::vector<Move> moves = reference::legal_moves(p);
    sort_by_rule(p, hint, moves);
    return moves;
}

std::vector<Move> capture_moves(const Position& p, std::optional<Move> hint) {
    // 1. The capturing moves, in generation order.
    std::vector<Move> captures;
    for (const Move& m : reference::legal_moves(p))
        if (has_piece(p, other(p.side_to_move), m.to)) captures.push_back(m);
    // 2. The sorting rule.
    sort_by_rule(p, hint, captures);
    // 3. At most four.
    if (captures.size() > 4) captures.resize(4);
    return captures;
}

// --- Table ----------------------------------------------------------------------

namespace {

std::array<std::optional<Entry>, 4>& bucket_of(Table& t, std::uint64_t key) { return t.buckets[key % t.buckets.size()]; }

}  // namespace

const Entry* find(const Table& t, std::uint64_t key) {
    const auto& bucket = t.buckets[key % t.buckets.size()];
    for (int i = 0; i < 4; ++i)
        if (bucket[i] && bucket[i]->key == key) return &*bucket[i];
    return nullptr;
}

void insert(Table& t, std::uint64_t key, std::int32_t score, std::uint8_t depth, Bound bound,
            std::optional<Move> best_move) {
    auto& bucket = bucket_of(t, key);
    const Entry entry{key, score, depth, bound, best_move};
    // 1. The key's own slot.
    for (int i = 0; i < 4; ++i) {
        if (bucket[i] && bucket[i]->key == key) {
            if (depth >= bucket[i]->depth) bucket[i] = entry;
            return;
        }
    }
    // 2. The lowest empty slot.
    for (int i = 0; i < 4; ++i) {
        if (!bucket[i]) {
            bucket[i] = entry;
            return;
        }
    }
    // 3. The shallowest slot, the lowest-numbered among equals.
    int victim = 0;
    for (int i = 1; i < 4; ++i)
        if (bucket[i]->depth < bucket[victim]->depth) victim = i;
    if (depth >= bucket[victim]->depth) bucket[victim] = entry;
}

std::optional<Move> hint_move(const Table& t, std::uint64_t key) {
    const Entry* e = find(t, key);
    if (e == nullptr) return std::nullopt;
    return e->best_move;
}

// --- Deadline -------------------------------------------------------------------

bool Deadline::passed(TestSite site, std::uint64_t hash) {
    if (!present) return false;
    ++tests;
    if (log) log->push_back(TestRecord{tests, site, hash});
    return passes_at && tests >= *passes_at;
}

// --- Search -----------------------------------------------------------------------

std::optional<std::int32_t> quiescence(const Position& p, std::int32_t alpha, std::int32_t beta, std::uint8_t ply,
                                       Table& table, Deadline& deadline, SearchStats& stats) {
    // 1.
    stats.quiescence_nodes += 1;
    // 2.
    if (deadline.passed(TestSite::QuiescenceEntry, p.hash)) return std::nullopt;
    // 3. Depth-0 entries only.
    std::int32_t a = alpha;
    std::int32_t b = beta;
    const Entry* entry = find(table, p.hash);
    if (entry != nullptr && entry->depth == 0) {
        if (entry->bound == Bound::Exact) return entry->score;
        if (entry->bound == Bound::LowerBound) {
            a = std::max(alpha, entry->score);
            if (a >= b) return entry->score;
        }
        if (entry->bound == Bound::UpperBound) {
            b = std::min(beta, entry->score);
            if (a >= b) return entry->score;
        }
    }
    // 4.
    const std::int32_t s = evaluate(p);
    // 5.
    if (ply >= 4) {
        insert(table, p.hash, s, 0, Bound::Exact, std::nullopt);
        return s;
    }
    // 6.
    if (s >= b) {
        insert(table, p.hash, b, 0, Bound::LowerBound, std::nullopt);
        return b;
    }
    // 7.
    std::int32_t best = std::max(a, s);
    std::optional<Move> best_move;
    // 8.
    const std::optional<Move> hint = hint_move(table, p.hash);
    const std::vector<Move> captures = capture_moves(p, hint);
    // 9.
    for (const Move& capture : captures) {
        // 9.1
        if (deadline.passed(TestSite::QuiescenceCapture, p.hash)) return std::nullopt;
        // 9.2
        const int gain = centre_distance(capture.from) - centre_distance(capture.to);
        if (s + 200 + 3 * gain <= best) continue;
        // 9.3
        Position child = p;
        if (reference::apply_move(child, capture)) continue;
        // 9.4
        const std::optional<std::int32_t> r =
            quiescence(child, -b, -best, static_cast<std::uint8_t>(ply + 1), table, deadline, stats);
        if (!r) return std::nullopt;
        // 9.5
        const std::int32_t v = -*r;
        // 9.6
        if (v >= b) {
            insert(table, p.hash, b, 0, Bound::LowerBound, capture);
            return b;
        }
        // 9.7
        if (v > best) {
            best = v;
            best_move = capture;
        }
    }
    // 10.
    Bound bound = Bound::UpperBound;
    if (best >= beta) {
        bound = Bound::LowerBound;
    } else if (best > alpha) {
        bound = Bound::Exact;
    }
    insert(table, p.hash, best, 0, bound, best_move);
    return best;
}

std::optional<std::int32_t> negamax(const Position& p, std::uint8_t depth, std::int32_t alpha, std::int32_t beta,
                                    Table& table, Deadline& deadline, SearchStats& stats) {
    // 1.
    stats.nodes += 1;
    // 2.
    if (deadline.passed(TestSite::NodeEntry, p.hash)) return std::nullopt;
    // 3.
    if (reference::outcome(p)) return evaluate(p);
    // 4.
    if (depth == 0) return quiescence(p, alpha, beta, 0, table, deadline, stats);
    // 5.
    const std::int32_t a0 = alpha;
    const std::int32_t b0 = beta;
    const Entry* entry = find(table, p.hash);
    if (entry != nullptr && entry->depth >= depth) {
        if (entry->bound == Bound::Exact) return entry->score;
        if (entry->bound == Bound::LowerBound) alpha = std::max(alpha, entry->score);
        if (entry->bound == Bound::UpperBound) beta = std::min(beta, entry->score);
        if (alpha >= beta) return entry->score;
    }
    // 6.
    const std::vector<Move> moves = ordered_moves(p, hint_move(table, p.hash));
    // 7.
    std::int32_t best = NO_SCORE;
    std::optional<Move> best_move;
    // 8.
    for (const Move& m : moves) {
        // 8.1
        if (deadline.passed(TestSite::NodeMove, p.hash)) return std::nullopt;
        // 8.2
        Position child = p;
        if (reference::apply_move(child, m)) continue;
        // 8.3
        const std::optional<std::int32_t> r =
            negamax(child, static_cast<std::uint8_t>(depth - 1), -beta, -alpha, table, deadline, stats);
        if (!r) return std::nullopt;
        // 8.4
        const std::int32_t score = -*r;
        if (score > best) {
            best = score;
            best_move = m;
        }
        // 8.5
        alpha = std::max(alpha, score);
        if (alpha >= beta) break;
    }
    // 9.
    Bound bound = Bound::Exact;
    if (best <= a0) {
        bound = Bound::UpperBound;
    } else if (best >= b0) {
        bound = Bound::LowerBound;
    }
    // 10.
    insert(table, p.hash, best, depth, bound, best_move);
    // 11.
    return best;
}

namespace {

std::optional<RootResult> finalize_root_result(const Position& p, std::uint8_t depth, Table& table,
                                               std::optional<std::pair<Move, std::int32_t>> candidate) {
    // 1.
    if (!candidate) return std::nullopt;
    // 2.
    insert(table, p.hash, candidate->second, depth, Bound::Exact, candidate->first);
    // 3.
    std::vector<Move> line;
    Position walk = p;
    for (int i = 0; i < depth; ++i) {
        const Entry* e = find(table, walk.hash);
        if (e == nullptr || !e->best_move) break;
        if (reference::apply_move(walk, *e->best_move)) break;
        line.push_back(*e->best_move);
    }
    // 4.
    if (line.empty()) line.push_back(candidate->first);
    // 5.
    RootResult result;
    result.principal_variation = line;
    result.score = candidate->second;
    result.best_move = candidate->first;
    result.depth = depth;
    return result;
}

}  // namespace

std::optional<RootResult> best_move_with_table(const Position& p, std::uint8_t depth, Table& table,
                                               Deadline& deadline, SearchStats& stats) {
    // 1.
    if (deadline.passed(TestSite::RootSearchStart, p.hash)) return std::nullopt;
    // 2.
    const std::vector<Move> moves = ordered_moves(p, hint_move(table, p.hash));
    if (moves.empty()) return std::nullopt;
    // 3.
    const std::uint8_t child_depth = depth == 0 ? 0 : static_cast<std::uint8_t>(depth - 1);
    // 4.
    std::int32_t best = NO_SCORE;
    std::optional<std::pair<Move, std::int32_t>> candidate;
    // 5.
    for (const Move& m : moves) {
        // 5.1
        if (deadline.passed(TestSite::RootMove, p.hash)) {
            stats.timed_out = true;  // 7.
            return finalize_root_result(p, depth, table, candidate);
        }
        // 5.2
        Position child = p;
        if (reference::apply_move(child, m)) return std::nullopt;
        // 5.3
        const std::optional<std::int32_t> r = negamax(child, child_depth, NO_SCORE, -best, table, deadline, stats);
        if (!r) {
            stats.timed_out = true;  // 7.
            return finalize_root_result(p, depth, table, candidate);
        }
        // 5.4
        const std::int32_t score = -*r;
        if (score > best) {
            best = score;
            candidate = std::make_pair(m, score);
        }
    }
    // 6.
    return finalize_root_result(p, depth, table, candidate);
}

AnalysisResult analyze(const Position& p, std::uint8_t max_depth, std::optional<Deadline> budget, Table* table_out) {
    // 1.
    Deadline deadline = budget ? *budget : Deadline::none();
    // 2.
    Table table(16384);
    AnalysisResult result;
    result.stats.root_legal_moves = reference::legal_moves(p).size();
    // 3.
    std::optional<RootResult> best;
    if (!budget) {
        // 4.
        std::optional<RootResult> r = best_move_with_table(p, max_depth, table, deadline, result.stats);
        if (r) {
            best = r;
            result.stats.completed_depth = max_depth;
        }
    } else {
        // 5.
        for (int d = 1; d <= max_depth; ++d) {
            std::optional<RootResult> r =
                best_move_with_table(p, static_cast<std::uint8_t>(d), table, deadline, result.stats);
            if (!r) {
                result.stats.timed_out = deadline.passed(TestSite::DriverCheck, p.hash);
                break;
            }
            best = r;
            result.stats.completed_depth = static_cast<std::uint8_t>(d);
            if (deadline.passed(TestSite::DriverCheck, p.hash)) {
                result.stats.timed_out = true;
                break;
            }
        }
    }
    // 6.
    if (!best && result.stats.root_legal_moves > 0) {
        const std::vector<Move> moves = ordered_moves(p, hint_move(table, p.hash));
        if (!moves.empty()) {
            RootResult fallback;
            fallback.principal_variation = {moves[0]};
            fallback.score = evaluate(p);
            fallback.best_move = moves[0];
            fallback.depth = 0;
            best = fallback;
        }
    }
    // 7.
    result.best = best;
    if (table_out) *table_out = table;
    return result;
}

}  // namespace tovak::reference_engine
