#include "mcts/tree.h"

#include <algorithm>
#include <cassert>
#include <cmath>

namespace tovak::mcts {

void Tree::reset(const Position& root, int plies, int max_plies) {
    max_plies_ = max_plies;
    nodes_.clear();
    moves_.clear();
    priors_.clear();
    children_.clear();
    Node r;
    r.position = root;
    r.plies = plies;
    nodes_.push_back(r);
}

std::span<const Move> Tree::moves(NodeIndex i) const {
    const Node& n = node(i);
    return {moves_.data() + n.first_edge, n.edge_count};
}
std::span<const float> Tree::priors(NodeIndex i) const {
    const Node& n = node(i);
    return {priors_.data() + n.first_edge, n.edge_count};
}
std::span<float> Tree::priors(NodeIndex i) {
    const Node& n = node(i);
    return {priors_.data() + n.first_edge, n.edge_count};
}
std::span<const NodeIndex> Tree::children(NodeIndex i) const {
    const Node& n = node(i);
    return {children_.data() + n.first_edge, n.edge_count};
}

void Tree::lay_out(NodeIndex i) {
    assert(node(i).state == NodeState::Fresh);
    const std::vector<Move> legal = node(i).position.legal_moves();
    Node& n = at(i);
    if (legal.empty()) {
        n.state = NodeState::Lost;
        return;
    }
    if (n.plies >= max_plies_) {
        n.state = NodeState::Cut;
        return;
    }
    n.first_edge = static_cast<std::uint32_t>(moves_.size());
    n.edge_count = static_cast<std::uint32_t>(legal.size());
    n.state = NodeState::Pending;
    moves_.insert(moves_.end(), legal.begin(), legal.end());
    priors_.resize(moves_.size(), 0.0f);
    children_.resize(moves_.size(), NO_NODE);
}

void Tree::expand(NodeIndex i, std::span<const float> edge_logits) {
    assert(node(i).state == NodeState::Pending && edge_logits.size() == node(i).edge_count);
    std::span<float> p = priors(i);
    const float top = *std::max_element(edge_logits.begin(), edge_logits.end());
    float sum = 0.0f;
    for (std::size_t e = 0; e < p.size(); ++e) sum += p[e] = std::exp(edge_logits[e] - top);
    for (float& prior : p) prior /= sum;
    at(i).state = NodeState::Expanded;
}

void Tree::expand_uniform(NodeIndex i) {
    assert(node(i).state == NodeState::Pending);
    std::span<float> p = priors(i);
    std::fill(p.begin(), p.end(), 1.0f / static_cast<float>(p.size()));
    at(i).state = NodeState::Expanded;
}

std::uint32_t Tree::select_edge(NodeIndex i, double c_puct) const {
    const Node& n = node(i);
    assert(n.state == NodeState::Expanded);
    const double explore = c_puct * std::sqrt(static_cast<double>(n.visits + n.virtual_loss));
    // A child never visited counts as the node's own mean value, so that in a
    // position good for the side to move the untried moves are not taken
    // for worse than the tried ones.
    const double unvisited = n.mean_value();
    const float* prior = priors_.data() + n.first_edge;
    const NodeIndex* child = children_.data() + n.first_edge;
    std::uint32_t best = 0;
    double best_score = -INFINITY;
    for (std::uint32_t e = 0; e < n.edge_count; ++e) {
        double score;
        if (child[e] == NO_NODE) {
            score = unvisited + explore * prior[e];
        } else {
            const Node& c = node(child[e]);
            const int visits = c.visits + c.virtual_loss;
            // The child's value is for its own side to move: negated here; a
            // virtual loss is a win for the child's side.
            const double q = visits ? -(c.value_sum + c.virtual_loss) / visits : unvisited;
            score = q + explore * prior[e] / (1 + visits);
        }
        if (score > best_score) {
            best_score = score;
            best = e;
        }
    }
    return best;
}

NodeIndex Tree::child(NodeIndex i, std::uint32_t edge) {
    const std::size_t slot = node(i).first_edge + edge;
    if (children_[slot] != NO_NODE) return children_[slot];
    Node c;
    c.position = node(i).position;
    c.position.apply_legal_move(moves_[slot]);
    c.parent = i;
    c.plies = node(i).plies + 1;
    const auto index = static_cast<NodeIndex>(nodes_.size());
    nodes_.push_back(c);
    children_[slot] = index;
    return index;
}

void Tree::back_up(NodeIndex leaf, double value) {
    for (NodeIndex i = leaf; i != NO_NODE; i = node(i).parent, value = -value) {
        Node& n = at(i);
        n.virtual_loss -= 1;
        n.visits += 1;
        n.value_sum += value;
    }
}

void Tree::release(NodeIndex leaf) {
    for (NodeIndex i = leaf; i != NO_NODE; i = node(i).parent) at(i).virtual_loss -= 1;
}

}  // namespace tovak::mcts
