#include "engine/pivot_grid.h"

#include <bit>
#include <cassert>
#include <cstring>


namespace tovak::engine {
namespace {

// 128-bit words hold eight 16-bit rows. (__int128 is a GCC/Clang extension;
// both compilers we build with have it.)
__extension__ typedef unsigned __int128 Uint128;

// The squares of a set spread to rows of 16 bits: square (f, r) to bit f + 16 r.
Uint128 spread_ranks(Bitboard b) {
    auto spread_four_ranks = [](std::uint64_t x) {
        x = (x | (x << 16)) & 0x0000ffff0000ffffULL;
        return (x | (x << 8)) & 0x00ff00ff00ff00ffULL;
    };
    return (static_cast<Uint128>(spread_four_ranks(b >> 32)) << 64) | spread_four_ranks(b & 0xffffffffULL);
}

// Pairing each square with the squares above it shifts the spread set of
// those squares by its own spread index: the spread index of a pivot is the
// sum of the spread indices of its two squares (file sums stay below 16, so
// nothing carries into the next row). Rows 8..14 overflow into `high`.
// `visit(lower, low, high)` sees each square's contribution in ascending order.
template <typename Visit>
inline PivotGrid pair_pivots(Bitboard own, Visit&& visit) {
    Uint128 low = 0;
    Uint128 high = 0;
    Uint128 above = spread_ranks(own);
    Bitboard rest = own;
    while (rest) {
        const int sq = pop_lowest_bit(rest);
        const int shift = (sq & 7) + 16 * (sq >> 3);
        above &= ~(static_cast<Uint128>(1) << shift);
        const Uint128 pairs_low = above << shift;
        const Uint128 pairs_high = shift != 0 ? above >> (128 - shift) : 0;
        visit(sq, pairs_low & ~low, pairs_high & ~high);
        low |= pairs_low;
        high |= pairs_high;
    }
    PivotGrid grid;
    static_assert(sizeof grid.rows == 2 * sizeof(Uint128));
    std::memcpy(grid.rows, &low, sizeof low);  // little-endian: row 0 first
    std::memcpy(grid.rows + 8, &high, sizeof high);
    return grid;
}

inline void mark_first_lower(Uint128 fresh, int offset, int lower, std::uint8_t (&first_lower)[256]) {
    for (int half = 0; half < 2; ++half) {
        auto bits = static_cast<std::uint64_t>(fresh >> (64 * half));
        while (bits) first_lower[offset + 64 * half + pop_lowest_bit(bits)] = static_cast<std::uint8_t>(lower);
    }
}

// The rows above row r (0..7) of a spread set, as its two words.
struct RowMask {
    std::uint64_t low;
    std::uint64_t high;
};
constexpr RowMask row_mask_above(int r) {
    RowMask m{0, 0};
    for (int row = r + 1; row < 8; ++row) (row < 4 ? m.low : m.high) |= std::uint64_t{0xffff} << (16 * (row & 3));
    return m;
}
constexpr RowMask ROWS_ABOVE[8] = {row_mask_above(0), row_mask_above(1), row_mask_above(2), row_mask_above(3),
                                   row_mask_above(4), row_mask_above(5), row_mask_above(6), row_mask_above(7)};

}  // namespace

PivotGrid pair_pivot_grid(Bitboard own) {
    // Rank by rank, so that every piece costs two 64-bit shifts: the pairs of a
    // piece (f, r) with the pieces of higher ranks are those pieces' spread
    // set shifted by f (rows hold at most 8 + 7 bits, so nothing crosses a
    // row or a 64-bit word), and all pieces of rank r then move their pairs r
    // rows up at once. Pairs within rank r land in row 2r.
    const Uint128 spread = spread_ranks(own);
    const auto spread_low = static_cast<std::uint64_t>(spread);  // rows 0..3
    const auto spread_high = static_cast<std::uint64_t>(spread >> 64);  // rows 4..7
    std::uint64_t grid_words[4] = {0, 0, 0, 0};  // rows 0..3, 4..7, 8..11, 12..15
    for (int r = 0; r < 8; ++r) {
        const auto rank_files = static_cast<std::uint32_t>((own >> (8 * r)) & 0xff);
        if (rank_files == 0) continue;
        // Rows above r of the spread set.
        const std::uint64_t higher_low = spread_low & ROWS_ABOVE[r].low;
        const std::uint64_t higher_high = spread_high & ROWS_ABOVE[r].high;
        std::uint64_t pairs_low = 0;
        std::uint64_t pairs_high = 0;
        std::uint32_t same_rank = 0;
        for (std::uint32_t rest = rank_files; rest; rest &= rest - 1) {
            const int f = std::countr_zero(rest);
            pairs_low |= higher_low << f;
            pairs_high |= higher_high << f;
            same_rank |= (rank_files & (~std::uint32_t{0} << (f + 1))) << f;
        }
        // Move the pairs r rows up: 16 r bits across the four words.
        const int word = r >> 2;
        const int bit = 16 * (r & 3);
        grid_words[word] |= pairs_low << bit;
        grid_words[word + 1] |= ((pairs_low >> 1) >> (63 - bit)) | (pairs_high << bit);
        grid_words[word + 2] |= (pairs_high >> 1) >> (63 - bit);
        grid_words[r >> 1] |= std::uint64_t{same_rank} << (32 * (r & 1));
    }
    PivotGrid grid;
    static_assert(sizeof grid.rows == sizeof grid_words);
    std::memcpy(grid.rows, grid_words, sizeof grid_words);  // little-endian: row 0 first
    return grid;
}

PivotGrid pair_pivot_grid(Bitboard own, std::uint8_t (&first_lower)[256]) {
    // Squares are paired in ascending order, so the first square whose
    // contribution holds a pivot is the lower square of its first pair.
    return pair_pivots(own, [&](int lower, Uint128 fresh_low, Uint128 fresh_high) {
        mark_first_lower(fresh_low, 0, lower, first_lower);
        mark_first_lower(fresh_high, 128, lower, first_lower);
    });
}

SideCounts count_moves(const SideMoves& side) {
    SideCounts counts;
    Bitboard rest = side.own;
    while (rest) {
        const Bitboard targets = side.destinations(pop_lowest_bit(rest));
        counts.moves += popcount(targets);
        counts.captures += popcount(targets & side.enemy);
        counts.immobile += targets == 0;
    }
    return counts;
}

}  // namespace tovak::engine
