#pragma once
// The occupancy of a position read back from its letters-style text diagram
// (Position.ascii_board("letters") in Python): the fastest way for Python
// code to hand a position of the other module to this one.

#include <optional>
#include <string_view>

#include "core/color.h"
#include "core/position.h"

namespace tovak {

// The position with the diagram's pieces and `side_to_move`; none when the
// text is not exactly a letters-style diagram (ten lines, 196 bytes, each
// cell "W", "B" or ".").
std::optional<Position> position_from_diagram(std::string_view diagram, Color side_to_move);

}  // namespace tovak
