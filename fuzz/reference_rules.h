#pragma once
// The rules of movement written out the slow, literal way, as the fuzzers'
// independent reference for the core's bitboard move generator and legality
// test. Plain integer arithmetic on square indices: nothing here reuses the
// core's pivot or reflection code.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/position.h"

namespace tovak::fuzz {

// Squares of one colour, ascending.
std::vector<int> reference_squares(const Position& p, Color c);

// The pair loop of the rules: pairs (i < j) of the mover's sorted squares,
// each pivot applied to every own piece in ascending order, a move kept at
// its first appearance only.
std::vector<Move> reference_legal_moves(const Position& p);

// The five tests in their order; none when the move is legal.
std::optional<MoveError> reference_move_error(const Position& p, Move m);

// Every supporting pair (i < j, neither on `from`) of `c` for the move.
std::vector<SupportingPivot> reference_supporting_pivots(const Position& p, Color c, Move m);

}  // namespace tovak::fuzz
