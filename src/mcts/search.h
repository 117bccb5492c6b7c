#pragma once
// A batched tree search: one tree per game, walked in C++ on a small thread
// pool, whose leaves are evaluated by the caller in batches (ask and answer)
// or by a built-in evaluator. Every buffer is the caller's, laid out as the
// numpy arrays of a binding, so it can be handed over without a copy:
//
//   Search search(config, games);
//   search.begin(roots);
//   std::size_t k;
//   while (!search.leaves(buffers, k) && k > 0)   // leaves.observation (k, 3, 8, 8) ...
//       search.answer(logits, values);            // logits (k, 4096), values (k)
//   search.result(out);
//
// Values are from the point of view of the side to move at each leaf. A
// finished position (no legal move: the side to move loses) scores -1 and a
// game cut at its ply limit 0; neither is ever asked for. A refused call
// (SearchError) changes nothing, and the search can be answered correctly
// afterwards. One call at a time: the search is not safe to call from two
// threads at once (a binding holds a lock or refuses).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "batch/thread_pool.h"
#include "mcts/config.h"
#include "mcts/evaluators.h"
#include "mcts/game_search.h"
#include "mcts/search_error.h"

namespace tovak::mcts {

// Where leaves() writes the leaves it asks for; each span holds at least
// max_leaves() rows, of which the first k are written.
struct LeafBuffers {
    std::span<float> observation;               // rows of PLANES_SIZE (3 x 8 x 8)
    std::span<std::uint8_t> legal_action_mask;  // rows of ACTION_COUNT, 1 = legal (numpy bool)
    std::span<std::int32_t> game;               // the game index of each leaf
};

// Where result() writes, one row per game.
struct ResultBuffers {
    std::span<float> policy;         // games x ACTION_COUNT
    std::span<std::int32_t> visits;  // games x ACTION_COUNT
    std::span<float> root_value;     // games
    std::span<std::int32_t> action;  // games
};

class Search {
  public:
    // `config` must pass check(); games >= 1.
    Search(const SearchConfig& config, std::size_t games);

    std::size_t games() const { return games_.size(); }
    // The most leaves one round can ask for: games x leaves_per_game.
    std::size_t max_leaves() const;
    const SearchConfig& config() const { return config_; }

    // A new tree at each game's root, one root per game; the games'
    // generators carry on from the previous search.
    std::optional<SearchError> begin(std::span<const Root> roots);

    // Gathers the next round's leaves into `out` and sets `count` to their
    // number, 0 once every tree has its simulations. Leaves of one game are
    // contiguous and games come in ascending order. Asked again before an
    // answer, it writes the same leaves again.
    std::optional<SearchError> leaves(const LeafBuffers& out, std::size_t& count);

    // The answer for the leaves asked: logits (count x ACTION_COUNT, by move
    // number; only the legal moves' entries are read, so masked entries may
    // hold anything) and values (count, in [-1, 1]). Priors are the softmax
    // of the logits over the legal moves.
    std::optional<SearchError> answer(std::span<const float> logits, std::span<const float> values);

    // Runs every tree to its simulations with a built-in evaluator.
    std::optional<SearchError> run(Evaluator evaluator);

    // The result of a finished search. policy: the visit distribution, or
    // with gumbel the improved policy; zero off the legal moves. visits: the
    // root children's visits. root_value: the root's mean value (its own
    // evaluation and every simulation), its side to move's view. action: the
    // most visited move, ties broken in the rules' move order (with gumbel,
    // by the Gumbel score); -1 for a root that is finished or cut.
    std::optional<SearchError> result(const ResultBuffers& out) const;

    // One action per game: temperature 0 gives result()'s action, otherwise
    // a move drawn from the game's generator with weights visits^(1/T).
    std::optional<SearchError> select(double temperature, std::span<std::int32_t> actions);

    // One game's search, for inspection.
    const GameSearch& game(std::size_t i) const { return games_[i]; }

  private:
    enum class Phase : std::uint8_t { NotBegun, Searching, Asked };

    std::optional<SearchError> check_finished() const;

    SearchConfig config_;
    std::vector<GameSearch> games_;
    std::unique_ptr<ThreadPool> pool_;
    Phase phase_ = Phase::NotBegun;
    std::vector<std::size_t> offsets_;  // first leaf of each game in the round asked
    std::size_t asked_ = 0;             // leaves asked in that round
};

}  // namespace tovak::mcts
