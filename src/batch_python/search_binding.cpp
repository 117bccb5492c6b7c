// tovak._batch.Search: the tree search over the games of a tovak._batch.Games,
// asking Python for its leaves' evaluations. The leaves and the result are
// written into buffers of this object, which numpy sees without a copy (the
// next call overwrites them). Every call walks the trees without the
// interpreter lock and behind a mutex of its own, so a second Python thread
// waits for the first call to finish; reading the games' positions also
// takes the games' mutex, after this one (never the other way round).

#include <nanobind/ndarray.h>
#include <nanobind/stl/string_view.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/features.h"
#include "batch_python/bindings.h"
#include "mcts/search.h"

namespace tovak::py_batch {

namespace {

using Logits = nb::ndarray<const float, nb::ndim<2>, nb::c_contig, nb::device::cpu>;
using Values = nb::ndarray<const float, nb::ndim<1>, nb::c_contig, nb::device::cpu>;

void raise(const mcts::SearchError& error) { throw nb::value_error(message(error).c_str()); }

mcts::SearchConfig checked(const mcts::SearchConfig& config) {
    if (const auto error = check(config))
        throw nb::value_error(std::string(message(*error)).c_str());
    return config;
}

class PySearch {
  public:
    PySearch(nb::object games, int simulations, double c_puct, double dirichlet_alpha,
             double dirichlet_fraction, bool gumbel, int max_considered, int leaves_per_game,
             std::uint64_t seed, int threads)
        : games_object_(std::move(games)),
          games_(games_access(games_object_)),
          search_(
              checked(mcts::SearchConfig{simulations, c_puct, dirichlet_alpha, dirichlet_fraction,
                                         gumbel, max_considered, leaves_per_game, seed, threads}),
              games_.games->size()),
          observation_(search_.max_leaves() * PLANES_SIZE),
          mask_(search_.max_leaves() * ACTION_COUNT),
          leaf_games_(search_.max_leaves()),
          policy_(search_.games() * ACTION_COUNT),
          visits_(search_.games() * ACTION_COUNT),
          root_value_(search_.games()),
          action_(search_.games()) {}

    std::size_t size() const { return search_.games(); }
    std::size_t asked() const { return asked_; }

    // A root at each game's current position, read under the games' mutex.
    void begin() {
        locked([&] {
            std::vector<mcts::Root> roots(search_.games());
            {
                std::lock_guard games_lock(*games_.mutex);
                const Games& games = *games_.games;
                for (std::size_t g = 0; g < roots.size(); ++g)
                    roots[g] =
                        mcts::Root{games.position(g), games.plies(g), games.config().max_plies};
            }
            auto error = search_.begin(roots);
            if (!error) asked_ = 0;
            return error;
        });
    }

    // (observation, mask, game) views of the leaves asked, or None when the
    // search is finished.
    nb::object leaves(nb::handle self) {
        std::size_t count = 0;
        const mcts::LeafBuffers out{observation_, mask_, leaf_games_};
        locked([&] {
            auto error = search_.leaves(out, count);
            if (!error) asked_ = count;
            return error;
        });
        if (count == 0) return nb::none();
        return nb::make_tuple(view<const float>(observation_.data(), {count, 3, 8, 8}, self),
                              view<const bool>(reinterpret_cast<const bool*>(mask_.data()),
                                               {count, ACTION_COUNT}, self),
                              view<const std::int32_t>(leaf_games_.data(), {count}, self));
    }

    // The arrays are read without the interpreter lock: they are the
    // caller's, kept alive by this call's arguments.
    void answer(const Logits& logits, const Values& values) {
        const std::span<const float> l(logits.data(), logits.size());
        const std::span<const float> v(values.data(), values.size());
        locked([&] {
            auto error = search_.answer(l, v);
            if (!error) asked_ = 0;
            return error;
        });
    }

    void run(std::string_view evaluator) {
        const auto chosen = mcts::parse_evaluator(evaluator);
        if (!chosen)
            throw nb::value_error(
                ("evaluator must be 'uniform' or 'rollout', got '" + std::string(evaluator) + "'")
                    .c_str());
        locked([&] { return search_.run(*chosen); });
    }

    // (policy, visits, root_value, action) views of the result.
    nb::tuple result(nb::handle self) {
        const mcts::ResultBuffers out{policy_, visits_, root_value_, action_};
        locked([&] { return search_.result(out); });
        const std::size_t n = search_.games();
        return nb::make_tuple(view<const float>(policy_.data(), {n, ACTION_COUNT}, self),
                              view<const std::int32_t>(visits_.data(), {n, ACTION_COUNT}, self),
                              view<const float>(root_value_.data(), {n}, self),
                              view<const std::int32_t>(action_.data(), {n}, self));
    }

    // A new array of one action per game.
    nb::ndarray<nb::numpy, std::int64_t, nb::ndim<1>> select(double temperature) {
        std::vector<std::int32_t> chosen(search_.games());
        locked([&] { return search_.select(temperature, chosen); });
        auto* data = new std::int64_t[chosen.size()];
        std::copy(chosen.begin(), chosen.end(), data);
        nb::capsule owner(data, [](void* p) noexcept { delete[] static_cast<std::int64_t*>(p); });
        return nb::ndarray<nb::numpy, std::int64_t, nb::ndim<1>>(data, {chosen.size()}, owner);
    }

  private:
    // Runs `work` without the interpreter lock, alone in the search, and
    // raises its error (a ValueError) once the lock is back.
    template <typename Work>
    void locked(Work&& work) {
        std::optional<mcts::SearchError> error;
        {
            nb::gil_scoped_release release;
            std::lock_guard lock(mutex_);
            error = work();
        }
        if (error) raise(*error);
    }

    template <typename T>
    static nb::ndarray<nb::numpy, T> view(T* data, std::initializer_list<std::size_t> shape,
                                          nb::handle owner) {
        return nb::ndarray<nb::numpy, T>(data, shape, owner);
    }

    nb::object games_object_;  // keeps games_ alive
    GamesAccess games_;
    mcts::Search search_;
    std::atomic<std::size_t> asked_ = 0;  // leaves waiting for their answer
    std::vector<float> observation_;
    std::vector<std::uint8_t> mask_;
    std::vector<std::int32_t> leaf_games_;
    std::vector<float> policy_;
    std::vector<std::int32_t> visits_;
    std::vector<float> root_value_;
    std::vector<std::int32_t> action_;
    std::mutex mutex_;
};

}  // namespace

void bind_search(nb::module_& module) {
    nb::class_<PySearch>(module, "Search")
        .def(
            nb::init<nb::object, int, double, double, double, bool, int, int, std::uint64_t, int>(),
            nb::arg("games"), nb::arg("simulations"), nb::arg("c_puct"), nb::arg("dirichlet_alpha"),
            nb::arg("dirichlet_fraction"), nb::arg("gumbel"), nb::arg("max_considered"),
            nb::arg("leaves_per_game"), nb::arg("seed"), nb::arg("threads"))
        .def("__len__", &PySearch::size)
        .def_prop_ro("asked", &PySearch::asked)
        .def("begin", &PySearch::begin)
        .def("leaves", [](nb::handle self) { return nb::cast<PySearch&>(self).leaves(self); })
        .def("answer", &PySearch::answer, nb::arg("logits").noconvert(),
             nb::arg("values").noconvert())
        .def("run", &PySearch::run, nb::arg("evaluator"))
        .def("result", [](nb::handle self) { return nb::cast<PySearch&>(self).result(self); })
        .def("select", &PySearch::select, nb::arg("temperature"));
}

}  // namespace tovak::py_batch
