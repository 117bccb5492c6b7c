#pragma once
// The search of one game: its tree, its generator, the leaves it has asked
// for and how many of its simulations have started and finished. Everything
// a game's search does depends only on this state and the answers for its
// leaves, so games can be walked on any thread in any grouping.
//
// A round: gather() descends from the root up to leaves_per_game times,
// scoring finished and cut positions at once, and keeps the leaves that need
// an evaluation in batch(); then each of them is answered (answer_leaf or
// the built-in evaluators), in batch order. The root's own evaluation comes
// first, alone in its round, and is not a simulation: the root's children's
// visits add up to the simulations.

#include <cstdint>
#include <span>
#include <vector>

#include "core/position.h"
#include "mcts/config.h"
#include "mcts/distributions.h"
#include "mcts/evaluators.h"
#include "mcts/tree.h"

namespace tovak::mcts {

// A game's current position, as the search starts from it.
struct Root {
    Position position;
    int plies = 0;      // plies played so far
    int max_plies = 0;  // the game is cut unfinished when it reaches this many
};

class GameSearch {
  public:
    // Game `game` of a search seeded with `seed`: its generator, kept from
    // one begin() to the next.
    GameSearch(std::uint64_t seed, std::size_t game) : generator_(search_random(seed, game)) {}

    // A new tree at `root`, whose position is laid out at once: a finished or
    // cut root ends the search there.
    void begin(const Root& root, const SearchConfig& config);

    // Fills batch() with the next round's leaves (see above).
    void gather(const SearchConfig& config);
    std::span<const NodeIndex> batch() const { return batch_; }
    // Expands the j-th leaf of the batch with the softmax of `logits` (4096
    // entries, by move number) over its legal moves and backs up `value`,
    // from the leaf's side to move.
    void answer_leaf(std::size_t j, const float* logits, double value, const SearchConfig& config);
    // Evaluates and answers the whole batch with a built-in evaluator.
    void answer_batch(Evaluator evaluator, const SearchConfig& config);
    void clear_batch() { batch_.clear(); }

    // Every simulation has finished (at once for a finished or cut root).
    bool finished() const;
    const Tree& tree() const { return tree_; }

    // One game's row of the result: policy and visits by move number (4096
    // each), the root's mean value from its side to move's view, and the
    // action (-1 when the root has no simulations).
    void write_result(float* policy, std::int32_t* visits, float* root_value, std::int32_t* action,
                      const SearchConfig& config) const;
    // The most visited action (temperature 0), else one drawn with weights
    // visits^(1 / temperature); -1 when the root has no simulations.
    std::int32_t select(double temperature, const SearchConfig& config);

  private:
    // One descent from the root to a node that is not Expanded, with a
    // virtual loss on every node of the path.
    NodeIndex descend(const SearchConfig& config);
    std::uint32_t gumbel_root_edge() const;
    // The root's action by the rules of the result: see write_result.
    std::int32_t best_edge(const SearchConfig& config) const;
    // After the leaf's expansion: the root's noise or Gumbel draws, then the
    // value backed up.
    void finish_leaf(NodeIndex leaf, std::span<const float> edge_logits, double value,
                     const SearchConfig& config);
    // g + logit + sigma(completed Q) of every root action, real statistics.
    std::vector<double> gumbel_scores() const;
    // Visits of a root edge's child, virtual losses included.
    int visits_in_flight(std::uint32_t edge) const;

    GameRandom generator_;
    Tree tree_;
    int simulations_ = 0;
    int started_ = 0;   // descents begun that count as simulations
    int finished_ = 0;  // of those, the ones backed up
    std::vector<NodeIndex> batch_;
    std::vector<float> edge_logits_;  // scratch for answer_leaf
    // The Gumbel root.
    std::vector<float> root_logits_;
    std::vector<double> root_gumbel_;
    std::vector<float> zero_logits_;  // the uniform evaluator's logits
    std::vector<int> schedule_;       // considered_visits for this root
    double root_evaluation_ = 0.0;
};

}  // namespace tovak::mcts
