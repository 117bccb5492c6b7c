#pragma once
// The bodies of the Position class's methods, by the file that defines them.
// Each receives the values its parameters give (binding.h); the method table
// in position_type.cpp pairs each body with its name and parameters.

#include <cstdint>

#include "core/color.h"
#include "core/move.h"
#include "core/position.h"
#include "core/square.h"
#include "python/ref.h"
#include "render/text_board.h"

namespace tovak::py {

// position_type.cpp: obtaining positions. initial_position is also the
// module function of that name.
PyRef initial_position();
PyRef position_empty(Color side_to_move);
PyRef position_copy(const Position& position);

// rules_methods.cpp
PyRef position_side_to_move(const Position& position);
PyRef position_legal_moves(const Position& position);
PyRef position_is_legal_move(const Position& position, Move move);
PyRef position_apply_move(Position& position, Move move);
PyRef position_piece_at(const Position& position, Square square);
PyRef position_set_piece(Position& position, Color color, Square square);
PyRef position_clear_square(Position& position, Square square);
PyRef position_piece_count(const Position& position, Color color);
PyRef position_outcome(const Position& position);
PyRef position_supporting_pivots(const Position& position, Move move);

// render_methods.cpp
PyRef position_ascii_board(const Position& position, render::TextStyle style);
PyRef position_svg_board(const Position& position);
PyRef position_svg_for_move(const Position& position, Move move);

// analysis_methods.cpp
PyRef position_best_move(const Position& position, std::uint8_t depth);
PyRef position_analyze(const Position& position, std::uint8_t depth);
PyRef position_analyze_timed(const Position& position, std::uint8_t depth, std::uint64_t budget_ms);
PyRef position_evaluate(const Position& position);

}  // namespace tovak::py
