#include "mcts/search.h"

#include <cassert>
#include <cmath>

#include "batch/features.h"

namespace tovak::mcts {
namespace {

std::optional<SearchError> check_size(std::size_t got, std::size_t expected) {
    if (got >= expected) return std::nullopt;
    return SearchError{.kind = SearchErrorKind::WrongBufferSize, .expected = expected, .got = got};
}

}  // namespace

Search::Search(const SearchConfig& config, std::size_t games)
    : config_(config), pool_(std::make_unique<ThreadPool>(static_cast<unsigned>(config.threads))) {
    assert(!check(config) && games >= 1);
    games_.reserve(games);
    for (std::size_t g = 0; g < games; ++g) games_.emplace_back(config.seed, g);
    offsets_.resize(games + 1, 0);
}

std::size_t Search::max_leaves() const {
    return games_.size() * static_cast<std::size_t>(config_.leaves_per_game);
}

std::optional<SearchError> Search::begin(std::span<const Root> roots) {
    if (roots.size() != games_.size())
        return SearchError{.kind = SearchErrorKind::WrongRootCount,
                           .expected = games_.size(),
                           .got = roots.size()};
    for (std::size_t g = 0; g < roots.size(); ++g)
        if (roots[g].plies < 0 || roots[g].max_plies < 0)
            return SearchError{.kind = SearchErrorKind::NegativePlies, .game = g};
    for_each_range(*pool_, games_.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t g = begin; g < end; ++g) games_[g].begin(roots[g], config_);
    });
    phase_ = Phase::Searching;
    asked_ = 0;
    return std::nullopt;
}

std::optional<SearchError> Search::leaves(const LeafBuffers& out, std::size_t& count) {
    count = 0;
    if (phase_ == Phase::NotBegun) return SearchError{.kind = SearchErrorKind::NotBegun};
    const std::size_t rows = max_leaves();
    if (auto e = check_size(out.observation.size(), rows * PLANES_SIZE)) return e;
    if (auto e = check_size(out.legal_action_mask.size(), rows * ACTION_COUNT)) return e;
    if (auto e = check_size(out.game.size(), rows)) return e;

    // 1. Each game gathers its round (unless the round is already asked).
    if (phase_ == Phase::Searching) {
        for_each_range(*pool_, games_.size(), [&](std::size_t begin, std::size_t end) {
            for (std::size_t g = begin; g < end; ++g) games_[g].gather(config_);
        });
        for (std::size_t g = 0; g < games_.size(); ++g)
            offsets_[g + 1] = offsets_[g] + games_[g].batch().size();
        asked_ = offsets_[games_.size()];
    }
    // 2. The leaves are written, game by game, at their offsets.
    for_each_range(*pool_, games_.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t g = begin; g < end; ++g) {
            const GameSearch& game = games_[g];
            std::size_t row = offsets_[g];
            for (const NodeIndex leaf : game.batch()) {
                const Node& n = game.tree().node(leaf);
                write_planes(n.position, n.position.side_to_move,
                             out.observation.data() + row * PLANES_SIZE);
                write_legal_mask(game.tree().moves(leaf), n.position.side_to_move,
                                 out.legal_action_mask.data() + row * ACTION_COUNT);
                out.game[row] = static_cast<std::int32_t>(g);
                ++row;
            }
        }
    });
    count = asked_;
    phase_ = asked_ ? Phase::Asked : Phase::Searching;
    return std::nullopt;
}

std::optional<SearchError> Search::answer(std::span<const float> logits,
                                          std::span<const float> values) {
    if (phase_ == Phase::NotBegun) return SearchError{.kind = SearchErrorKind::NotBegun};
    if (phase_ != Phase::Asked) return SearchError{.kind = SearchErrorKind::NothingAsked};
    if (logits.size() != asked_ * ACTION_COUNT)
        return SearchError{.kind = SearchErrorKind::WrongLogitCount,
                           .expected = asked_ * ACTION_COUNT,
                           .got = logits.size()};
    if (values.size() != asked_)
        return SearchError{
            .kind = SearchErrorKind::WrongValueCount, .expected = asked_, .got = values.size()};
    // 1. Every answer is checked before any is used.
    for (std::size_t g = 0; g < games_.size(); ++g) {
        const GameSearch& game = games_[g];
        for (std::size_t j = 0; j < game.batch().size(); ++j) {
            const std::size_t leaf = offsets_[g] + j;
            const double v = values[leaf];
            if (!std::isfinite(v))
                return SearchError{
                    .kind = SearchErrorKind::ValueNotFinite, .leaf = leaf, .game = g, .number = v};
            if (v < -1.0 || v > 1.0)
                return SearchError{
                    .kind = SearchErrorKind::ValueOutOfRange, .leaf = leaf, .game = g, .number = v};
            const NodeIndex node = game.batch()[j];
            const Color mover = game.tree().node(node).position.side_to_move;
            for (const Move m : game.tree().moves(node)) {
                const int number = action_of(m, mover);
                const float logit = logits[leaf * ACTION_COUNT + static_cast<std::size_t>(number)];
                if (!std::isfinite(logit))
                    return SearchError{.kind = SearchErrorKind::LogitNotFinite,
                                       .leaf = leaf,
                                       .game = g,
                                       .move = number,
                                       .number = logit};
            }
        }
    }
    // 2. Expansion and backing up, game by game.
    for_each_range(*pool_, games_.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t g = begin; g < end; ++g) {
            GameSearch& game = games_[g];
            for (std::size_t j = 0; j < game.batch().size(); ++j) {
                const std::size_t leaf = offsets_[g] + j;
                game.answer_leaf(j, logits.data() + leaf * ACTION_COUNT, values[leaf], config_);
            }
            game.clear_batch();
        }
    });
    phase_ = Phase::Searching;
    asked_ = 0;
    return std::nullopt;
}

std::optional<SearchError> Search::run(Evaluator evaluator) {
    if (phase_ == Phase::NotBegun) return SearchError{.kind = SearchErrorKind::NotBegun};
    if (phase_ == Phase::Asked) return SearchError{.kind = SearchErrorKind::LeavesOutstanding};
    // Each game goes round after round on its own, as the asked rounds do.
    for_each_range(*pool_, games_.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t g = begin; g < end; ++g) {
            GameSearch& game = games_[g];
            for (;;) {
                game.gather(config_);
                if (game.batch().empty()) break;
                game.answer_batch(evaluator, config_);
                game.clear_batch();
            }
        }
    });
    return std::nullopt;
}

std::optional<SearchError> Search::check_finished() const {
    if (phase_ == Phase::NotBegun) return SearchError{.kind = SearchErrorKind::NotBegun};
    if (phase_ == Phase::Asked) return SearchError{.kind = SearchErrorKind::LeavesOutstanding};
    for (const GameSearch& game : games_)
        if (!game.finished()) return SearchError{.kind = SearchErrorKind::NotFinished};
    return std::nullopt;
}

std::optional<SearchError> Search::result(const ResultBuffers& out) const {
    if (auto e = check_finished()) return e;
    const std::size_t n = games_.size();
    if (auto e = check_size(out.policy.size(), n * ACTION_COUNT)) return e;
    if (auto e = check_size(out.visits.size(), n * ACTION_COUNT)) return e;
    if (auto e = check_size(out.root_value.size(), n)) return e;
    if (auto e = check_size(out.action.size(), n)) return e;
    for_each_range(*pool_, n, [&](std::size_t begin, std::size_t end) {
        for (std::size_t g = begin; g < end; ++g)
            games_[g].write_result(out.policy.data() + g * ACTION_COUNT,
                                   out.visits.data() + g * ACTION_COUNT, &out.root_value[g],
                                   &out.action[g], config_);
    });
    return std::nullopt;
}

std::optional<SearchError> Search::select(double temperature, std::span<std::int32_t> actions) {
    if (auto e = check_finished()) return e;
    if (!std::isfinite(temperature) || temperature < 0)
        return SearchError{.kind = SearchErrorKind::BadTemperature, .number = temperature};
    if (auto e = check_size(actions.size(), games_.size())) return e;
    for (std::size_t g = 0; g < games_.size(); ++g)
        actions[g] = games_[g].select(temperature, config_);
    return std::nullopt;
}

}  // namespace tovak::mcts
