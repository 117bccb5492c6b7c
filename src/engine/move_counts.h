#pragma once
// The counts of one side's moves that the evaluation weighs (and that tell
// the move ordering how long its stages are), measured as if that side were
// to move.

#include "core/bitboard.h"

namespace tovak::engine {

struct MoveCounts {
    int moves = 0;     // legal moves
    int captures = 0;  // legal moves landing on an enemy piece
    int immobile = 0;  // own pieces that start no move

    // Adds one piece with the given destinations.
    void add_piece(Bitboard destinations, Bitboard enemy) {
        moves += popcount(destinations);
        captures += popcount(destinations & enemy);
        immobile += destinations == 0;
    }
    friend constexpr bool operator==(const MoveCounts&, const MoveCounts&) = default;
};

// The counts of the side with pieces `own` against pieces `enemy`.
MoveCounts count_moves(Bitboard own, Bitboard enemy);

}  // namespace tovak::engine
