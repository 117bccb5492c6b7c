// tovak._batch.Games: the batched games with their buffers, which numpy
// sees without a copy. The long calls (reset, step) release the interpreter
// lock; a mutex lets one thread at a time into the games, so a second
// Python thread waits for the first call to finish (it waits without the
// interpreter lock, which the first needs again to return).

#include <nanobind/ndarray.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string_view.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/features.h"
#include "batch/games.h"
#include "batch_python/bindings.h"

namespace tovak::py_batch {

namespace {

using Actions = nb::ndarray<const std::int64_t, nb::ndim<1>, nb::c_contig, nb::device::cpu>;
using Flags = nb::ndarray<const bool, nb::ndim<1>, nb::c_contig, nb::device::cpu>;

AutoReset autoreset_argument(std::string_view name) {
    if (const auto mode = autoreset_from_name(name)) return *mode;
    throw nb::value_error(("autoreset must be 'next_step', 'same_step' or 'disabled', got '" +
                           std::string(name) + "'")
                              .c_str());
}

std::optional<Opponent> opponent_argument(std::optional<std::string_view> kind, int depth) {
    if (!kind) return std::nullopt;
    if (*kind == "random") return Opponent{Opponent::Kind::Random, 1};
    if (*kind == "engine") {
        if (depth < 1 || depth > 255)
            throw nb::value_error(
                ("engine depth must be from 1 to 255, got " + std::to_string(depth)).c_str());
        return Opponent{Opponent::Kind::Engine, static_cast<std::uint8_t>(depth)};
    }
    throw nb::value_error(
        ("opponent must be 'random' or 'engine', got '" + std::string(*kind) + "'").c_str());
}

AgentColor agent_color_argument(std::string_view name) {
    if (name == "white") return AgentColor::White;
    if (name == "black") return AgentColor::Black;
    if (name == "alternate") return AgentColor::Alternate;
    throw nb::value_error(
        ("agent_color must be 'white', 'black' or 'alternate', got '" + std::string(name) + "'")
            .c_str());
}

Position position_of_sets(std::uint64_t white, std::uint64_t black, nb::handle side) {
    if (white & black) throw nb::value_error("a square cannot hold a White and a Black piece");
    Position position = Position::empty(color_argument(side, "side_to_move"));
    position.sets[0] = white;
    position.sets[1] = black;
    position.hash = hash_from_scratch(position);
    return position;
}

class PyGames {
  public:
    PyGames(std::size_t num_games, unsigned threads, std::uint64_t seed, std::uint64_t start_white,
            std::uint64_t start_black, nb::handle start_side, int random_plies, int max_plies,
            std::string_view autoreset, std::optional<std::string_view> opponent,
            int opponent_depth, std::string_view agent_color)
        : games_(checked(GamesConfig{
              num_games, threads, seed, position_of_sets(start_white, start_black, start_side),
              random_plies, max_plies, autoreset_argument(autoreset),
              opponent_argument(opponent, opponent_depth), agent_color_argument(agent_color)})),
          observation_(num_games * PLANES_SIZE),
          mask_(num_games * ACTION_COUNT),
          current_player_(num_games),
          rewards_(num_games * 2),
          terminated_(num_games),
          truncated_(num_games),
          plies_(num_games) {
        games_->write_state(buffers(false));
    }

    std::size_t size() const { return games_->size(); }
    unsigned threads() const { return games_->config().threads; }

    void reset(std::optional<std::uint64_t> seed) {
        locked([&] { games_->reset(seed, buffers(true)); });
    }

    void reset_games(const Flags& which) {
        check_length(which.shape(0), "reset_games");
        const std::vector<std::uint8_t> chosen(which.data(), which.data() + which.shape(0));
        locked([&] { games_->reset_games(chosen, buffers(true)); });
    }

    void step(const Actions& actions) {
        // Copied under the interpreter lock: another thread may change the
        // caller's array while this one steps without it.
        const std::vector<std::int64_t> chosen(actions.data(), actions.data() + actions.shape(0));
        const std::optional<StepError> error =
            locked([&] { return games_->step(chosen, buffers(true)); });
        if (error) throw nb::value_error(message(*error, games_->size()).c_str());
    }

    nb::ndarray<nb::numpy, std::int64_t, nb::ndim<1>> sample_actions() {
        std::vector<std::int64_t> chosen(games_->size());
        locked([&] { games_->sample_actions(chosen); });
        return new_array(chosen);
    }

    nb::ndarray<nb::numpy, std::int8_t, nb::ndim<1>> agent_colors() {
        std::vector<std::int8_t> colors(games_->size());
        locked([&] {
            for (std::size_t i = 0; i < colors.size(); ++i)
                colors[i] = static_cast<std::int8_t>(index_of(games_->agent_color(i)));
        });
        return new_array(colors);
    }

    // (White's set, Black's set, side to move 0 or 1) of one game.
    nb::tuple position_sets(std::size_t game) {
        check_index(game);
        const Position position = locked([&] { return games_->position(game); });
        return nb::make_tuple(position.white(), position.black(), index_of(position.side_to_move));
    }

    void set_position(std::size_t game, std::uint64_t white, std::uint64_t black, nb::handle side) {
        check_index(game);
        const Position position = position_of_sets(white, black, side);
        locked([&] {
            games_->set_position(game, position);
            games_->write_state(buffers(true));
        });
    }

    GamesAccess access() { return GamesAccess{games_.get(), &mutex_}; }

    // Read-only arrays over the buffers, kept alive by this object.
    nb::tuple views(nb::handle self) {
        const std::size_t n = games_->size();
        return nb::make_tuple(
            view<const float>(observation_.data(), {n, 3, 8, 8}, self),
            view<const bool>(reinterpret_cast<const bool*>(mask_.data()), {n, ACTION_COUNT}, self),
            view<const std::int8_t>(current_player_.data(), {n}, self),
            view<const float>(rewards_.data(), {n, 2}, self),
            view<const bool>(reinterpret_cast<const bool*>(terminated_.data()), {n}, self),
            view<const bool>(reinterpret_cast<const bool*>(truncated_.data()), {n}, self),
            view<const std::int32_t>(plies_.data(), {n}, self));
    }

  private:
    static std::unique_ptr<Games> checked(const GamesConfig& config) {
        if (const auto error = check(config)) {
            switch (*error) {
                case ConfigError::NoGames:
                    throw nb::value_error("num_games must be at least 1");
                case ConfigError::NoThreads:
                    throw nb::value_error("threads must be at least 1");
                case ConfigError::NegativeOpening:
                    throw nb::value_error("random_plies must be at least 0");
                case ConfigError::NoPlyAllowed:
                    throw nb::value_error("max_plies must be at least 1");
                case ConfigError::EngineDepthZero:
                    throw nb::value_error("engine depth must be from 1 to 255");
            }
        }
        return std::make_unique<Games>(config);
    }

    // Runs `work` without the interpreter lock, alone in the games.
    template <typename Work>
    auto locked(Work&& work) -> decltype(work()) {
        nb::gil_scoped_release release;
        std::lock_guard lock(mutex_);
        return work();
    }

    void check_index(std::size_t game) const {
        if (game >= games_->size())
            throw nb::index_error(("game index " + std::to_string(game) + " is out of range for " +
                                   std::to_string(games_->size()) + " games")
                                      .c_str());
    }
    void check_length(std::size_t length, const char* what) const {
        if (length != games_->size())
            throw nb::value_error((std::string(what) + ": expected " +
                                   std::to_string(games_->size()) + " entries, one per game, got " +
                                   std::to_string(length))
                                      .c_str());
    }

    // kept: the buffers are this object's own, which nothing else writes.
    StateBuffers buffers(bool kept) {
        return StateBuffers{
            observation_.data(), mask_.data(),      current_player_.data(), rewards_.data(),
            terminated_.data(),  truncated_.data(), plies_.data(),          kept};
    }

    template <typename T>
    static nb::ndarray<nb::numpy, T> view(T* data, std::initializer_list<std::size_t> shape,
                                          nb::handle owner) {
        return nb::ndarray<nb::numpy, T>(data, shape, owner);
    }

    template <typename T>
    static nb::ndarray<nb::numpy, T, nb::ndim<1>> new_array(const std::vector<T>& values) {
        T* data = new T[values.size()];
        std::copy(values.begin(), values.end(), data);
        nb::capsule owner(data, [](void* p) noexcept { delete[] static_cast<T*>(p); });
        return nb::ndarray<nb::numpy, T, nb::ndim<1>>(data, {values.size()}, owner);
    }

    std::unique_ptr<Games> games_;
    std::vector<float> observation_;
    std::vector<std::uint8_t> mask_;
    std::vector<std::int8_t> current_player_;
    std::vector<float> rewards_;
    std::vector<std::uint8_t> terminated_;
    std::vector<std::uint8_t> truncated_;
    std::vector<std::int32_t> plies_;
    std::mutex mutex_;
};

}  // namespace

GamesAccess games_access(nb::handle games) {
    if (!nb::isinstance<PyGames>(games))
        throw nb::type_error(("expected a tovak._batch.Games, got " +
                              std::string(nb::type_name(games.type()).c_str()))
                                 .c_str());
    return nb::cast<PyGames&>(games).access();
}

void bind_games(nb::module_& module) {
    nb::class_<PyGames>(module, "Games")
        .def(nb::init<std::size_t, unsigned, std::uint64_t, std::uint64_t, std::uint64_t,
                      nb::handle, int, int, std::string_view, std::optional<std::string_view>, int,
                      std::string_view>(),
             nb::arg("num_games"), nb::arg("threads"), nb::arg("seed"), nb::arg("start_white"),
             nb::arg("start_black"), nb::arg("start_side"), nb::arg("random_plies"),
             nb::arg("max_plies"), nb::arg("autoreset"), nb::arg("opponent").none(),
             nb::arg("opponent_depth"), nb::arg("agent_color"))
        .def("__len__", &PyGames::size)
        .def_prop_ro("threads", &PyGames::threads)
        .def("reset", &PyGames::reset, nb::arg("seed").none())
        .def("reset_games", &PyGames::reset_games, nb::arg("which"))
        .def("step", &PyGames::step, nb::arg("actions"))
        .def("sample_actions", &PyGames::sample_actions)
        .def("agent_colors", &PyGames::agent_colors)
        .def("position_sets", &PyGames::position_sets, nb::arg("game"))
        .def("set_position", &PyGames::set_position, nb::arg("game"), nb::arg("white"),
             nb::arg("black"), nb::arg("side_to_move"))
        .def("views", [](nb::handle self) { return nb::cast<PyGames&>(self).views(self); });
}

}  // namespace tovak::py_batch
