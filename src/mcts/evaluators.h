#pragma once
// The evaluators built into the search, which score leaves in C++ with no
// network: "uniform" gives every legal move the same prior and values a leaf
// by the engine's static evaluation, squashed to [-1, 1]; "rollout" gives
// the same priors and values a leaf by one random playout.

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/position.h"
#include "mcts/distributions.h"

namespace tovak::mcts {

enum class Evaluator : std::uint8_t { Uniform, Rollout };

std::optional<Evaluator> parse_evaluator(std::string_view name);

// The squash of a static score s (side to move's view) into a value:
// tanh(s / STATIC_VALUE_SCALE). With 1000, a piece up and nothing else
// (120 points) is worth 0.12, four pieces 0.45, and one move of mobility
// (12 points) about 0.01: the value saturates only for an overwhelming
// material lead, so a won game (+1) still stands out above a good position
// and the search steers for it. A position without a legal move scores
// -100000, which squashes to -1 as a finished game does.
constexpr double STATIC_VALUE_SCALE = 1000.0;

double static_value(const Position& p);

// The result of one playout from `p` (plies played so far `plies`): uniformly
// random legal moves drawn from `generator` until a side to move has none or
// the game reaches `max_plies`. +1 when the side to move at `p` wins, -1 when
// it loses, 0 when the game is cut unfinished.
double rollout_value(Position p, int plies, int max_plies, GameRandom& generator);

}  // namespace tovak::mcts
