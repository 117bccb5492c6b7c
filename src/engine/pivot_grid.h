#pragma once
// The moves of one side, seen piece by piece, without listing them.
//
// A piece on F may move to a square T without a piece of its own colour
// exactly when F + T (coordinates added, that is twice the midpoint) is the
// pivot of some pair of its friendly pieces: a pair that contains F itself
// would put a friendly piece on T. So once the set of pair pivots is known,
// the destinations of every piece follow from a shift of that set, and the
// evaluation's counts (moves, captures, immobile pieces) need a handful of
// operations per piece instead of a move list.
//
// The pivots live in a grid of 16 rows of 16 bits: bit px of row py is set
// when some pair has the pivot (px, py), both coordinates doubled, 0..14.
// This is the layout of the squares "spread" to 16-bit ranks, so the pivots of
// one piece with all the pieces above it are one shift of the spread set.

#include <bit>
#include <cstdint>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "core/bitboard.h"
#include "core/square.h"

namespace tovak::engine {

struct PivotGrid {
    std::uint16_t rows[16] = {};  // rows[py], bit px; rows 15 and bit 15 stay clear
};

// The pivots of all pairs of distinct squares of `own`.
PivotGrid pair_pivot_grid(Bitboard own);

// The same grid, and for each of its pivots the lower square of the first
// pair that has it in the rules' enumeration (pairs of the squares in
// ascending lexicographic order), indexed by the pivot's spread index
// px + 16 py. Entries of pivots outside the grid are left unwritten.
PivotGrid pair_pivot_grid(Bitboard own, std::uint8_t (&first_lower)[256]);

// The squares T with (file + file(T), rank + rank(T)) in the grid, as a set.
// Portable form, usable at compile time.
constexpr Bitboard reflections_portable(const PivotGrid& grid, int file, int rank) {
    Bitboard out = 0;
    for (int target_rank = 0; target_rank < 8; ++target_rank)
        out |= Bitboard{static_cast<std::uint8_t>(grid.rows[rank + target_rank] >> file)} << (8 * target_rank);
    return out;
}

// The same set: rows rank..rank+7 hold the target ranks 0..7; shifting each
// row right by `file` leaves the target files in its low byte.
inline Bitboard reflections(const PivotGrid& grid, int file, int rank) {
#if defined(__SSE2__) && defined(__x86_64__)
    __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(grid.rows + rank));
    window = _mm_srl_epi16(window, _mm_cvtsi32_si128(file));
    window = _mm_and_si128(window, _mm_set1_epi16(0x00ff));
    return static_cast<Bitboard>(_mm_cvtsi128_si64(_mm_packus_epi16(window, window)));
#else
    return reflections_portable(grid, file, rank);
#endif
}

// One side's pieces and pivots: where each of its pieces may move, measured
// as if that side were to move.
struct SideMoves {
    Bitboard own;
    Bitboard enemy;
    PivotGrid grid;

    SideMoves(Bitboard own_set, Bitboard enemy_set)
        : own(own_set), enemy(enemy_set), grid(pair_pivot_grid(own_set)) {}

    // The legal destinations of the piece on `from` (which must be own).
    Bitboard destinations(int from) const { return reflections(grid, from & 7, from >> 3) & ~own; }

    // Whether any piece has a legal move.
    bool any_move() const {
        for (Bitboard rest = own; rest;)
            if (destinations(pop_lowest_bit(rest))) return true;
        return false;
    }
};

// The counts the evaluation needs for one side.
struct SideCounts {
    int moves = 0;     // legal moves
    int captures = 0;  // legal moves landing on an enemy piece
    int immobile = 0;  // own pieces that start no move
};
SideCounts count_moves(const SideMoves& side);

namespace detail {

// Square i -> 63 - i, that is (f, r) -> (7 - f, 7 - r).
constexpr Bitboard half_turn(Bitboard b) {
    b = __builtin_bswap64(b);  // ranks
    b = ((b >> 1) & 0x5555555555555555ULL) | ((b & 0x5555555555555555ULL) << 1);
    b = ((b >> 2) & 0x3333333333333333ULL) | ((b & 0x3333333333333333ULL) << 2);
    return ((b >> 4) & 0x0f0f0f0f0f0f0f0fULL) | ((b & 0x0f0f0f0f0f0f0f0fULL) << 4);  // files
}

// Reflection through (px, py) sends (f, r) to (px - f, py - r): the half
// turn, then a shift by (px - 7, py - 7), done as a rotation whose wrapped
// squares are masked off.
struct PivotShift {
    Bitboard on_board;
    std::uint8_t rotate;
};
struct PivotShifts {
    PivotShift by_pivot[15][15];
};
constexpr PivotShifts make_pivot_shifts() {
    PivotShifts table{};
    for (int px = 0; px < 15; ++px) {
        for (int py = 0; py < 15; ++py) {
            const int dx = px - 7;
            const int dy = py - 7;
            Bitboard mask = 0;
            for (int f = 0; f < 8; ++f)
                for (int r = 0; r < 8; ++r)
                    if (f - dx >= 0 && f - dx < 8 && r - dy >= 0 && r - dy < 8) mask |= bit_of(f + 8 * r);
            table.by_pivot[px][py] = PivotShift{mask, static_cast<std::uint8_t>((dx + 8 * dy) & 63)};
        }
    }
    return table;
}
inline constexpr PivotShifts PIVOT_SHIFTS = make_pivot_shifts();

}  // namespace detail

// The lower square of the pair that first supports a move through a pivot
// (px, py) in the rules' enumeration (pairs of the side's squares in
// ascending lexicographic order): the lowest own square whose mirror image
// through the pivot is another own square. Its partner, its image, lies
// above it (else the partner would start an earlier pair). The side's set is
// turned half round once, so each pivot then costs a rotation and a mask.
class FirstPairs {
public:
    explicit FirstPairs(Bitboard own) : own_(own), turned_(detail::half_turn(own)) {}

    // The pivot must be the pivot of a pair of own squares.
    int lower(int pivot_file_twice, int pivot_rank_twice) const {
        const detail::PivotShift& shift = detail::PIVOT_SHIFTS.by_pivot[pivot_file_twice][pivot_rank_twice];
        Bitboard paired = own_ & std::rotl(turned_, shift.rotate) & shift.on_board;
        // A piece standing on the pivot itself would pair with itself.
        if (((pivot_file_twice | pivot_rank_twice) & 1) == 0)
            paired &= ~bit_of(pivot_file_twice / 2 + 8 * (pivot_rank_twice / 2));
        return lowest_bit(paired);
    }

private:
    Bitboard own_;
    Bitboard turned_;  // own with square i moved to 63 - i
};

}  // namespace tovak::engine
