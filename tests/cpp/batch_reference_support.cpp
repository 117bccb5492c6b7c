#include "batch_reference_support.h"

#include <algorithm>
#include <cassert>

namespace tovak::batch_test {

State::State(std::size_t games)
    : observation(games * 192),
      legal_action_mask(games * 4096),
      current_player(games),
      rewards(games * 2),
      terminated(games),
      truncated(games),
      plies(games) {}

StateBuffers State::buffers(bool kept) {
    return StateBuffers{observation.data(), legal_action_mask.data(), current_player.data(),
                        rewards.data(),     terminated.data(),        truncated.data(),
                        plies.data(),       kept};
}

namespace {

int seen_square(int square, Color viewer) {
    return viewer == Color::Black ? (7 - square / 8) * 8 + square % 8 : square;
}

// A random move as the batch draws it: the k-th in ascending (from, to) order.
Move chosen(std::vector<Move> moves, GameRandom& random) {
    std::sort(moves.begin(), moves.end(),
              [](Move a, Move b) { return dense_index(a) < dense_index(b); });
    return moves[random.below(static_cast<std::uint32_t>(moves.size()))];
}

}  // namespace

std::vector<float> reference_planes(const Position& position, Color viewer) {
    std::vector<float> planes(192, 0.0f);
    for (int square = 0; square < 64; ++square) {
        const auto owner = position.piece_at(Square::from_index(square));
        if (owner) planes[(*owner == viewer ? 0 : 64) + seen_square(square, viewer)] = 1.0f;
        planes[128 + square] = position.side_to_move == viewer ? 1.0f : 0.0f;
    }
    return planes;
}

std::vector<std::uint8_t> reference_mask(const Position& position, Color viewer) {
    std::vector<std::uint8_t> mask(4096, 0);
    if (position.side_to_move != viewer) return mask;
    for (const Move m : position.legal_moves())
        mask[seen_square(m.from.index, viewer) * 64 + seen_square(m.to.index, viewer)] = 1;
    return mask;
}

ReferenceGames::ReferenceGames(const GamesConfig& config)
    : config_(config), games_(config.num_games) {
    reset(config.seed);
}

void ReferenceGames::reset(std::optional<std::uint64_t> seed) {
    for (std::size_t i = 0; i < games_.size(); ++i) {
        if (seed) {
            games_[i].random = GameRandom(*seed, i);
            games_[i].episode = 0;
        }
        restart(i);
    }
}

void ReferenceGames::restart(std::size_t index) {
    Game& game = games_[index];
    game.position = config_.start;
    game.plies = 0;
    for (int ply = 0; ply < config_.random_plies; ++ply) {
        const std::vector<Move> moves = game.position.legal_moves();
        if (moves.empty()) break;
        game.position.apply_legal_move(chosen(moves, game.random));
    }
    if (config_.opponent) {
        game.agent = config_.agent_color == AgentColor::White   ? Color::White
                     : config_.agent_color == AgentColor::Black ? Color::Black
                     : (index + game.episode) % 2 == 0          ? Color::White
                                                                : Color::Black;
        ++game.episode;
        const std::vector<Move> moves = game.position.legal_moves();
        if (!moves.empty() && game.position.side_to_move != game.agent) {
            assert(config_.opponent->kind == Opponent::Kind::Random);
            game.position.apply_legal_move(chosen(moves, game.random));
            ++game.plies;
        }
    }
    const bool finished = game.position.outcome().has_value();
    const bool cut = !finished && game.plies >= config_.max_plies;
    game.ended = finished || cut;
    game.white_reward = 0;
    game.reported_terminated = finished;
    game.reported_truncated = cut;
}

bool ReferenceGames::play(Game& game, Move move) {
    const Color mover = game.position.side_to_move;
    const bool legal = !game.position.apply_move(move).has_value();
    assert(legal);
    (void)legal;
    ++game.plies;
    game.white_reward = 0;
    game.reported_terminated = game.reported_truncated = false;
    if (const auto winner = game.position.outcome()) {
        assert(*winner == mover);
        game.white_reward = mover == Color::White ? 1.0f : -1.0f;
        game.reported_terminated = true;
    } else if (game.plies >= config_.max_plies) {
        game.reported_truncated = true;
    }
    game.ended = game.reported_terminated || game.reported_truncated;
    return game.ended;
}

void ReferenceGames::step(const std::vector<std::int64_t>& actions) {
    for (std::size_t i = 0; i < games_.size(); ++i) {
        Game& game = games_[i];
        if (game.ended) {
            restart(i);
            continue;
        }
        const auto action = static_cast<int>(actions[i]);
        const Color mover = game.position.side_to_move;
        const Move move{Square::from_index(seen_square(action / 64, mover)),
                        Square::from_index(seen_square(action % 64, mover))};
        bool ended = play(game, move);
        if (!ended && config_.opponent) {
            assert(config_.opponent->kind == Opponent::Kind::Random);
            ended = play(game, chosen(game.position.legal_moves(), game.random));
        }
        if (ended && config_.autoreset == AutoReset::SameStep) {
            const Game ending = game;
            restart(i);
            game.white_reward = ending.white_reward;
            game.reported_terminated = ending.reported_terminated;
            game.reported_truncated = ending.reported_truncated;
        }
    }
}

std::vector<std::int64_t> ReferenceGames::sample_actions() {
    std::vector<std::int64_t> actions(games_.size(), 0);
    for (std::size_t i = 0; i < games_.size(); ++i) {
        Game& game = games_[i];
        if (game.ended) continue;
        const Move move = chosen(game.position.legal_moves(), game.random);
        const Color mover = game.position.side_to_move;
        actions[i] = seen_square(move.from.index, mover) * 64 + seen_square(move.to.index, mover);
    }
    return actions;
}

State ReferenceGames::state() const {
    State state(games_.size());
    for (std::size_t i = 0; i < games_.size(); ++i) {
        const Game& game = games_[i];
        const Color mover = game.position.side_to_move;
        const std::vector<float> planes = reference_planes(game.position, mover);
        std::copy(planes.begin(), planes.end(), state.observation.begin() + i * 192);
        const std::vector<std::uint8_t> mask = reference_mask(game.position, mover);
        std::copy(mask.begin(), mask.end(), state.legal_action_mask.begin() + i * 4096);
        state.current_player[i] = mover == Color::White ? 0 : 1;
        state.rewards[2 * i] = game.white_reward;
        state.rewards[2 * i + 1] = -game.white_reward;
        state.terminated[i] = game.reported_terminated;
        state.truncated[i] = game.reported_truncated;
        state.plies[i] = game.plies;
    }
    return state;
}

}  // namespace tovak::batch_test
