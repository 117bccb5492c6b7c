#include "mcts/game_search.h"

#include <algorithm>
#include <cmath>

#include "batch/features.h"
#include "mcts/gumbel.h"

namespace tovak::mcts {

void GameSearch::begin(const Root& root, const SearchConfig& config) {
    simulations_ = config.simulations;
    started_ = 0;
    finished_ = 0;
    batch_.clear();
    tree_.reset(root.position, root.plies, root.max_plies);
    tree_.lay_out(ROOT);
    const NodeState state = tree_.root().state;
    if (state == NodeState::Lost || state == NodeState::Cut) {
        tree_.add_virtual_loss(ROOT);
        tree_.back_up(ROOT, state == NodeState::Lost ? -1.0 : 0.0);
    }
}

bool GameSearch::finished() const {
    switch (tree_.root().state) {
        case NodeState::Lost:
        case NodeState::Cut:
            return true;
        case NodeState::Expanded:
            return finished_ == simulations_;
        default:
            return false;
    }
}

NodeIndex GameSearch::descend(const SearchConfig& config) {
    // Each node's edge is chosen before this descent's own virtual loss goes
    // on it: only the other descents in flight count.
    NodeIndex i = ROOT;
    while (tree_.node(i).state == NodeState::Expanded) {
        const std::uint32_t edge =
            i == ROOT && config.gumbel ? gumbel_root_edge() : tree_.select_edge(i, config.c_puct);
        tree_.add_virtual_loss(i);
        i = tree_.child(i, edge);
    }
    tree_.add_virtual_loss(i);
    return i;
}

void GameSearch::gather(const SearchConfig& config) {
    batch_.clear();
    // 1. The root's own evaluation comes first, alone.
    if (tree_.root().state == NodeState::Pending) {
        tree_.add_virtual_loss(ROOT);
        batch_.push_back(ROOT);
        return;
    }
    if (tree_.root().state != NodeState::Expanded) return;
    // 2. Descents until the round is full or every simulation has started.
    while (batch_.size() < static_cast<std::size_t>(config.leaves_per_game) &&
           started_ < simulations_) {
        const NodeIndex leaf = descend(config);
        const bool fresh = tree_.node(leaf).state == NodeState::Fresh;
        if (fresh) tree_.lay_out(leaf);
        switch (tree_.node(leaf).state) {
            case NodeState::Pending:
                if (!fresh) {
                    // 3. A leaf already waiting in this round: the round ends
                    //    here rather than ask for it twice.
                    tree_.release(leaf);
                    return;
                }
                ++started_;
                batch_.push_back(leaf);
                break;
            case NodeState::Lost:
            case NodeState::Cut:
                // 4. Finished and cut positions are scored here, never asked for.
                ++started_;
                ++finished_;
                tree_.back_up(leaf, tree_.node(leaf).state == NodeState::Lost ? -1.0 : 0.0);
                break;
            default:
                break;  // descend() stops at no Expanded node
        }
    }
}

void GameSearch::answer_leaf(std::size_t j, const float* logits, double value,
                             const SearchConfig& config) {
    const NodeIndex leaf = batch_[j];
    const Color mover = tree_.node(leaf).position.side_to_move;
    const std::span<const Move> moves = tree_.moves(leaf);
    edge_logits_.resize(moves.size());
    for (std::size_t e = 0; e < moves.size(); ++e)
        edge_logits_[e] = logits[action_of(moves[e], mover)];
    tree_.expand(leaf, edge_logits_);
    finish_leaf(leaf, edge_logits_, value, config);
}

void GameSearch::answer_batch(Evaluator evaluator, const SearchConfig& config) {
    for (const NodeIndex leaf : batch_) {
        const Node& n = tree_.node(leaf);
        // Rounded to float as an answer's values are, so that a network
        // answering the same values builds the same trees.
        const float value = static_cast<float>(
            evaluator == Evaluator::Uniform
                ? static_value(n.position)
                : rollout_value(n.position, n.plies, tree_.max_plies(), generator_));
        tree_.expand_uniform(leaf);
        zero_logits_.assign(n.edge_count, 0.0f);
        finish_leaf(leaf, zero_logits_, value, config);
    }
}

void GameSearch::finish_leaf(NodeIndex leaf, std::span<const float> edge_logits, double value,
                             const SearchConfig& config) {
    if (leaf != ROOT) {
        ++finished_;
    } else if (config.gumbel) {
        // The Gumbel root: one draw per action, and the halving schedule
        // over the actions it can consider.
        root_evaluation_ = value;
        root_logits_.assign(edge_logits.begin(), edge_logits.end());
        root_gumbel_.resize(edge_logits.size());
        for (double& g : root_gumbel_) g = gumbel(generator_);
        const int considered =
            std::min(config.max_considered, static_cast<int>(edge_logits.size()));
        schedule_ = considered_visits(considered, simulations_);
    } else if (config.dirichlet_fraction > 0) {
        // Dirichlet noise on the root's priors only, once it is expanded.
        const std::span<float> priors = tree_.priors(ROOT);
        std::vector<double> noise(priors.size());
        double sum = 0.0;
        for (double& x : noise) sum += x = gamma(generator_, config.dirichlet_alpha);
        if (sum > 0.0) {
            const double f = config.dirichlet_fraction;
            for (std::size_t e = 0; e < priors.size(); ++e)
                priors[e] = static_cast<float>((1.0 - f) * priors[e] + f * noise[e] / sum);
        }
    }
    tree_.back_up(leaf, value);
}

int GameSearch::visits_in_flight(std::uint32_t edge) const {
    const NodeIndex c = tree_.children(ROOT)[edge];
    return c == NO_NODE ? 0 : tree_.node(c).visits + tree_.node(c).virtual_loss;
}

std::vector<double> GameSearch::gumbel_scores() const {
    const std::span<const NodeIndex> children = tree_.children(ROOT);
    const std::size_t n = children.size();
    std::vector<int> visits(n, 0);
    std::vector<double> values(n, 0.0);
    for (std::size_t e = 0; e < n; ++e) {
        if (children[e] == NO_NODE) continue;
        const Node& c = tree_.node(children[e]);
        visits[e] = c.visits;
        values[e] = -c.mean_value();
    }
    const RootActions root{root_logits_, tree_.priors(ROOT), visits, values, root_evaluation_};
    std::vector<double> score = transformed_values(root);
    for (std::size_t e = 0; e < n; ++e) score[e] += root_gumbel_[e] + root_logits_[e];
    return score;
}

std::uint32_t GameSearch::gumbel_root_edge() const {
    // Simulation s visits the best-scoring action among those with exactly
    // the visit count the schedule asks for at s (counting descents in
    // flight, so several leaves per round follow the same schedule).
    const std::size_t s = std::min(static_cast<std::size_t>(started_), schedule_.size() - 1);
    const int wanted = schedule_[s];
    const std::vector<double> score = gumbel_scores();
    std::uint32_t best = 0;
    double best_score = -INFINITY;
    bool found = false;
    for (std::uint32_t e = 0; e < score.size(); ++e) {
        if (visits_in_flight(e) != wanted) continue;
        if (!found || score[e] > best_score) {
            best = e;
            best_score = score[e];
            found = true;
        }
    }
    return found ? best : tree_.select_edge(ROOT, 0.0);
}

std::int32_t GameSearch::best_edge(const SearchConfig& config) const {
    if (tree_.root().state != NodeState::Expanded) return -1;
    const std::span<const NodeIndex> children = tree_.children(ROOT);
    int most = 0;
    for (const NodeIndex c : children)
        if (c != NO_NODE) most = std::max(most, tree_.node(c).visits);
    if (most == 0) return -1;
    // Of the most visited actions: with gumbel the one with the best Gumbel
    // score (the action sequential halving chose), else the first in the
    // rules' move order.
    const std::vector<double> score = config.gumbel ? gumbel_scores() : std::vector<double>{};
    std::int32_t best = -1;
    for (std::uint32_t e = 0; e < children.size(); ++e) {
        if (children[e] == NO_NODE || tree_.node(children[e]).visits != most) continue;
        if (best < 0 || (config.gumbel && score[e] > score[static_cast<std::size_t>(best)]))
            best = static_cast<std::int32_t>(e);
    }
    return best;
}

void GameSearch::write_result(float* policy, std::int32_t* visits, float* root_value,
                              std::int32_t* action, const SearchConfig& config) const {
    std::fill(policy, policy + ACTION_COUNT, 0.0f);
    std::fill(visits, visits + ACTION_COUNT, 0);
    const Node& root = tree_.root();
    *root_value = static_cast<float>(root.mean_value());
    const std::int32_t best = best_edge(config);
    if (best < 0) {
        *action = -1;
        return;
    }
    const Color mover = root.position.side_to_move;
    const std::span<const Move> moves = tree_.moves(ROOT);
    const std::span<const NodeIndex> children = tree_.children(ROOT);
    std::vector<int> counts(moves.size(), 0);
    std::vector<double> values(moves.size(), 0.0);
    int total = 0;
    for (std::size_t e = 0; e < moves.size(); ++e) {
        if (children[e] == NO_NODE) continue;
        counts[e] = tree_.node(children[e]).visits;
        values[e] = -tree_.node(children[e]).mean_value();
        total += counts[e];
        visits[action_of(moves[e], mover)] = counts[e];
    }
    if (config.gumbel) {
        const RootActions actions{root_logits_, tree_.priors(ROOT), counts, values,
                                  root_evaluation_};
        const std::vector<float> improved = improved_policy(actions);
        for (std::size_t e = 0; e < moves.size(); ++e)
            policy[action_of(moves[e], mover)] = improved[e];
    } else {
        for (std::size_t e = 0; e < moves.size(); ++e)
            policy[action_of(moves[e], mover)] =
                static_cast<float>(counts[e]) / static_cast<float>(total);
    }
    *action = action_of(moves[static_cast<std::size_t>(best)], mover);
}

std::int32_t GameSearch::select(double temperature, const SearchConfig& config) {
    const std::int32_t best = best_edge(config);
    if (best < 0) return -1;
    const Color mover = tree_.root().position.side_to_move;
    const std::span<const Move> moves = tree_.moves(ROOT);
    if (temperature == 0.0) return action_of(moves[static_cast<std::size_t>(best)], mover);
    // Weights visits^(1/T), scaled by the largest so that a small T cannot
    // overflow: (v / most)^(1/T).
    const std::span<const NodeIndex> children = tree_.children(ROOT);
    const double most = tree_.node(children[static_cast<std::size_t>(best)]).visits;
    std::vector<double> weight(moves.size(), 0.0);
    double sum = 0.0;
    for (std::size_t e = 0; e < moves.size(); ++e) {
        if (children[e] == NO_NODE || tree_.node(children[e]).visits == 0) continue;
        sum += weight[e] = std::pow(tree_.node(children[e]).visits / most, 1.0 / temperature);
    }
    double draw = uniform(generator_) * sum;
    std::size_t pick = static_cast<std::size_t>(best);
    for (std::size_t e = 0; e < moves.size(); ++e) {
        if (weight[e] == 0.0) continue;
        pick = e;
        if (draw < weight[e]) break;
        draw -= weight[e];
    }
    return action_of(moves[pick], mover);
}

}  // namespace tovak::mcts
