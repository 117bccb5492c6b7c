#pragma once
// N games held side by side for reinforcement learning: reset and stepped
// as one batch, their state written into buffers that the caller owns (the
// Python binding hands them to numpy without copying).
//
// Conventions, the same as a single environment's:
//   - every observation and move number is from the view of the side to
//     move (features.h: for Black each square is turned round, s XOR 56);
//   - rewards are White's and Black's for the last step: +1 for the side
//     that won in that step, -1 for the side that lost, else 0;
//   - `terminated` when the side to move has no legal move (it has lost),
//     `truncated` when a game reaches max_plies unfinished (no reward);
//   - plies count the moves played since the reset, the random opening not
//     included (the opponent's moves included).
//
// Each game draws every random choice from its own generator, seeded from
// (seed, game index), and the games are split among the pool's threads in
// contiguous ranges; so the same seed and the same actions give the same
// states whatever the number of threads.
//
// With an opponent, the games are those of an agent playing one colour: a
// step is the agent's move and then, unless that ended the game, the
// opponent's reply, both made here; after a reset the opponent opens when
// the agent is Black. Rewards, flags and plies of a step cover both moves,
// and the position handed back has the agent to move (unless it ended).
//
// Not thread-safe: one thread at a time calls a Games object (the binding
// holds a lock); the object uses its own worker threads inside a call.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "batch/autoreset.h"
#include "batch/game_random.h"
#include "batch/legal_moves.h"
#include "batch/opponent.h"
#include "batch/step_error.h"
#include "batch/thread_pool.h"
#include "core/color.h"
#include "core/position.h"

namespace tovak {

// Which colour the agent plays when there is an opponent. Alternate: game i
// gives the agent White in its episodes k with i + k even (k counts the
// resets since the generators were last seeded, from 0), Black otherwise.
enum class AgentColor : std::uint8_t { White, Black, Alternate };

struct GamesConfig {
    std::size_t num_games = 1;
    unsigned threads = 1;
    std::uint64_t seed = 0;
    Position start = Position::initial();  // every reset starts here...
    int random_plies = 0;                  // ...then plays this many random moves
    int max_plies = 200;
    AutoReset autoreset = AutoReset::NextStep;
    std::optional<Opponent> opponent;  // none: the caller plays both sides
    AgentColor agent_color = AgentColor::White;
};

enum class ConfigError : std::uint8_t {
    NoGames,          // num_games is 0
    NoThreads,        // threads is 0
    NegativeOpening,  // random_plies < 0
    NoPlyAllowed,     // max_plies < 1
    EngineDepthZero,  // an engine opponent of depth 0
};
// None when `config` is valid.
std::optional<ConfigError> check(const GamesConfig& config);

// Where a call writes the state of all games, row i for game i. A null
// pointer leaves that field unwritten.
struct StateBuffers {
    float* observation = nullptr;               // N x PLANES_SIZE (N x 3 x 8 x 8)
    std::uint8_t* legal_action_mask = nullptr;  // N x ACTION_COUNT, 0 or 1
    std::int8_t* current_player = nullptr;      // N: 0 White, 1 Black
    float* rewards = nullptr;                   // N x 2: White's, Black's
    std::uint8_t* terminated = nullptr;         // N, 0 or 1
    std::uint8_t* truncated = nullptr;          // N, 0 or 1
    std::int32_t* plies = nullptr;              // N
    // The observation and mask buffers are the very ones the last call
    // wrote, untouched since: only what can have changed is written (the
    // pieces' planes; the mask rows of the pieces then and now). Leave it
    // false for buffers that anything else may write into or reallocate.
    bool kept = false;
};

class Games {
  public:
    // `config` must pass check(). Seeds the generators with config.seed,
    // resets every game and starts the worker threads.
    explicit Games(const GamesConfig& config);
    Games(const Games&) = delete;
    Games& operator=(const Games&) = delete;

    std::size_t size() const { return games_.size(); }
    const GamesConfig& config() const { return config_; }

    // Resets every game, after seeding the generators from `seed` when given
    // (otherwise they go on), and writes the state: rewards 0, flags of the
    // new games (a start position without moves is terminated at once).
    void reset(std::optional<std::uint64_t> seed, const StateBuffers& out);
    // Resets the games whose byte in `which` (one per game) is nonzero, and
    // writes the state of all games (rewards 0, the others' flags as they
    // are). For autoreset Disabled, where finished games wait for this.
    void reset_games(std::span<const std::uint8_t> which, const StateBuffers& out);

    // Plays one action per game, as move numbers from the mover's view, and
    // writes the state. Every action is checked before any is applied: on an
    // error nothing changes and nothing is written. A game that has ended
    // takes no action under NextStep (it is reset and its action is not even
    // looked at) and refuses one under Disabled.
    std::optional<StepError> step(std::span<const std::int64_t> actions, const StateBuffers& out);

    // One uniformly random legal action per game, from the games' own
    // generators; 0 for a game without a move to make (ended, or awaiting
    // its reset), which draws nothing.
    void sample_actions(std::span<std::int64_t> out);

    // Writes the current state (the last call's rewards and flags).
    void write_state(const StateBuffers& out);

    const Position& position(std::size_t game) const { return games_[game].position; }
    int plies(std::size_t game) const { return games_[game].plies; }
    // The legal moves of game `game`'s side to move (legal_moves.h: in
    // ascending (from, to) order, which is the order sample_actions counts in).
    const LegalMoves& legal_moves(std::size_t game) const { return games_[game].moves; }
    // Whether game `game` has ended and waits for its reset.
    bool ended(std::size_t game) const { return games_[game].terminated || games_[game].truncated; }
    // The agent's colour in game `game`'s current episode (with an opponent).
    Color agent_color(std::size_t game) const { return games_[game].agent; }

    // Game `game` goes on from `position` with 0 plies until its next reset,
    // which starts from the configured start again. Its rewards become 0
    // and its flags those of the position (terminated without a move).
    void set_position(std::size_t game, const Position& position);

  private:
    // What the last call reported for a game.
    struct Report {
        std::int8_t white_reward = 0;  // Black's is its negation
        bool terminated = false;
        bool truncated = false;
    };
    struct Game {
        Position position;
        int plies = 0;
        bool terminated = false;  // the side to move has no move
        bool truncated = false;   // plies reached max_plies
        Report report;
        Color agent = Color::White;
        std::uint32_t episode = 0;  // resets since seeding
        GameRandom random;
        // Where this game's planes and mask were last written, and the mask
        // rows that may hold a 1 there (for StateBuffers::kept).
        const float* planes_written = nullptr;
        const std::uint8_t* mask_written = nullptr;
        Bitboard mask_rows = ~Bitboard{0};
        LegalMoves moves;  // of the side to move, kept with the position
    };

    void seed_all(std::uint64_t seed);
    void restart(std::size_t index);
    void play(Game& game, Move move);  // a legal move, with the end tests after it
    void advance(std::size_t index, std::int64_t action);
    void write_game(std::size_t index, const StateBuffers& out);
    template <typename PerGame>
    void for_all_games(PerGame per_game);

    GamesConfig config_;
    std::vector<Game> games_;
    ThreadPool pool_;
};

}  // namespace tovak
