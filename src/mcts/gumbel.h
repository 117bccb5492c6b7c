#pragma once
// The Gumbel root: instead of PUCT and noise, the root samples up to
// max_considered actions without replacement by Gumbel top-k (the actions
// with the highest g + logit, g a standard Gumbel draw per action) and shares
// the simulations out between them by sequential halving: equal visits per
// phase, then the better half (by g + logit + sigma(Q)) goes on. The policy
// target is the improved policy softmax(logit + sigma(completed Q)).
//
// Completed Q: an action's mean value from the root's view when visited;
// otherwise the mixed value of the root, (v + N / sum_visited(pi) *
// sum_visited(pi q)) / (1 + N) with v the root's own evaluation, N the
// root's simulations and pi the priors. The completed values are rescaled to
// [0, 1] by their minimum and maximum over the legal moves, then
// sigma(q) = (SIGMA_VISIT_OFFSET + the largest visit count) * SIGMA_SCALE * q,
// monotone in q and growing with the visits, so that the search's values
// outweigh the prior as the visits grow.

#include <cstdint>
#include <span>
#include <vector>

namespace tovak::mcts {

constexpr double SIGMA_VISIT_OFFSET = 50.0;
constexpr double SIGMA_SCALE = 0.1;

// For each simulation 0..simulations-1, the visit count that a root action
// must have to be chosen by that simulation, for `considered` actions
// (considered >= 1). Phase by phase the considered actions each get one more
// visit, as many times as the phase's share of the simulations allows (at
// least once), and the number considered halves (to no fewer than 2).
std::vector<int> considered_visits(int considered, int simulations);

// The root's actions, one entry per legal move in the rules' order.
struct RootActions {
    std::span<const float> logits;   // as answered, for the legal moves
    std::span<const float> priors;   // softmax of the logits
    std::span<const int> visits;     // real visits (no virtual loss)
    std::span<const double> values;  // mean values from the root's view; unread when unvisited
    double root_value;               // the root's own evaluation
};

// sigma(completed Q) for every action.
std::vector<double> transformed_values(const RootActions& root);

// softmax(logit + sigma(completed Q)) over the actions.
std::vector<float> improved_policy(const RootActions& root);

}  // namespace tovak::mcts
