#pragma once
// The ten-line text diagram of a position, White at the bottom.

#include <string>

#include "core/position.h"

namespace tovak::render {

enum class TextStyle : bool { Letters = false, Discs = true };

// UTF-8 text, every line ending in "\n"; reads only the occupancy sets.
std::string ascii_board_with_style(const Position& position, TextStyle style);

}  // namespace tovak::render
