#pragma once
// The place of a move in the rules' enumeration (core/movegen.h), as a number
// that grows with it: the move ordering breaks ties between equal scores by
// it, the later-generated move first.

#include <cstdint>

#include "core/move.h"
#include "core/reflection.h"
#include "core/square.h"

namespace tovak::engine {

// Moves come grouped by the first pair that supports them, pairs in
// ascending order (for one lower square, by ascending pivot), and by
// ascending origin within a group. 20 bits:
//   bits 19..14  the lower square of the first supporting pair (FirstPairs::lower)
//   bits 13..6   the pivot's spread index
//   bits 5..0    the origin
// The destination follows from pivot and origin.
constexpr std::uint32_t move_place(Square first_lower, Square from, Square to) {
    return static_cast<std::uint32_t>(first_lower.index) << 14 |
           static_cast<std::uint32_t>(move_pivot_spread(from, to)) << 6 |
           static_cast<std::uint32_t>(from.index);
}
constexpr std::uint32_t MOVE_PLACE_BITS = 20;

// The move at a place.
constexpr Move move_at_place(std::uint32_t place) {
    const int from = static_cast<int>(place & 63);
    const int spread = static_cast<int>((place >> 6) & 255);
    const int to = ((spread & 15) - (from & 7)) + 8 * ((spread >> 4) - (from >> 3));
    return Move{Square::from_index(from), Square::from_index(to)};
}

}  // namespace tovak::engine
