#pragma once
// Where the batch takes the legal moves of a position from: the rules' own
// enumeration into a list on the stack, so that a step allocates nothing.
// The one place of the batch that reaches into the move generator.

#include "core/move_list.h"
#include "core/position.h"

namespace tovak {

// All legal moves of the side to move, in the rules' order (the order of
// Position::legal_moves).
void collect_legal_moves(const Position& position, MoveList& out);

}  // namespace tovak
