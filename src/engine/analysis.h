#pragma once
// The engine's entry points: static score, fixed-depth best move and the
// time-budgeted iterative analysis. Each call builds and drops its own
// transposition table and counters; nothing survives between calls.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/position.h"
#include "engine/clock.h"
#include "engine/stats.h"

namespace tovak::engine {

// The outcome of one root search.
struct RootResult {
    std::vector<Move> principal_variation;  // never empty; normally starts with best_move
    std::int32_t score = 0;                 // for the side to move at the root
    Move best_move;
    std::uint8_t depth = 0;  // depth of the root search that produced it
};

struct AnalysisResult {
    SearchStats stats;
    std::optional<RootResult> best;
};

// Static score from the side to move's point of view.
std::int32_t evaluate(const Position& position);

// Fixed-depth search without a time limit; none when the side to move has no move.
std::optional<RootResult> best_move(const Position& position, std::uint8_t depth);

// Iterative deepening to max_depth within the budget (always present; zero means
// already expired). A budget that would overflow the clock means no deadline.
AnalysisResult analyze_iterative(const Position& position, std::uint8_t max_depth, Duration budget);

// The driver behind both: one table and one record of counters for the whole
// call; without a budget a single root search at max_depth, with one an
// iterative deepening 1..max_depth against the deadline (none for max_depth
// 0); and when no search produced a line, the first ordered move with the
// static score. The clock is read only when a budget is given. Built for
// SteadyClock and TickClock.
template <typename Clock>
AnalysisResult analyze(const Position& position, std::uint8_t max_depth, std::optional<Duration> budget,
                       Clock& clock);

}  // namespace tovak::engine
