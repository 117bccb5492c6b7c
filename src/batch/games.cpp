#include "batch/games.h"

#include <cassert>

#include "batch/features.h"

namespace tovak {

std::optional<ConfigError> check(const GamesConfig& config) {
    if (config.num_games == 0) return ConfigError::NoGames;
    if (config.threads == 0) return ConfigError::NoThreads;
    if (config.random_plies < 0) return ConfigError::NegativeOpening;
    if (config.max_plies < 1) return ConfigError::NoPlyAllowed;
    if (config.opponent && config.opponent->kind == Opponent::Kind::Engine &&
        config.opponent->depth == 0)
        return ConfigError::EngineDepthZero;
    return std::nullopt;
}

Games::Games(const GamesConfig& config)
    : config_(config), games_(config.num_games), pool_(config.threads) {
    assert(!check(config));
    seed_all(config.seed);
    for_all_games([this](std::size_t i) { restart(i); });
}

void Games::seed_all(std::uint64_t seed) {
    for (std::size_t i = 0; i < games_.size(); ++i) {
        games_[i].random = GameRandom(seed, i);
        games_[i].episode = 0;
    }
}

template <typename PerGame>
void Games::for_all_games(PerGame per_game) {
    const unsigned parts = pool_.threads();
    auto task = [&](unsigned part) {
        const PartRange range = part_range(games_.size(), parts, part);
        for (std::size_t i = range.begin; i < range.end; ++i) per_game(i);
    };
    pool_.run(task);
}

// A new game: the start position, the random opening, the agent's colour
// for the episode and the opponent's first move when it has White.
void Games::restart(std::size_t index) {
    Game& game = games_[index];
    game.position = config_.start;
    game.plies = 0;
    game.terminated = game.truncated = false;
    collect_legal_moves(game.position, game.moves);
    for (int ply = 0; ply < config_.random_plies && !game.moves.empty(); ++ply) {
        const Move move = random_move(game.moves, game.random);
        game.position.apply_legal_move(move);
        collect_legal_moves(game.position, game.moves);
    }
    if (config_.opponent) {
        switch (config_.agent_color) {
            case AgentColor::White:
                game.agent = Color::White;
                break;
            case AgentColor::Black:
                game.agent = Color::Black;
                break;
            case AgentColor::Alternate:
                game.agent = (index + game.episode) % 2 == 0 ? Color::White : Color::Black;
                break;
        }
        ++game.episode;
        if (!game.moves.empty() && game.position.side_to_move != game.agent)
            play(game, opponent_move(*config_.opponent, game.position, game.moves, game.random));
    }
    game.terminated = game.moves.empty();
    game.truncated = !game.terminated && game.plies >= config_.max_plies;
    // A reset has no reward, whoever moved in it; a new game that is over at
    // once (a start without moves) says so.
    game.report = Report{0, game.terminated, game.truncated};
}

// Applies a legal move and settles the game: the side that moved wins when
// the other has no reply; otherwise the ply limit may cut the game short.
void Games::play(Game& game, Move move) {
    const Color mover = game.position.side_to_move;
    game.position.apply_legal_move(move);
    ++game.plies;
    collect_legal_moves(game.position, game.moves);
    game.report = Report{};
    if (game.moves.empty()) {
        game.terminated = true;
        game.report.terminated = true;
        game.report.white_reward = mover == Color::White ? 1 : -1;
    } else if (game.plies >= config_.max_plies) {
        game.truncated = true;
        game.report.truncated = true;
    }
}

void Games::advance(std::size_t index, std::int64_t action) {
    Game& game = games_[index];
    if (game.terminated || game.truncated) {
        // NextStep (or SameStep with a start that is over at once): the
        // action is ignored and the step reports the new game.
        restart(index);
        return;
    }
    play(game, move_of_action(static_cast<int>(action), game.position.side_to_move));
    // The agent's move ended nothing, so the reply's report is the step's.
    if (config_.opponent && !game.terminated && !game.truncated)
        play(game, opponent_move(*config_.opponent, game.position, game.moves, game.random));
    if (config_.autoreset == AutoReset::SameStep && (game.terminated || game.truncated)) {
        const Report ending = game.report;
        restart(index);
        game.report = ending;
    }
}

std::optional<StepError> Games::step(std::span<const std::int64_t> actions,
                                     const StateBuffers& out) {
    if (actions.size() != games_.size())
        return StepError{StepErrorKind::WrongCount, actions.size(), 0, Color::White};
    // 1. Check every action; the first game at fault refuses the whole step.
    for (std::size_t i = 0; i < games_.size(); ++i) {
        const Game& game = games_[i];
        const std::int64_t action = actions[i];
        const Color mover = game.position.side_to_move;
        if (game.terminated || game.truncated) {
            if (config_.autoreset == AutoReset::Disabled)
                return StepError{StepErrorKind::GameOver, i, action, mover};
            continue;
        }
        if (action < 0 || action >= static_cast<std::int64_t>(ACTION_COUNT))
            return StepError{StepErrorKind::OutOfRange, i, action, mover};
        if (!game.moves.contains(move_of_action(static_cast<int>(action), mover)))
            return StepError{StepErrorKind::IllegalMove, i, action, mover};
    }
    // 2. Play them, each thread its range of games, and write the state.
    for_all_games([&](std::size_t i) {
        advance(i, actions[i]);
        write_game(i, out);
    });
    return std::nullopt;
}

void Games::reset(std::optional<std::uint64_t> seed, const StateBuffers& out) {
    if (seed) seed_all(*seed);
    for_all_games([&](std::size_t i) {
        restart(i);
        write_game(i, out);
    });
}

void Games::reset_games(std::span<const std::uint8_t> which, const StateBuffers& out) {
    assert(which.size() == games_.size());
    for_all_games([&](std::size_t i) {
        if (which[i]) restart(i);
        games_[i].report = Report{0, games_[i].terminated, games_[i].truncated};
        write_game(i, out);
    });
}

void Games::sample_actions(std::span<std::int64_t> out) {
    assert(out.size() == games_.size());
    for (std::size_t i = 0; i < games_.size(); ++i) {
        Game& game = games_[i];
        if (game.terminated || game.truncated) {
            out[i] = 0;
            continue;
        }
        const Move move = random_move(game.moves, game.random);
        out[i] = action_of(move, game.position.side_to_move);
    }
}

void Games::set_position(std::size_t index, const Position& position) {
    Game& game = games_[index];
    game.position = position;
    game.plies = 0;
    collect_legal_moves(game.position, game.moves);
    game.terminated = game.moves.empty();
    game.truncated = false;
    game.report = Report{0, game.terminated, false};
}

void Games::write_state(const StateBuffers& out) {
    for (std::size_t i = 0; i < games_.size(); ++i) write_game(i, out);
}

void Games::write_game(std::size_t i, const StateBuffers& out) {
    Game& game = games_[i];
    const Color mover = game.position.side_to_move;
    if (out.observation) {
        // The viewer is the side to move: the turn plane is all ones, always.
        float* planes = out.observation + i * PLANES_SIZE;
        if (out.kept && game.planes_written == planes)
            write_piece_planes(game.position, mover, planes);
        else
            write_planes(game.position, mover, planes);
        game.planes_written = planes;
    }
    if (out.legal_action_mask) {
        std::uint8_t* mask = out.legal_action_mask + i * ACTION_COUNT;
        const Bitboard rows_now = mask_rows(game.position, game.moves, mover);
        const Bitboard rows =
            out.kept && game.mask_written == mask ? rows_now | game.mask_rows : ~Bitboard{0};
        write_mask_rows(game.position, game.moves, mover, rows, mask);
        game.mask_written = mask;
        game.mask_rows = rows_now;
    }
    if (out.current_player) out.current_player[i] = static_cast<std::int8_t>(index_of(mover));
    if (out.rewards) {
        out.rewards[2 * i] = game.report.white_reward;
        out.rewards[2 * i + 1] = -game.report.white_reward;
    }
    if (out.terminated) out.terminated[i] = game.report.terminated;
    if (out.truncated) out.truncated[i] = game.report.truncated;
    if (out.plies) out.plies[i] = game.plies;
}

}  // namespace tovak
