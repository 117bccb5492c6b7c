#include "core/movegen.h"

#include <cstring>
#include <utility>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace tovak {
namespace {

// --- The pair loop ----------------------------------------------------------------------

// A spread set of pivots as two 128-bit words, rows 0..7 and 8..15. (__int128
// is a GCC/Clang extension; both compilers we build with have it.)
__extension__ typedef unsigned __int128 Uint128;
struct PivotWords {
    Uint128 low = 0;
    Uint128 high = 0;
};

// The squares of a set spread to rows of 16 bits, square (f, r) to bit
// f + 16 r, as one 128-bit word.
inline Uint128 spread_squares(Bitboard b) {
    auto spread_four_ranks = [](std::uint64_t x) {  // four ranks of 8 bits to four 16-bit rows
        x = (x | (x << 16)) & 0x0000ffff0000ffffULL;
        return (x | (x << 8)) & 0x00ff00ff00ff00ffULL;
    };
    return static_cast<Uint128>(spread_four_ranks(b >> 32)) << 64 | spread_four_ranks(b & 0xffffffffULL);
}

// The pair loop of the rules: calls visit(a, pivots) for each own square a in
// ascending order that has own squares above it, with the pivots of its pairs
// with them. Every pair is visited once, from its lower square, and the
// squares come in the order of the rules' lexicographic pair loop.
//
// Spread indices add, so the pivots of a with the squares above it are their
// spread set shifted by a's spread index (rows hold at most 8 + 7 bits, so
// nothing crosses a row).
template <typename Visit>
inline void for_each_pair_source(Bitboard own, Visit&& visit) {
    Uint128 above = spread_squares(own);
    for (Bitboard rest = own; rest;) {
        const int a = pop_lowest_bit(rest);
        const int a_spread = spread_index(a);
        above &= ~(Uint128{1} << a_spread);
        if (above == 0) return;  // the last square starts no pair
        visit(a, PivotWords{above << a_spread, a_spread != 0 ? above >> (128 - a_spread) : 0});
    }
}

// --- The enumeration ----------------------------------------------------------------------

// Appends (origin, target) for each target, by ascending origin. Origin and
// target indices sum to px + 8 py, so ascending origins are descending
// targets: the run is written from its last slot back, and no origin set is
// ever computed.
inline void emit_moves(int spread, Bitboard targets, MoveList& out) {
    const int sum = (spread & 15) + 8 * (spread >> 4);
    std::size_t slot = out.size() + static_cast<std::size_t>(popcount(targets));
    out.resize(slot);
    Move* moves = out.begin();
    while (targets) {
        const int to = pop_lowest_bit(targets);
        moves[--slot] = Move{Square::from_index(sum - to), Square::from_index(to)};
    }
}

}  // namespace

void generate_legal_moves(const Position& p, MoveList& out) {
    // Every pivot at its first pair, the pivots of one lower square in
    // ascending order (as the pair loop's inner index reaches them), the
    // moves of each pivot by ascending origin.
    out.clear();
    const Bitboard own = p.pieces(p.side_to_move);
    const Bitboard turned_own = half_turn(own);
    PivotWords seen;
    for_each_pair_source(own, [&](int, const PivotWords& pivots) {
        const Uint128 fresh_low = pivots.low & ~seen.low;
        const Uint128 fresh_high = pivots.high & ~seen.high;
        seen.low |= pivots.low;
        seen.high |= pivots.high;
        const std::uint64_t words[4] = {static_cast<std::uint64_t>(fresh_low), static_cast<std::uint64_t>(fresh_low >> 64),
                                        static_cast<std::uint64_t>(fresh_high),
                                        static_cast<std::uint64_t>(fresh_high >> 64)};
        for (int w = 0; w < 4; ++w) {
            for (std::uint64_t fresh = words[w]; fresh;) {
                const int spread = 64 * w + pop_lowest_bit(fresh);
                const Bitboard targets = reflect_turned(turned_own, spread) & ~own;
                if (targets) emit_moves(spread, targets, out);
            }
        }
    });
}

PivotSet pair_pivots(Bitboard own) {
    PivotWords all;
    for_each_pair_source(own, [&](int, const PivotWords& pivots) {
        all.low |= pivots.low;
        all.high |= pivots.high;
    });
    PivotSet set;
    static_assert(sizeof set.rows == sizeof all);
    std::memcpy(set.rows, &all, sizeof all);  // little-endian: row 0 first
    return set;
}

#if defined(__SSE2__) && defined(__x86_64__)
namespace {

// The pair loop of pair_pivots with the eight rows of the spread set in the
// 16-bit lanes of a vector: a square's pairs with the higher ranks cost one
// lane shift, and each rank's pairs move into their rows at once. The rank is a
// template argument because the byte shifts take immediate counts.
template <int R>
[[gnu::always_inline]] inline void add_rank_pairs(Bitboard own, __m128i spread, __m128i& low, __m128i& high) {
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
    if constexpr (2 * R < 8) low = _mm_or_si128(low, _mm_insert_epi16(_mm_setzero_si128(), static_cast<int>(same_rank), 2 * R));
    else high = _mm_or_si128(high, _mm_insert_epi16(_mm_setzero_si128(), static_cast<int>(same_rank), 2 * R - 8));
}

template <int... R>
[[gnu::always_inline]] inline void add_all_rank_pairs(Bitboard own, __m128i spread, __m128i& low, __m128i& high,
                               std::integer_sequence<int, R...>) {
    (add_rank_pairs<R>(own, spread, low, high), ...);
}

// The pivot set in two vectors: rows 0..7 and 8..15.
struct PivotVectors {
    __m128i low;
    __m128i high;
};
[[gnu::always_inline]] inline PivotVectors pivot_vectors(Bitboard own) {
    const __m128i spread = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(own)), _mm_setzero_si128());
    PivotVectors v{_mm_setzero_si128(), _mm_setzero_si128()};
    add_all_rank_pairs(own, spread, v.low, v.high, std::make_integer_sequence<int, 8>{});
    return v;
}

// Calls visit(from, destinations) for each own piece, ascending, while it
// returns true; whether it never returned false. The set is stored once, so
// that the window of each piece's rank is one unaligned load and the pieces
// are one loop.
template <typename Visit>
inline bool for_each_piece(Bitboard own, Visit&& visit) {
    const PivotVectors pivots = pivot_vectors(own);
    alignas(16) std::uint16_t rows[24];
    _mm_store_si128(reinterpret_cast<__m128i*>(rows), pivots.low);
    _mm_store_si128(reinterpret_cast<__m128i*>(rows + 8), pivots.high);
    _mm_store_si128(reinterpret_cast<__m128i*>(rows + 16), _mm_setzero_si128());
    const __m128i low_bytes = _mm_set1_epi16(0x00ff);
    for (Bitboard rest = own; rest;) {
        const int from = pop_lowest_bit(rest);
        const __m128i window = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows + (from >> 3)));
        const __m128i shifted = _mm_and_si128(_mm_srl_epi16(window, _mm_cvtsi32_si128(from & 7)), low_bytes);
        const auto reached = static_cast<Bitboard>(_mm_cvtsi128_si64(_mm_packus_epi16(shifted, shifted)));
        if (!visit(from, reached & ~own)) return false;
    }
    return true;
}

}  // namespace
#else
namespace {

// Calls visit(from, destinations) for each own piece, ascending, while it
// returns true; whether it never returned false.
template <typename Visit>
inline bool for_each_piece(Bitboard own, Visit&& visit) {
    const PivotSet pivots = pair_pivots(own);
    for (Bitboard rest = own; rest;) {
        const int from = pop_lowest_bit(rest);
        if (!visit(from, reflections(pivots, from & 7, from >> 3) & ~own)) return false;
    }
    return true;
}

}  // namespace
#endif

MoveCounts count_moves(Bitboard own, Bitboard enemy) {
    MoveCounts counts;
    for_each_piece(own, [&](int, Bitboard destinations) {
        counts.add_piece(destinations, enemy);
        return true;
    });
    return counts;
}

SideMoves::SideMoves(Bitboard own, Bitboard enemy) : own_(own), enemy_(enemy) {
    for_each_piece(own, [&](int from, Bitboard destinations) {
        destinations_[from] = destinations;
        counts_.add_piece(destinations, enemy);
        return true;
    });
}


bool has_legal_move(const Position& p) {
    const Bitboard own = p.pieces(p.side_to_move);
    return !for_each_piece(own, [](int, Bitboard destinations) { return destinations == 0; });
}

}  // namespace tovak
