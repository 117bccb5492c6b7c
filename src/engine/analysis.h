#pragma once
// The engine's entry points: the fixed-depth best move and the
// time-budgeted iterative analysis. Each call builds and drops its own
// transposition table and counters; nothing survives between calls.

#include <cstdint>
#include <optional>

#include "core/position.h"
#include "engine/clock.h"
#include "engine/search.h"
#include "engine/stats.h"
#include "engine/table.h"

namespace tovak::engine {

struct AnalysisResult {
    SearchStats stats;
    std::optional<RootResult> best;
};

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
AnalysisResult analyze(const Position& position, std::uint8_t max_depth,
                       std::optional<Duration> budget, Clock& clock);

// The same analysis in `table`, which must be empty (new or cleared) and of
// TABLE_BUCKETS buckets for the results to be the engine's: for callers that
// analyse many positions in a row and clear the table between them.
template <typename Clock>
AnalysisResult analyze_in_table(const Position& position, std::uint8_t max_depth,
                                std::optional<Duration> budget, Clock& clock,
                                TranspositionTable& table);

}  // namespace tovak::engine
