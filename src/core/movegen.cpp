#include "core/movegen.h"

#include <array>
#include <bit>
#include <cstdint>

namespace tovak {
namespace {

// Square i -> square 63 - i: a half turn of the board about its centre.
inline Bitboard rotate_half_turn(Bitboard b) {
    b = __builtin_bswap64(b);  // rank r -> 7 - r
    b = ((b >> 1) & 0x5555555555555555ULL) | ((b & 0x5555555555555555ULL) << 1);
    b = ((b >> 2) & 0x3333333333333333ULL) | ((b & 0x3333333333333333ULL) << 2);
    b = ((b >> 4) & 0x0f0f0f0f0f0f0f0fULL) | ((b & 0x0f0f0f0f0f0f0f0fULL) << 4);  // file f -> 7 - f
    return b;
}

// Reflection through (px, py) maps (f, r) to (px - f, py - r): a half turn to
// (7 - f, 7 - r), then a shift by (px - 7, py - 7). The shift is done as a
// rotation (no branch on its sign) and the squares that wrapped past a file or
// rank edge are masked off. The half turn does not depend on the pivot, so
// callers that reflect one set through many pivots turn it once.
struct PivotShift {
    Bitboard on_board;   // squares whose image lands on the board
    std::uint8_t rotate;  // left rotation amount
};
constexpr std::array<PivotShift, 256> make_pivot_shifts() {
    std::array<PivotShift, 256> table{};  // indexed by px + 16 * py
    for (int px = 0; px <= 14; ++px) {
        for (int py = 0; py <= 14; ++py) {
            const int dx = px - 7;
            const int dy = py - 7;
            Bitboard mask = 0;
            for (int f = 0; f < 8; ++f)
                for (int r = 0; r < 8; ++r)
                    if (f - dx >= 0 && f - dx <= 7 && r - dy >= 0 && r - dy <= 7) mask |= bit_of(f + 8 * r);
            table[px + 16 * py] = PivotShift{mask, static_cast<std::uint8_t>((dx + 8 * dy) & 63)};
        }
    }
    return table;
}
constexpr auto PIVOT_SHIFTS = make_pivot_shifts();

inline Bitboard shift_turned(Bitboard turned, int px, int py) {
    const PivotShift& s = PIVOT_SHIFTS[px + 16 * py];
    return std::rotl(turned, s.rotate) & s.on_board;
}
inline Bitboard reflect_through(Bitboard b, int px, int py) { return shift_turned(rotate_half_turn(b), px, py); }

// Squares of a set in ascending order, with coordinates, for the pair loop.
struct SquareCoords {
    std::uint8_t count = 0;
    std::uint8_t file[64];
    std::uint8_t rank[64];
};
inline void list_squares(Bitboard b, SquareCoords& out) {
    int n = 0;
    while (b) {
        const int i = pop_lowest_bit(b);
        out.file[n] = static_cast<std::uint8_t>(i & 7);
        out.rank[n] = static_cast<std::uint8_t>(i >> 3);
        ++n;
    }
    out.count = static_cast<std::uint8_t>(n);
}

// Calls visit(px, py, targets) for every pivot of a pair of `own` squares, in
// the order in which the lexicographic pair loop first reaches it, with the
// non-own squares that own pieces reach through it (possibly none). Stops
// early when visit returns false.
template <typename Visit>
inline void for_each_new_pivot(Bitboard own, Visit&& visit) {
    SquareCoords s;
    list_squares(own, s);
    std::uint64_t seen[4] = {0, 0, 0, 0};  // 225 pivots
    const Bitboard not_own = ~own;
    const Bitboard turned_own = rotate_half_turn(own);
    for (int i = 0; i + 1 < s.count; ++i) {
        for (int j = i + 1; j < s.count; ++j) {
            const int px = s.file[i] + s.file[j];
            const int py = s.rank[i] + s.rank[j];
            const int dense = px * 15 + py;
            std::uint64_t& word = seen[dense >> 6];
            const std::uint64_t bit = std::uint64_t{1} << (dense & 63);
            if (word & bit) continue;
            word |= bit;
            const Bitboard targets = shift_turned(turned_own, px, py) & not_own;
            if (!visit(px, py, targets)) return;
        }
    }
}

// The pivots of all pairs of distinct `own` squares, as a set, when the order
// in which pairs reach them does not matter. A square (f, r) is spread to bit
// f + 16 r of a 128-bit word, so the sum of two squares' spread indices is the
// spread index of their pivot (file sums stay below 16: no carries). Shifting
// the squares above `a` by a's index yields the pivots of a's pairs at once.
// (__int128 is a GCC/Clang extension; both compilers we build with have it.)
__extension__ typedef unsigned __int128 Uint128;
struct PivotSet {
    Uint128 low = 0;   // pivot spread indices 0..127
    Uint128 high = 0;  // 128..255 (only up to 238 occur)
};
inline Uint128 spread_ranks(Bitboard b) {
    auto spread_half = [](std::uint64_t x) {  // four ranks of 8 bits to four 16-bit lanes
        x = (x | (x << 16)) & 0x0000ffff0000ffffULL;
        return (x | (x << 8)) & 0x00ff00ff00ff00ffULL;
    };
    return (static_cast<Uint128>(spread_half(b >> 32)) << 64) | spread_half(b & 0xffffffffULL);
}
inline PivotSet pair_pivots(Bitboard own) {
    PivotSet set;
    Uint128 above = spread_ranks(own);
    Bitboard rest = own;
    while (rest) {
        const int sq = pop_lowest_bit(rest);
        const int shift = (sq & 7) + 16 * (sq >> 3);
        above &= ~(static_cast<Uint128>(1) << shift);  // pairs with later squares only
        set.low |= above << shift;
        if (shift) set.high |= above >> (128 - shift);
    }
    return set;
}
template <typename Visit>
inline void for_each_pivot_unordered(Bitboard own, Visit&& visit) {
    const PivotSet set = pair_pivots(own);
    const Bitboard not_own = ~own;
    const Bitboard turned_own = rotate_half_turn(own);
    const std::uint64_t words[4] = {static_cast<std::uint64_t>(set.low), static_cast<std::uint64_t>(set.low >> 64),
                                    static_cast<std::uint64_t>(set.high),
                                    static_cast<std::uint64_t>(set.high >> 64)};
    for (int w = 0; w < 4; ++w) {
        std::uint64_t bits = words[w];
        while (bits) {
            const int spread = 64 * w + pop_lowest_bit(bits);
            const int px = spread & 15;
            const int py = spread >> 4;
            const Bitboard targets = shift_turned(turned_own, px, py) & not_own;
            if (!visit(px, py, targets)) return;
        }
    }
}

// Emits (origin, target) for each target in `targets` by ascending origin.
inline void emit_moves(int px, int py, Bitboard targets, MoveList& out) {
    Bitboard origins = reflect_through(targets, px, py);
    const int sum = px + 8 * py;  // origin index + target index
    while (origins) {
        const int from = pop_lowest_bit(origins);
        out.push_back(Move{Square::from_index(from), Square::from_index(sum - from)});
    }
}

}  // namespace

Bitboard reflect_set(Bitboard b, Pivot pivot) { return reflect_through(b, pivot.file_twice, pivot.rank_twice); }

void generate_legal_moves(const Position& p, MoveList& out) {
    out.clear();
    for_each_new_pivot(p.pieces(p.side_to_move), [&](int px, int py, Bitboard targets) {
        if (targets) emit_moves(px, py, targets, out);
        return true;
    });
}

void generate_captures(const Position& p, MoveList& out) {
    out.clear();
    const Bitboard enemy = p.pieces(opponent(p.side_to_move));
    for_each_new_pivot(p.pieces(p.side_to_move), [&](int px, int py, Bitboard targets) {
        targets &= enemy;
        if (targets) emit_moves(px, py, targets, out);
        return true;
    });
}

bool has_legal_move(const Position& p) {
    bool found = false;
    for_each_pivot_unordered(p.pieces(p.side_to_move), [&](int, int, Bitboard targets) {
        found = targets != 0;
        return !found;
    });
    return found;
}

MoveSummary summarize_moves(const Position& p, Color side) {
    const Bitboard own = p.pieces(side);
    const Bitboard enemy = p.pieces(opponent(side));
    MoveSummary summary;
    Bitboard mobile = 0;
    const Bitboard turned_free = rotate_half_turn(~own);
    for_each_pivot_unordered(own, [&](int px, int py, Bitboard targets) {
        if (targets) {
            summary.moves += popcount(targets);
            summary.captures += popcount(targets & enemy);
            // The pieces that start a move here: own squares whose image is a free square.
            mobile |= own & shift_turned(turned_free, px, py);
        }
        return true;
    });
    summary.immobile = popcount(own & ~mobile);
    return summary;
}

}  // namespace tovak
