#pragma once
// A slow, literal model of the batched games, written from the rules alone
// through Position's own interface (legal_moves(), apply_move(), outcome(),
// piece_at()), one game after another on one thread. The fast batch is
// checked against it field by field after every call.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "batch/games.h"

namespace tovak::batch_test {

// Everything a call writes, in plain vectors of N rows.
struct State {
    std::vector<float> observation;
    std::vector<std::uint8_t> legal_action_mask;
    std::vector<std::int8_t> current_player;
    std::vector<float> rewards;
    std::vector<std::uint8_t> terminated;
    std::vector<std::uint8_t> truncated;
    std::vector<std::int32_t> plies;

    explicit State(std::size_t games);
    // kept: these buffers are the ones the last call wrote (StateBuffers::kept).
    StateBuffers buffers(bool kept = false);
    friend bool operator==(const State&, const State&) = default;
};

// The observation planes of one position from `viewer`'s side: square by
// square, turned round along the ranks for Black.
std::vector<float> reference_planes(const Position& position, Color viewer);
// The 4096 mask bytes: each listed legal move's number as `viewer` sees it.
std::vector<std::uint8_t> reference_mask(const Position& position, Color viewer);

class ReferenceGames {
public:
    explicit ReferenceGames(const GamesConfig& config);
    void reset(std::optional<std::uint64_t> seed);
    // Plays valid actions (the caller checked them with the fast batch).
    void step(const std::vector<std::int64_t>& actions);
    // One random legal action per game, drawn as the batch draws them.
    std::vector<std::int64_t> sample_actions();
    State state() const;
    const Position& position(std::size_t game) const { return games_[game].position; }

private:
    struct Game {
        Position position;
        int plies = 0;
        bool ended = false;
        float white_reward = 0;
        bool reported_terminated = false;
        bool reported_truncated = false;
        GameRandom random;
        std::uint32_t episode = 0;
        Color agent = Color::White;
    };
    void restart(std::size_t index);
    // Applies a move; true when it ended the game.
    bool play(Game& game, Move move);

    GamesConfig config_;
    std::vector<Game> games_;
};

}  // namespace tovak::batch_test
