#pragma once
// The legal moves of a position's side to move as the batch keeps them: the
// destinations of each piece, so that a legality test is one bit test, the
// mask is written a row at a time and the k-th move is found by counting.
// The batch's order of moves is ascending (from, to): the order of move
// numbers, not the rules' enumeration order of Position::legal_moves.
//
// The one place of the batch that reaches into the move generator.

#include <cstdint>

#include "batch/game_random.h"
#include "core/bitboard.h"
#include "core/move.h"
#include "core/position.h"

namespace tovak {

struct LegalMoves {
    Bitboard own = 0;  // the squares of the side to move
    int count = 0;     // how many legal moves there are
    // destinations[s] is valid for the squares s of `own` only; the others
    // are left unwritten (filling 64 entries per position would cost more
    // than the moves).
    Bitboard destinations[64];

    bool empty() const { return count == 0; }
    Bitboard destinations_of(int from) const {
        return (own >> from) & 1 ? destinations[from] : Bitboard{0};
    }
    bool contains(Move m) const { return (destinations_of(m.from.index) >> m.to.index) & 1; }
    // The move at place k (0 <= k < count) in ascending (from, to) order.
    Move nth(int k) const;
};

void collect_legal_moves(const Position& position, LegalMoves& out);

// A uniformly random one of the moves (not empty), drawn from `random`.
inline Move random_move(const LegalMoves& moves, GameRandom& random) {
    return moves.nth(static_cast<int>(random.below(static_cast<std::uint32_t>(moves.count))));
}

}  // namespace tovak
