#pragma once
// A self-contained one-line SVG picture of a position, optionally with a move
// (line and rings) and its supporting pivots (markers) drawn on it.

#include <optional>
#include <string>
#include <vector>

#include "core/position.h"

namespace tovak::render {

struct SvgOptions {
    std::optional<Move> highlight;
    std::vector<Pivot> pivots;  // in drawing order
};

std::string svg_board(const Position& position);
std::string svg_board_with_options(const Position& position, const SvgOptions& options);
// The move need not be legal; pivots come from `color`'s supporting pairs.
std::string svg_for_move_for_color(const Position& position, Color color, Move mv);
// As above, for the side to move.
std::string svg_for_move(const Position& position, Move mv);

}  // namespace tovak::render
