#include "engine/move_counts.h"

#include "core/movegen.h"

namespace tovak::engine {

MoveCounts count_moves(Bitboard own, Bitboard enemy) {
    MoveCounts counts;
    for_each_piece(own, [&](Square, Bitboard destinations) {
        counts.add_piece(destinations, enemy);
        return true;
    });
    return counts;
}

}  // namespace tovak::engine
