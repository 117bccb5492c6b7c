#pragma once
// The settings of a search, checked once when the search is made.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tovak::mcts {

struct SearchConfig {
    int simulations = 800;  // descents from each root, after the root's own evaluation
    double c_puct = 1.25;
    double dirichlet_alpha = 0.3;
    double dirichlet_fraction = 0.25;  // 0: no noise; ignored with gumbel
    bool gumbel = false;
    int max_considered = 16;  // root actions sampled by Gumbel top-k
    int leaves_per_game = 1;  // leaves gathered per game per round
    std::uint64_t seed = 0;
    int threads = 1;
};

enum class ConfigError : std::uint8_t {
    Simulations,
    CPuct,
    DirichletAlpha,
    DirichletFraction,
    MaxConsidered,
    LeavesPerGame,
    Threads,
};

constexpr std::string_view message(ConfigError e) {
    switch (e) {
        case ConfigError::Simulations:
            return "simulations must be at least 1";
        case ConfigError::CPuct:
            return "c_puct must be a finite number at least 0";
        case ConfigError::DirichletAlpha:
            return "dirichlet_alpha must be a finite number above 0";
        case ConfigError::DirichletFraction:
            return "dirichlet_fraction must be a number from 0 to 1";
        case ConfigError::MaxConsidered:
            return "max_considered must be at least 1";
        case ConfigError::LeavesPerGame:
            return "leaves_per_game must be at least 1";
        case ConfigError::Threads:
            return "threads must be at least 1";
    }
    return "invalid search setting";
}

// The first setting out of range, if any.
std::optional<ConfigError> check(const SearchConfig& config);

}  // namespace tovak::mcts
