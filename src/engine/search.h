#pragma once
// The main search: fail-soft alpha-beta in negamax form with the
// transposition table and an optional deadline, and the root search that
// scores every root move with it and reads the principal variation back
// from the table.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/move.h"
#include "core/position.h"
#include "engine/clock.h"
#include "engine/stats.h"
#include "engine/table.h"

namespace tovak::engine {

// The starting best score: one below every score a position can get, so the
// first searched move always replaces it. Its negation is the top of the
// root window.
constexpr std::int32_t NO_SCORE = -100001;

// The outcome of one root search.
struct RootResult {
    std::vector<Move> principal_variation;  // never empty; normally starts with best_move
    std::int32_t score = 0;                 // for the side to move at the root
    Move best_move;
    std::uint8_t depth = 0;  // depth of the root search that produced it
};

// The score of `position` searched `depth` plies deep for the window
// (alpha, beta), from its side to move's point of view; fail-soft, so it may
// lie outside the window. None when the deadline passed in this node or below
// it; then nothing is stored for it and the caller must give up at once.
// Counts every call in `nodes`.
template <typename Clock>
std::optional<std::int32_t> negamax(const Position& position, std::uint8_t depth,
                                    std::int32_t alpha, std::int32_t beta,
                                    TranspositionTable& table, const Deadline<Clock>& deadline,
                                    SearchStats& stats);

// The best root move at `depth` (a depth of 0 searches one ply, like 1),
// searched with the root window (best so far, -NO_SCORE). None when the root
// has no move or the deadline passed before any root move was fully searched.
// A deadline passing later sets `timed_out` and yields the best of the root
// moves completed so far. Counts no node of its own.
template <typename Clock>
std::optional<RootResult> best_move_with_table(const Position& position, std::uint8_t depth,
                                               TranspositionTable& table,
                                               const Deadline<Clock>& deadline, SearchStats& stats);

// The chosen root move and its score.
struct RootCandidate {
    Move move;
    std::int32_t score;
};

// Stores the candidate as the root's exact result for `depth` and reads the
// principal variation (at most `depth` moves, at least the best move) back
// from the table. None without a candidate.
std::optional<RootResult> finalize_root_result(const Position& position, std::uint8_t depth,
                                               TranspositionTable& table,
                                               std::optional<RootCandidate> candidate);

}  // namespace tovak::engine
