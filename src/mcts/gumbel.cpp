#include "mcts/gumbel.h"

#include <algorithm>
#include <cmath>

namespace tovak::mcts {

std::vector<int> considered_visits(int considered, int simulations) {
    std::vector<int> sequence;
    sequence.reserve(static_cast<std::size_t>(simulations));
    if (considered <= 1) {
        for (int s = 0; s < simulations; ++s) sequence.push_back(s);
        return sequence;
    }
    const int phases = static_cast<int>(std::ceil(std::log2(static_cast<double>(considered))));
    std::vector<int> visits(static_cast<std::size_t>(considered), 0);
    int now = considered;
    while (static_cast<int>(sequence.size()) < simulations) {
        const int extra = std::max(1, simulations / (phases * now));
        for (int round = 0; round < extra; ++round) {
            for (int a = 0; a < now; ++a) sequence.push_back(visits[static_cast<std::size_t>(a)]++);
        }
        now = std::max(2, now / 2);
    }
    sequence.resize(static_cast<std::size_t>(simulations));
    return sequence;
}

std::vector<double> transformed_values(const RootActions& root) {
    const std::size_t n = root.logits.size();
    int total = 0;
    int most = 0;
    double visited_prior = 0.0;
    double weighted_value = 0.0;
    for (std::size_t a = 0; a < n; ++a) {
        total += root.visits[a];
        most = std::max(most, root.visits[a]);
        if (root.visits[a] > 0) {
            visited_prior += root.priors[a];
            weighted_value += root.priors[a] * root.values[a];
        }
    }
    double mixed = root.root_value;
    if (total > 0 && visited_prior > 0.0)
        mixed = (root.root_value + total * weighted_value / visited_prior) / (1.0 + total);

    std::vector<double> q(n);
    for (std::size_t a = 0; a < n; ++a) q[a] = root.visits[a] > 0 ? root.values[a] : mixed;
    const auto [low, high] = std::minmax_element(q.begin(), q.end());
    const double bottom = *low;
    const double span = std::max(*high - *low, 1e-8);
    const double scale = (SIGMA_VISIT_OFFSET + most) * SIGMA_SCALE;
    for (double& value : q) value = scale * (value - bottom) / span;
    return q;
}

std::vector<float> improved_policy(const RootActions& root) {
    const std::vector<double> sigma = transformed_values(root);
    const std::size_t n = sigma.size();
    std::vector<double> score(n);
    for (std::size_t a = 0; a < n; ++a) score[a] = root.logits[a] + sigma[a];
    const double top = *std::max_element(score.begin(), score.end());
    double sum = 0.0;
    for (double& s : score) sum += s = std::exp(s - top);
    std::vector<float> policy(n);
    for (std::size_t a = 0; a < n; ++a) policy[a] = static_cast<float>(score[a] / sum);
    return policy;
}

}  // namespace tovak::mcts
