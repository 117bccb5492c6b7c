#pragma once
// A 64-bit occupancy set: bit i set means a piece on square i
// (i = file + 8 * rank, so bit 0 is a1 and bit 63 is h8).

#include <bit>
#include <cstdint>

#include "core/square.h"

namespace tovak {

using Bitboard = std::uint64_t;

constexpr int popcount(Bitboard b) { return std::popcount(b); }
constexpr int lowest_bit(Bitboard b) { return std::countr_zero(b); }
constexpr int pop_lowest_bit(Bitboard& b) {
    const int i = std::countr_zero(b);
    b &= b - 1;
    return i;
}
constexpr Bitboard bit_of(int index) { return Bitboard{1} << index; }
constexpr Bitboard bit_of(Square s) { return Bitboard{1} << s.index; }
// The lowest square of a non-empty set, taken out of it.
constexpr Square pop_lowest_square(Bitboard& b) { return Square::from_index(pop_lowest_bit(b)); }

constexpr Bitboard FILE_A = 0x0101010101010101ULL;
constexpr Bitboard RANK_1 = 0x00000000000000ffULL;

}  // namespace tovak
