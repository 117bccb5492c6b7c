#include "mcts/config.h"

#include <cmath>

namespace tovak::mcts {

std::optional<ConfigError> check(const SearchConfig& c) {
    if (c.simulations < 1) return ConfigError::Simulations;
    if (!std::isfinite(c.c_puct) || c.c_puct < 0) return ConfigError::CPuct;
    if (!std::isfinite(c.dirichlet_alpha) || c.dirichlet_alpha <= 0)
        return ConfigError::DirichletAlpha;
    if (!(c.dirichlet_fraction >= 0 && c.dirichlet_fraction <= 1))
        return ConfigError::DirichletFraction;
    if (c.max_considered < 1) return ConfigError::MaxConsidered;
    if (c.leaves_per_game < 1) return ConfigError::LeavesPerGame;
    if (c.threads < 1) return ConfigError::Threads;
    return std::nullopt;
}

}  // namespace tovak::mcts
