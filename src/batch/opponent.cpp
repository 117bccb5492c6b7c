#include "batch/opponent.h"

#include <cstdint>
#include <limits>

#include "engine/analysis.h"

namespace tovak {

namespace {

// The budget of a search without a time limit: 2^64 - 1 milliseconds, the
// largest the module takes. Added to the clock it overflows, so the search
// runs without a deadline, deepening from 1 to the depth with one table.
constexpr std::uint64_t NO_TIME_LIMIT_MS = std::numeric_limits<std::uint64_t>::max();
constexpr engine::Duration NO_TIME_LIMIT{
    NO_TIME_LIMIT_MS / 1000, static_cast<std::uint32_t>((NO_TIME_LIMIT_MS % 1000) * 1'000'000)};

}  // namespace

std::optional<Move> engine_choice(const Position& position, std::uint8_t depth) {
    const engine::AnalysisResult analysis =
        engine::analyze_iterative(position, depth, NO_TIME_LIMIT);
    if (!analysis.best) return std::nullopt;
    return analysis.best->best_move;
}

Move opponent_move(const Opponent& opponent, const Position& position, const LegalMoves& moves,
                   GameRandom& random) {
    if (opponent.kind == Opponent::Kind::Engine) {
        // The engine always answers a position with moves (its fallback is
        // the first ordered move); the first legal move only guards that.
        return engine_choice(position, opponent.depth).value_or(moves.nth(0));
    }
    return random_move(moves, random);
}

}  // namespace tovak
