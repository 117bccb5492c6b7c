#include "mcts/evaluators.h"

#include <cmath>
#include <vector>

#include "engine/evaluate.h"

namespace tovak::mcts {

std::optional<Evaluator> parse_evaluator(std::string_view name) {
    if (name == "uniform") return Evaluator::Uniform;
    if (name == "rollout") return Evaluator::Rollout;
    return std::nullopt;
}

double static_value(const Position& p) {
    return std::tanh(static_cast<double>(engine::evaluate(p)) / STATIC_VALUE_SCALE);
}

double rollout_value(Position p, int plies, int max_plies, GameRandom& generator) {
    const Color leaf_mover = p.side_to_move;
    for (;; ++plies) {
        const std::vector<Move> moves = p.legal_moves();
        if (moves.empty()) return p.side_to_move == leaf_mover ? -1.0 : 1.0;
        if (plies >= max_plies) return 0.0;
        p.apply_legal_move(moves[generator.below(static_cast<std::uint32_t>(moves.size()))]);
    }
}

}  // namespace tovak::mcts
