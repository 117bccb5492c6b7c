#pragma once
// The geometry of the rules: point reflection of whole sets of squares, and
// the layout that makes sets of pivots cheap.
//
// A piece on F may move to a square T exactly when F + T (coordinates added,
// that is twice the midpoint) is the pivot of some pair of its friendly
// pieces, so the rules are questions about sets of pivots and about sets of
// squares reflected through them. Two layouts carry them. Sets of squares
// are 64-bit occupancy sets; reflecting a whole set through a pivot is a half
// turn of the board followed by a shift (PIVOT_SHIFTS). Sets of pivots, both
// coordinates doubled (0..14), are 256-bit "spread" sets: pivot (px, py) is
// bit px + 16 py, which is also where square (f, r) goes when a set of
// squares is spread to rows of 16 bits. Spread indices add like coordinates
// (file sums stay below 16, so nothing carries into the next row), so the
// pivots of one square with many others are one shift of their spread set.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "core/bitboard.h"
#include "core/platform.h"
#include "core/square.h"

namespace tovak {

// Square i -> square 63 - i, that is (f, r) -> (7 - f, 7 - r): a half turn of
// the board about its centre.
constexpr Bitboard half_turn(Bitboard b) {
    b = platform::byte_swap(b);  // rank r -> 7 - r
    b = ((b >> 1) & 0x5555555555555555ULL) | ((b & 0x5555555555555555ULL) << 1);
    b = ((b >> 2) & 0x3333333333333333ULL) | ((b & 0x3333333333333333ULL) << 2);
    return ((b >> 4) & 0x0f0f0f0f0f0f0f0fULL) |
           ((b & 0x0f0f0f0f0f0f0f0fULL) << 4);  // file f -> 7 - f
}

// The spread index of a square (f, r): f + 16 r.
constexpr int spread_index(Square s) { return s.file() + 16 * s.rank(); }
// The spread index of a pivot (both coordinates doubled, 0..14).
constexpr int pivot_spread(int file_twice, int rank_twice) { return file_twice + 16 * rank_twice; }
// The spread index of the pivot of a move: the sum of its squares'.
constexpr int move_pivot_spread(Square from, Square to) {
    return spread_index(from) + spread_index(to);
}

// Reflection through (px, py) maps (f, r) to (px - f, py - r): a half turn to
// (7 - f, 7 - r), then a shift by (px - 7, py - 7). The shift is a rotation
// (no branch on its sign) whose squares that wrapped past a file or rank
// edge are masked off. The half turn does not depend on the pivot, so a set
// reflected through many pivots is turned once.
struct PivotShift {
    Bitboard on_board;    // squares of the turned set whose shifted image is on the board
    std::uint8_t rotate;  // left rotation amount
};
// Indexed by the pivot's spread index; entries of indices that are no pivot
// of two squares (file or rank 15) are never read.
constexpr std::array<PivotShift, 256> make_pivot_shifts() {
    std::array<PivotShift, 256> table{};
    for (int px = 0; px <= 14; ++px) {
        for (int py = 0; py <= 14; ++py) {
            const int dx = px - 7;
            const int dy = py - 7;
            Bitboard mask = 0;
            for (int f = 0; f < 8; ++f)
                for (int r = 0; r < 8; ++r)
                    if (f - dx >= 0 && f - dx <= 7 && r - dy >= 0 && r - dy <= 7)
                        mask |= bit_of(f + 8 * r);
            table[static_cast<std::size_t>(pivot_spread(px, py))] =
                PivotShift{mask, static_cast<std::uint8_t>((dx + 8 * dy) & 63)};
        }
    }
    return table;
}
inline constexpr std::array<PivotShift, 256> PIVOT_SHIFTS = make_pivot_shifts();

// The reflection of a set, given already turned half round, through the
// pivot with spread index `spread` (a pivot of two squares).
inline Bitboard reflect_turned(Bitboard turned, int spread) {
    const PivotShift& s = PIVOT_SHIFTS[static_cast<std::size_t>(spread)];
    return std::rotl(turned, s.rotate) & s.on_board;
}

}  // namespace tovak
