#pragma once
// Move generation on occupancy sets.
//
// Every move from F to T has the pivot midpoint(F, T), and every pair of
// friendly pieces with that pivot supports it. So the rules' enumeration
// (pairs of the mover's squares in lexicographic order, each pivot applied to
// every own piece in ascending order, duplicates dropped) is the same as:
// visit the pivots in the order in which pairs first produce them, and at each
// new pivot emit all its moves by ascending origin. The moves of one pivot are
// computed at once by reflecting the whole own set through it.

#include <cstdint>

#include "core/bitboard.h"
#include "core/move_list.h"
#include "core/position.h"

namespace tovak {

// All legal moves of the side to move, in the rules' order.
void generate_legal_moves(const Position& p, MoveList& out);
// The legal moves of the side to move that land on an enemy piece, in the same order.
void generate_captures(const Position& p, MoveList& out);
// Whether the side to move has any legal move (outcome() without a list).
bool has_legal_move(const Position& p);

// The counts the evaluation needs for one side, measured as if that side were
// to move: its number of legal moves, how many of them land on an enemy piece,
// and how many of its pieces start no move.
struct MoveSummary {
    int moves = 0;
    int captures = 0;
    int immobile = 0;
};
MoveSummary summarize_moves(const Position& p, Color side);

// The number of move paths of `depth` plies from `p` (1 for depth 0); the last
// ply is counted, not played. The standard check of a move generator.
std::uint64_t perft(const Position& p, int depth);

// The point reflection of a whole set through a pivot; squares reflected off
// the board are dropped. An involution on the squares that stay on the board.
Bitboard reflect_set(Bitboard b, Pivot pivot);

}  // namespace tovak
