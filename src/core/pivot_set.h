#pragma once
// The pivots of one side's pairs of pieces: the set of them (built by the
// pair loop, in the spread layout of core/reflection.h), and the pairs behind
// one pivot (FirstPairs). Everything the rules say about which piece may jump
// where is a question about these; core/movegen.h answers it piece by piece.

#include <cassert>
#include <cstdint>

#include "core/bitboard.h"
#include "core/platform.h"
#include "core/reflection.h"
#include "core/square.h"

namespace tovak {

// --- The pair loop ----------------------------------------------------------------------

// A spread set of pivots as two 128-bit words, rows 0..7 and 8..15.
struct PivotWords {
    platform::Uint128 low = 0;
    platform::Uint128 high = 0;
};

// The squares of a set spread to rows of 16 bits, square (f, r) to bit
// f + 16 r, as one 128-bit word.
inline platform::Uint128 spread_squares(Bitboard b) {
    auto spread_four_ranks = [](std::uint64_t x) {  // four ranks of 8 bits to four 16-bit rows
        x = (x | (x << 16)) & 0x0000ffff0000ffffULL;
        return (x | (x << 8)) & 0x00ff00ff00ff00ffULL;
    };
    return static_cast<platform::Uint128>(spread_four_ranks(b >> 32)) << 64 |
           spread_four_ranks(b & 0xffffffffULL);
}

// The pair loop of the rules: calls visit(pivots) for each own square a in
// ascending order that has own squares above it, with the pivots of its pairs
// with them. Every pair is visited once, from its lower square, and the
// squares come in the order of the rules' lexicographic pair loop.
//
// Spread indices add, so the pivots of a with the squares above it are their
// spread set shifted by a's spread index (rows hold at most 8 + 7 bits, so
// nothing crosses a row).
template <typename Visit>
inline void for_each_pair_source(Bitboard own, Visit&& visit) {
    platform::Uint128 above = spread_squares(own);
    for (Bitboard rest = own; rest;) {
        const int a_spread = spread_index(pop_lowest_square(rest));
        above &= ~(platform::Uint128{1} << a_spread);
        if (above == 0) return;  // the last square starts no pair
        visit(PivotWords{above << a_spread, a_spread != 0 ? above >> (128 - a_spread) : 0});
    }
}

// --- The pivot set --------------------------------------------------------------------

// The pivots of all pairs of distinct pieces of one side: bit px of rows[py]
// is set when some pair has the pivot (px, py). Row 15 and bit 15 of every
// row stay clear. The same bits as a spread set (row py is bits 16 py..).
// The search never stores one: on x86-64 it takes each piece's destinations
// while the set is still in vector registers (core/movegen.h). This is the
// portable form, and the check of that one.
struct PivotSet {
    std::uint16_t rows[16] = {};
};

PivotSet pair_pivots(Bitboard own);

// The squares T with (file + file(T), rank + rank(T)) in the set: rows
// rank..rank+7 hold the target ranks 0..7, and shifting each right by `file`
// leaves the target files in its low byte.
constexpr Bitboard reflections(const PivotSet& pivots, Square s) {
    Bitboard out = 0;
    for (int target_rank = 0; target_rank < 8; ++target_rank)
        out |= Bitboard{static_cast<std::uint8_t>(pivots.rows[s.rank() + target_rank] >> s.file())}
               << (8 * target_rank);
    return out;
}

// --- First supporting pairs ------------------------------------------------------------

// The first pair of a side that supports moves through a pivot, in the rules'
// enumeration (pairs of the side's squares in ascending lexicographic order):
// its lower square is the lowest own square whose image through the pivot is
// another own square (the image is its partner, and lies above it, else the
// partner would start an earlier pair). The set is turned half round once,
// so each pivot then costs a rotation and a mask.
class FirstPairs {
  public:
    explicit FirstPairs(Bitboard own) : own_(own), turned_(half_turn(own)) {}

    // The squares of all pairs with the pivot of spread index `spread` (a
    // pivot of two squares), both squares of each pair.
    Bitboard paired_squares(int spread) const {
        Bitboard paired = own_ & reflect_turned(turned_, spread);
        // A piece standing on the pivot itself would pair with itself.
        if ((spread & 0x11) == 0) paired &= ~bit_of(((spread & 15) >> 1) + 8 * (spread >> 5));
        return paired;
    }

    // The lower square of the first pair with that pivot, which some pair
    // must have (paired_squares is not empty): the pivot of a legal move.
    Square lower(int spread) const {
        const Bitboard paired = paired_squares(spread);
        assert(paired != 0);
        return Square::from_index(lowest_bit(paired));
    }

  private:
    Bitboard own_;
    Bitboard turned_;  // own with square i moved to 63 - i
};

}  // namespace tovak
