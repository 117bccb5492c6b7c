#include "batch/move_source.h"

#include "core/movegen.h"

namespace tovak {

void collect_legal_moves(const Position& position, MoveList& out) {
    generate_legal_moves(position, out);
}

}  // namespace tovak
