#include "engine/analysis.h"

#include "core/move_list.h"
#include "core/movegen.h"
#include "engine/evaluate.h"
#include "engine/ordering.h"
#include "engine/search.h"
#include "engine/table.h"

namespace tovak::engine {

template <typename Clock>
AnalysisResult analyze(const Position& position, const std::uint8_t max_depth,
                       const std::optional<Duration> budget, Clock& clock) {
    // The table goes with this frame.
    TranspositionTable table(TABLE_BUCKETS);
    return analyze_in_table(position, max_depth, budget, clock, table);
}

template <typename Clock>
AnalysisResult analyze_in_table(const Position& position, const std::uint8_t max_depth,
                                const std::optional<Duration> budget, Clock& clock,
                                TranspositionTable& table) {
    // 1. The deadline: none without a budget, or when the budget overflows the clock.
    const Deadline<Clock> deadline =
        budget ? Deadline<Clock>::after(clock, *budget) : Deadline<Clock>();
    // 2. One (empty) table and one record for every depth of this analysis.
    AnalysisResult result;
    SearchStats& stats = result.stats;
    {
        MoveList root_moves;
        generate_legal_moves(position, root_moves);
        stats.root_legal_moves = root_moves.size();
    }
    // 3.
    std::optional<RootResult>& best = result.best;
    if (!budget) {
        // 4. Fixed depth: one root search, depth 0 included.
        best = best_move_with_table(position, max_depth, table, deadline, stats);
        if (best) stats.completed_depth = max_depth;
    } else {
        // 5. Iterative deepening; depth 0 searches nothing.
        for (int d = 1; d <= max_depth; ++d) {
            const auto depth = static_cast<std::uint8_t>(d);
            // 5.1
            std::optional<RootResult> found =
                best_move_with_table(position, depth, table, deadline, stats);
            // 5.2 Nothing found: keep the previous depth's line.
            if (!found) {
                stats.timed_out = deadline.passed();
                break;
            }
            // 5.3 A line, even one cut short, replaces the previous one. The
            //     deadline test comes before the last-depth test, so a deadline
            //     passing during the final iteration is reported too.
            best = std::move(found);
            stats.completed_depth = depth;
            if (deadline.passed()) {
                stats.timed_out = true;
                break;
            }
        }
    }
    // 6. Fallback: the first ordered move with the static score.
    if (!best && stats.root_legal_moves > 0) {
        MoveList moves;
        ordered_moves(position, table.hint_move(position.hash), moves);
        if (!moves.empty()) best = RootResult{{moves[0]}, evaluate(position), moves[0], 0};
    }
    return result;
}

template AnalysisResult analyze<SteadyClock>(const Position&, std::uint8_t, std::optional<Duration>,
                                             SteadyClock&);
template AnalysisResult analyze<TickClock>(const Position&, std::uint8_t, std::optional<Duration>,
                                           TickClock&);
template AnalysisResult analyze_in_table<SteadyClock>(const Position&, std::uint8_t,
                                                      std::optional<Duration>, SteadyClock&,
                                                      TranspositionTable&);
template AnalysisResult analyze_in_table<TickClock>(const Position&, std::uint8_t,
                                                    std::optional<Duration>, TickClock&,
                                                    TranspositionTable&);

std::optional<RootResult> best_move(const Position& position, const std::uint8_t depth) {
    SteadyClock clock;
    return analyze(position, depth, std::nullopt, clock).best;
}

AnalysisResult analyze_iterative(const Position& position, const std::uint8_t max_depth,
                                 const Duration budget) {
    SteadyClock clock;
    return analyze(position, max_depth, budget, clock);
}

}  // namespace tovak::engine
