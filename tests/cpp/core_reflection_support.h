#pragma once
// The point reflection of a whole set of squares through any pivot, built
// from the half turn and shift table of core/reflection.h: the tests and the
// fuzzer check those two pieces through it.

#include "core/bitboard.h"
#include "core/pivot.h"
#include "core/reflection.h"

namespace tovak {

// Squares reflected off the board are dropped. A pivot beyond the pivots of
// two squares (0..14 each way, the range of the shift table) reflects every
// square off the board.
inline Bitboard reflect_set(Bitboard b, Pivot pivot) {
    if (pivot.file_twice < 0 || pivot.file_twice > 14 || pivot.rank_twice < 0 || pivot.rank_twice > 14) return 0;
    return reflect_turned(half_turn(b), pivot_spread(pivot.file_twice, pivot.rank_twice));
}

}  // namespace tovak
