// The Gumbel root: the sequential-halving schedule and the improved policy.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "mcts/gumbel.h"

namespace tovak::mcts {
namespace {

TEST(Gumbel, HalvingScheduleVisitsTheConsideredActionsPhaseByPhase) {
    // 4 actions, 2 phases, 16 simulations: phase 1 gives each of the 4 two
    // visits (16 / (2 x 4)), then the best 2 share the rest.
    EXPECT_EQ(considered_visits(4, 16),
              (std::vector<int>{0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5}));
    // One action takes every simulation.
    EXPECT_EQ(considered_visits(1, 4), (std::vector<int>{0, 1, 2, 3}));
    // Fewer simulations than actions: only the first phase, cut short.
    EXPECT_EQ(considered_visits(16, 5), (std::vector<int>{0, 0, 0, 0, 0}));
    for (const int m : {2, 3, 16}) EXPECT_EQ(considered_visits(m, 800).size(), 800u);
}

TEST(Gumbel, ImprovedPolicyFavoursTheBetterValuesMoreAsVisitsGrow) {
    const std::vector<float> logits = {0.0f, 0.0f, 0.0f};
    const std::vector<float> priors = {1.0f / 3, 1.0f / 3, 1.0f / 3};
    const std::vector<double> values = {0.5, -0.5, 0.0};
    std::vector<float> before;
    for (const int v : {1, 40}) {
        const std::vector<int> visits = {v, v, 0};
        const std::vector<float> policy = improved_policy({logits, priors, visits, values, 0.0});
        EXPECT_NEAR(std::accumulate(policy.begin(), policy.end(), 0.0), 1.0, 1e-6);
        EXPECT_GT(policy[0], policy[2]);  // the unvisited one gets the mixed value
        EXPECT_GT(policy[2], policy[1]);
        if (!before.empty()) {
            EXPECT_GT(policy[0], before[0]);
        }
        before = policy;
    }
    // With no visits at all the improved policy is the prior.
    const std::vector<int> none = {0, 0, 0};
    const std::vector<float> unchanged = improved_policy({logits, priors, none, values, 0.3});
    for (const float p : unchanged) EXPECT_NEAR(p, 1.0f / 3, 1e-6);
}

}  // namespace
}  // namespace tovak::mcts
