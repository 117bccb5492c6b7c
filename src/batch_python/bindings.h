#pragma once
// The parts of the module tovak._batch, each added by its own file.

#include <nanobind/nanobind.h>

#include <string_view>

#include "core/color.h"

namespace tovak::py_batch {

namespace nb = nanobind;

void bind_features(nb::module_& module);
void bind_games(nb::module_& module);

// "white" or "black" exactly, as Position.side_to_move() gives it; a
// ValueError naming `what` otherwise.
Color color_argument(nb::handle value, std::string_view what);

}  // namespace tovak::py_batch
