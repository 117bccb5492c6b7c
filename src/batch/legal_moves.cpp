#include "batch/legal_moves.h"

#include <cassert>

#include "engine/side_moves.h"

namespace tovak {

void collect_legal_moves(const Position& position, LegalMoves& out) {
    const engine::SideMoves moves(position);
    out.own = moves.own();
    out.count = moves.counts().moves;
    for (Bitboard rest = out.own; rest;) {
        const Square from = pop_lowest_square(rest);
        out.destinations[from.index] = moves.destinations(from);
    }
}

Move LegalMoves::nth(int k) const {
    assert(0 <= k && k < count);
    for (Bitboard rest = own; rest;) {
        const int from = pop_lowest_bit(rest);
        Bitboard targets = destinations[from];
        const int here = popcount(targets);
        if (k < here) {
            for (; k > 0; --k) targets &= targets - 1;
            return Move{Square::from_index(from), Square::from_index(lowest_bit(targets))};
        }
        k -= here;
    }
    assert(false && "k is below count");
    return Move{};
}

}  // namespace tovak
