#pragma once
// The parts of the module tovak._batch, each added by its own file.

#include <nanobind/nanobind.h>

#include <mutex>
#include <string_view>

#include "batch/games.h"
#include "core/color.h"

namespace tovak::py_batch {

namespace nb = nanobind;

void bind_features(nb::module_& module);
void bind_games(nb::module_& module);
void bind_selfplay(nb::module_& module);
void bind_search(nb::module_& module);

// The games of a tovak._batch.Games object and the mutex that lets one
// thread at a time into them, for the parts that read the games: taken with
// the interpreter lock held (a TypeError for any other object), used with it
// released and the mutex locked. The object must be kept alive meanwhile.
struct GamesAccess {
    const Games* games;
    std::mutex* mutex;
};
GamesAccess games_access(nb::handle games);

// "white" or "black" exactly, as Position.side_to_move() gives it; a
// ValueError naming `what` otherwise.
Color color_argument(nb::handle value, std::string_view what);

}  // namespace tovak::py_batch
