#pragma once
// Everything about the side to move's moves that a search node needs, laid
// out once: the destinations of each of its pieces and their counts. The
// outcome test, the evaluation, the move ordering and quiescence all read
// the same layout.

#include "core/bitboard.h"
#include "core/color.h"
#include "core/move.h"
#include "core/position.h"
#include "core/square.h"
#include "engine/move_counts.h"

namespace tovak::engine {

class SideMoves {
  public:
    SideMoves(Bitboard own, Bitboard enemy);
    // The side to move of `p`.
    explicit SideMoves(const Position& p)
        : SideMoves(p.pieces(p.side_to_move), p.pieces(opponent(p.side_to_move))) {}

    Bitboard own() const { return own_; }
    Bitboard enemy() const { return enemy_; }
    const MoveCounts& counts() const { return counts_; }
    bool any_move() const { return counts_.moves != 0; }

    // The legal destinations of the piece on `from`, which must be an own square.
    Bitboard destinations(Square from) const { return destinations_[from.index]; }
    // Whether `m` is a legal move of the side.
    bool is_move(Move m) const {
        return (own_ & bit_of(m.from)) && (destinations_[m.from.index] & bit_of(m.to));
    }

  private:
    Bitboard own_;
    Bitboard enemy_;
    MoveCounts counts_;
    // Written for own squares only, and only those are read: filling all 64
    // entries at every node of a search would cost more than the moves.
    union {
        Bitboard destinations_[64];
    };
};

}  // namespace tovak::engine
