#pragma once
// A position as a network sees it: three planes of 64 floats and a mask of
// the 4096 move numbers, both from one side's view.
//
// The viewer sees the board turned round along the ranks when it is Black
// (square s becomes s XOR 56: rank r <-> 7 - r, files stay), so that each
// side's pieces start on its own near ranks. Move numbers are
// from * 64 + to of the turned squares. Planes are laid out
// [plane][rank][file] of the turned board:
//   plane 0  the viewer's pieces
//   plane 1  the other side's pieces
//   plane 2  all ones when the viewer is to move, all zeros otherwise
// The mask holds 1 at the number of every legal move when the viewer is to
// move, and is all zeros when it is not.

#include <cstddef>
#include <cstdint>
#include <span>

#include "batch/legal_moves.h"
#include "core/color.h"
#include "core/move.h"
#include "core/position.h"

namespace tovak {

constexpr int PLANE_COUNT = 3;
constexpr std::size_t PLANES_SIZE = PLANE_COUNT * 64;  // floats per position
constexpr std::size_t ACTION_COUNT = 64 * 64;          // move numbers, mask bytes per position

// XOR with this turns a square round along the ranks.
constexpr int rank_mirror(Color viewer) { return viewer == Color::Black ? 56 : 0; }

// The number of a move as `viewer` sees the board.
constexpr int action_of(Move m, Color viewer) {
    const int mirror = rank_mirror(viewer);
    return (m.from.index ^ mirror) * 64 + (m.to.index ^ mirror);
}

// The move of a number 0..4095 as `viewer` sees the board.
constexpr Move move_of_action(int action, Color viewer) {
    const int mirror = rank_mirror(viewer);
    return Move{Square::from_index((action >> 6) ^ mirror),
                Square::from_index((action & 63) ^ mirror)};
}

// Writes the PLANES_SIZE floats of `position` from `viewer`'s side.
void write_planes(const Position& position, Color viewer, float* out);
// Writes planes 0 and 1 only (the pieces), leaving the turn plane as it is.
void write_piece_planes(const Position& position, Color viewer, float* out);

// Writes the ACTION_COUNT bytes (0 or 1) of the mask: `moves` are the legal
// moves of `position`'s side to move, marked when that side is `viewer`.
void write_legal_mask(const Position& position, const LegalMoves& moves, Color viewer,
                      std::uint8_t* out);

// The same mask from a list of the legal moves of a position whose side to
// move is `viewer` (the tree search keeps its moves as lists).
void write_legal_mask(std::span<const Move> moves, Color viewer, std::uint8_t* out);

// The mask in rows of 64 bytes: row r holds the moves from the viewer's
// square r. The rows that hold a 1 (bit r set), and the mask written only
// in the rows of `rows`, the others left as they are: a mask that changes a
// little is rewritten in the rows that can change.
Bitboard mask_rows(const Position& position, const LegalMoves& moves, Color viewer);
void write_mask_rows(const Position& position, const LegalMoves& moves, Color viewer, Bitboard rows,
                     std::uint8_t* out);

}  // namespace tovak
