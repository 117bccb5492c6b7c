#pragma once
// Move generation: one side's moves, from its set of pair pivots
// (core/pivot_set.h).
//
// The destinations of a piece on F are the squares T without an own piece
// whose pivot with F is in the side's set: a shift of that set. They come
// piece by piece (for_each_piece, which works eight rows at a time in vector
// registers where there are any), as the rules' enumeration of all moves
// (generate_legal_moves) and as the test whether any move exists
// (has_legal_move).

#include <bit>
#include <cstdint>
#include <utility>

#include "core/bitboard.h"
#include "core/move_list.h"
#include "core/pivot_set.h"
#include "core/position.h"
#include "core/square.h"

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace tovak {

#if defined(__SSE2__) && defined(__x86_64__)
namespace detail {

// The pair loop of pair_pivots with the eight rows of the spread set in the
// 16-bit lanes of a vector: a square's pairs with the higher ranks cost one
// lane shift, and each rank's pairs move into their rows at once. The rank is a
// template argument because the byte shifts take immediate counts.
template <int R>
[[gnu::always_inline]] inline void add_rank_pairs(Bitboard own, __m128i spread, __m128i& low,
                                                  __m128i& high) {
    const auto files = static_cast<std::uint32_t>((own >> (8 * R)) & 0xff);
    if (files == 0) return;
    // Lanes above R: the partners of higher ranks (none above rank 7: a
    // byte shift by 16 clears the vector).
    const __m128i above = _mm_and_si128(spread, _mm_slli_si128(_mm_set1_epi8(-1), 2 * (R + 1)));
    __m128i pairs = _mm_setzero_si128();
    std::uint32_t same_rank = 0;
    for (std::uint32_t rest = files; rest; rest &= rest - 1) {
        const int f = std::countr_zero(rest);
        pairs = _mm_or_si128(pairs, _mm_sll_epi16(above, _mm_cvtsi32_si128(f)));
        same_rank |= (files & (~std::uint32_t{0} << (f + 1))) << f;
    }
    // Lane q holds the pivots of row q + R.
    low = _mm_or_si128(low, _mm_slli_si128(pairs, 2 * R));
    if constexpr (R > 0) high = _mm_or_si128(high, _mm_srli_si128(pairs, 16 - 2 * R));
    // The same rank's pairs: row 2 R.
    if constexpr (2 * R < 8)
        low = _mm_or_si128(
            low, _mm_insert_epi16(_mm_setzero_si128(), static_cast<int>(same_rank), 2 * R));
    else
        high = _mm_or_si128(
            high, _mm_insert_epi16(_mm_setzero_si128(), static_cast<int>(same_rank), 2 * R - 8));
}

template <int... R>
[[gnu::always_inline]] inline void add_all_rank_pairs(Bitboard own, __m128i spread, __m128i& low,
                                                      __m128i& high,
                                                      std::integer_sequence<int, R...>) {
    (add_rank_pairs<R>(own, spread, low, high), ...);
}

// The pivot set in two vectors: rows 0..7 and 8..15.
struct PivotVectors {
    __m128i low;
    __m128i high;
};
[[gnu::always_inline]] inline PivotVectors pivot_vectors(Bitboard own) {
    const __m128i spread =
        _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(own)), _mm_setzero_si128());
    PivotVectors v{_mm_setzero_si128(), _mm_setzero_si128()};
    add_all_rank_pairs(own, spread, v.low, v.high, std::make_integer_sequence<int, 8>{});
    return v;
}

}  // namespace detail

// Calls visit(from, destinations) for each own piece, ascending, while it
// returns true; whether it never returned false. The set is stored once, so
// that the window of each piece's rank is one unaligned load and the pieces
// are one loop.
template <typename Visit>
inline bool for_each_piece(Bitboard own, Visit&& visit) {
    const detail::PivotVectors pivots = detail::pivot_vectors(own);
    alignas(16) std::uint16_t rows[24];
    _mm_store_si128(reinterpret_cast<__m128i*>(rows), pivots.low);
    _mm_store_si128(reinterpret_cast<__m128i*>(rows + 8), pivots.high);
    _mm_store_si128(reinterpret_cast<__m128i*>(rows + 16), _mm_setzero_si128());
    const __m128i low_bytes = _mm_set1_epi16(0x00ff);
    for (Bitboard rest = own; rest;) {
        const Square from = pop_lowest_square(rest);
        const __m128i window =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows + from.rank()));
        const __m128i shifted =
            _mm_and_si128(_mm_srl_epi16(window, _mm_cvtsi32_si128(from.file())), low_bytes);
        const auto reached =
            static_cast<Bitboard>(_mm_cvtsi128_si64(_mm_packus_epi16(shifted, shifted)));
        if (!visit(from, reached & ~own)) return false;
    }
    return true;
}
#else
// Calls visit(from, destinations) for each own piece, ascending, while it
// returns true; whether it never returned false.
template <typename Visit>
inline bool for_each_piece(Bitboard own, Visit&& visit) {
    const PivotSet pivots = pair_pivots(own);
    for (Bitboard rest = own; rest;) {
        const Square from = pop_lowest_square(rest);
        if (!visit(from, reflections(pivots, from) & ~own)) return false;
    }
    return true;
}
#endif

// All legal moves of the side to move, in the rules' order: pairs of the
// mover's squares in lexicographic order, each pair's pivot applied to every
// own piece in ascending order, a move kept at its first appearance only.
void generate_legal_moves(const Position& p, MoveList& out);
// Whether the side to move has any legal move (outcome() without a list).
bool has_legal_move(const Position& p);

}  // namespace tovak
