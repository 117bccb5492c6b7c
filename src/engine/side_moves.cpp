#include "engine/side_moves.h"

#include "core/movegen.h"

namespace tovak::engine {

SideMoves::SideMoves(Bitboard own, Bitboard enemy) : own_(own), enemy_(enemy) {
    for_each_piece(own, [&](Square from, Bitboard destinations) {
        destinations_[from.index] = destinations;
        counts_.add_piece(destinations, enemy);
        return true;
    });
}

}  // namespace tovak::engine
