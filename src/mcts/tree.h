#pragma once
// The search tree of one game. Nodes live in one array, their edges (one per
// legal move, in the rules' move order) in three parallel arrays, so that a
// node's edges are contiguous and a selection scans them in one pass. A
// child node is made the first time a descent takes its edge. Nothing is
// freed until reset(), which keeps the arrays' capacity for the next search.
//
// Values are from the point of view of the side to move at the node whose
// statistics hold them: a leaf's evaluation is added to the leaf as it is,
// to its parent negated, and so on up to the root. A descent in flight adds
// one virtual loss to every node of its path: the node counts one more visit
// with a value of +1 for its own side to move, that is a loss for the parent
// that chose it, which steers other descents of the same round elsewhere.

#include <cstdint>
#include <span>
#include <vector>

#include "core/move.h"
#include "core/position.h"

namespace tovak::mcts {

enum class NodeState : std::uint8_t {
    Fresh,     // made; its moves are not generated yet
    Pending,   // its edges are laid out and it waits for its evaluation
    Expanded,  // its edges have priors: descents go through it
    Lost,      // the side to move has no legal move: value -1, for ever
    Cut,       // the game reaches its ply limit here unfinished: value 0
};

using NodeIndex = std::int32_t;
constexpr NodeIndex NO_NODE = -1;
constexpr NodeIndex ROOT = 0;

struct Node {
    Position position;
    NodeIndex parent = NO_NODE;
    std::uint32_t first_edge = 0;
    std::uint32_t edge_count = 0;
    std::int32_t plies = 0;         // plies played in the game at this node
    std::int32_t visits = 0;        // values backed up through this node, its own included
    std::int32_t virtual_loss = 0;  // descents in flight through this node
    double value_sum = 0.0;         // sum of those values, this node's side to move's view
    NodeState state = NodeState::Fresh;

    double mean_value() const { return visits ? value_sum / visits : 0.0; }
};

class Tree {
  public:
    // Clears the tree and makes a Fresh root.
    void reset(const Position& root, int plies, int max_plies);

    std::size_t size() const { return nodes_.size(); }
    int max_plies() const { return max_plies_; }
    const Node& node(NodeIndex i) const { return nodes_[static_cast<std::size_t>(i)]; }
    const Node& root() const { return nodes_[ROOT]; }

    std::span<const Move> moves(NodeIndex i) const;
    std::span<const float> priors(NodeIndex i) const;
    std::span<float> priors(NodeIndex i);
    std::span<const NodeIndex> children(NodeIndex i) const;

    // Generates the moves of a Fresh node: Lost without a legal move, else Cut
    // at the ply limit, else Pending with one edge per move.
    void lay_out(NodeIndex i);
    // Pending -> Expanded, with priors = softmax of the edges' logits.
    void expand(NodeIndex i, std::span<const float> edge_logits);
    // Pending -> Expanded, with equal priors (the softmax of equal logits).
    void expand_uniform(NodeIndex i);

    // The edge of an Expanded node with the highest PUCT score
    //   Q + c_puct * P * sqrt(N) / (1 + n),
    // Q the child's mean value from this node's view (for a child never
    // visited, this node's own mean value), n its visits and N this node's, virtual losses
    // included. Ties go to the first edge, in the rules' move order.
    std::uint32_t select_edge(NodeIndex i, double c_puct) const;
    // The child along an edge, made (Fresh) at the first call.
    NodeIndex child(NodeIndex i, std::uint32_t edge);

    // One virtual loss more on `i` (a descent has entered it).
    void add_virtual_loss(NodeIndex i) { nodes_[static_cast<std::size_t>(i)].virtual_loss += 1; }
    // Ends a descent at `leaf` with `value` from the leaf's side to move:
    // each node from the leaf to the root loses one virtual loss and gains
    // one visit and the value, negated at each step up.
    void back_up(NodeIndex leaf, double value);
    // Ends a descent at `leaf` without a value: the virtual losses go.
    void release(NodeIndex leaf);

  private:
    Node& at(NodeIndex i) { return nodes_[static_cast<std::size_t>(i)]; }

    int max_plies_ = 0;
    std::vector<Node> nodes_;
    std::vector<Move> moves_;
    std::vector<float> priors_;
    std::vector<NodeIndex> children_;
};

}  // namespace tovak::mcts
