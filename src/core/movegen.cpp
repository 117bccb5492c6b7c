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
    Bitboard on_board;    // squares whose image lands on the board
    std::uint8_t rotate;  // left rotation amount
};
// Indexed by px + 16 * py, which is also the pivot's spread index (below).
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
inline Bitboard reflect_through(Bitboard b, int px, int py) {
    return shift_turned(rotate_half_turn(b), px, py);
}

// Pivots as bits. A square (f, r) is spread to bit f + 16 r of a 128-bit
// word, so the sum of two squares' spread indices is the spread index of their
// pivot (file sums stay below 16: no carries), and shifting the spread set of
// some squares by a's spread index yields the pivots of all their pairs with a
// at once. The spread index grows with the square index, so it orders pivots
// as the pair loop's inner index does.
// (__int128 is a GCC/Clang extension; both compilers we build with have it.)
__extension__ typedef unsigned __int128 Uint128;
struct PivotSet {
    Uint128 low = 0;   // spread indices 0..127
    Uint128 high = 0;  // 128..255 (only up to 238 occur)
};
inline Uint128 spread_ranks(Bitboard b) {
    auto spread_half = [](std::uint64_t x) {  // four ranks of 8 bits to four 16-bit lanes
        x = (x | (x << 16)) & 0x0000ffff0000ffffULL;
        return (x | (x << 8)) & 0x00ff00ff00ff00ffULL;
    };
    return (static_cast<Uint128>(spread_half(b >> 32)) << 64) | spread_half(b & 0xffffffffULL);
}
inline int spread_index(int square) { return (square & 7) + 16 * (square >> 3); }
// The pivots of `a` paired with each square of the spread set `partners`.
inline PivotSet shifted_by(Uint128 partners, int a_spread) {
    PivotSet set;
    set.low = partners << a_spread;
    if (a_spread) set.high = partners >> (128 - a_spread);
    return set;
}

// Calls visit(px, py) for each pivot of the set in ascending spread order;
// stops and returns false as soon as visit does.
template <typename Visit>
inline bool visit_pivots(const PivotSet& set, Visit&& visit) {
    const std::uint64_t words[4] = {
        static_cast<std::uint64_t>(set.low), static_cast<std::uint64_t>(set.low >> 64),
        static_cast<std::uint64_t>(set.high), static_cast<std::uint64_t>(set.high >> 64)};
    for (int w = 0; w < 4; ++w) {
        std::uint64_t bits = words[w];
        while (bits) {
            const int spread = 64 * w + pop_lowest_bit(bits);
            if (!visit(spread & 15, spread >> 4)) return false;
        }
    }
    return true;
}

// Calls visit(px, py, targets) for every pivot of a pair of `own` squares, in
// the order in which the rules' lexicographic pair loop first reaches it, with
// the non-own squares that own pieces reach through it (possibly none). Stops
// early when visit returns false.
//
// For one first square S[i], the pairs (S[i], S[j]), j > i ascending, have
// distinct pivots in ascending spread order. So the inner loop over j is one
// shift of the spread set of the later squares, and the pivots it reaches
// first are that set minus those already reached from earlier first squares.
template <typename Visit>
inline void for_each_new_pivot(Bitboard own, Visit&& visit) {
    const Bitboard not_own = ~own;
    const Bitboard turned_own = rotate_half_turn(own);
    Uint128 later = spread_ranks(own);
    PivotSet seen;
    Bitboard rest = own;
    while (rest) {
        const int a_spread = spread_index(pop_lowest_bit(rest));
        later &= ~(static_cast<Uint128>(1) << a_spread);
        if (!later) return;  // the last square starts no pair
        PivotSet fresh = shifted_by(later, a_spread);
        fresh.low &= ~seen.low;
        fresh.high &= ~seen.high;
        seen.low |= fresh.low;
        seen.high |= fresh.high;
        const bool go_on = visit_pivots(fresh, [&](int px, int py) {
            return visit(px, py, shift_turned(turned_own, px, py) & not_own);
        });
        if (!go_on) return;
    }
}

// The same pivots when the order does not matter: all of them as one set.
template <typename Visit>
inline void for_each_pivot_unordered(Bitboard own, Visit&& visit) {
    PivotSet set;
    Uint128 later = spread_ranks(own);
    Bitboard rest = own;
    while (rest) {
        const int a_spread = spread_index(pop_lowest_bit(rest));
        later &= ~(static_cast<Uint128>(1) << a_spread);
        const PivotSet pairs = shifted_by(later, a_spread);
        set.low |= pairs.low;
        set.high |= pairs.high;
    }
    const Bitboard not_own = ~own;
    const Bitboard turned_own = rotate_half_turn(own);
    visit_pivots(set, [&](int px, int py) {
        return visit(px, py, shift_turned(turned_own, px, py) & not_own);
    });
}

// Appends (origin, target) for each target in `targets`, by ascending origin.
// Origin and target indices sum to px + 8 py, so ascending origins are
// descending targets: the run is written from its last slot back, and no
// origin set is ever computed.
inline void emit_moves(int px, int py, Bitboard targets, MoveList& out) {
    const int sum = px + 8 * py;
    std::size_t slot = out.size() + static_cast<std::size_t>(popcount(targets));
    out.resize(slot);
    Move* moves = out.begin();
    while (targets) {
        const int to = pop_lowest_bit(targets);
        moves[--slot] = Move{Square::from_index(sum - to), Square::from_index(to)};
    }
}

}  // namespace

Bitboard reflect_set(Bitboard b, Pivot pivot) {
    // The shift table covers the pivots of on-board pairs (0..14 each way). A
    // hand-built pivot beyond that reflects every square off the board, and
    // must not index past the table.
    if (pivot.file_twice < 0 || pivot.file_twice > 14 || pivot.rank_twice < 0 ||
        pivot.rank_twice > 14)
        return 0;
    return reflect_through(b, pivot.file_twice, pivot.rank_twice);
}

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

std::uint64_t perft(const Position& p, int depth) {
    if (depth == 0) return 1;
    MoveList moves;
    generate_legal_moves(p, moves);
    if (depth == 1) return moves.size();
    std::uint64_t leaves = 0;
    for (const Move m : moves) {
        Position child = p;
        child.apply_legal_move(m);
        leaves += perft(child, depth - 1);
    }
    return leaves;
}

}  // namespace tovak
