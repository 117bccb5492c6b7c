#include "core/movegen.h"

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

constexpr std::array<Bitboard, 15> make_file_masks() {
    // Indexed by file shift + 7: the squares whose file stays on the board.
    std::array<Bitboard, 15> masks{};
    for (int dx = -7; dx <= 7; ++dx) {
        Bitboard m = 0;
        for (int f = 0; f < 8; ++f)
            if (f - dx >= 0 && f - dx <= 7) m |= FILE_A << f;
        masks[dx + 7] = m;
    }
    return masks;
}
constexpr auto FILE_MASKS = make_file_masks();

// Reflection through (px, py) maps (f, r) to (px - f, py - r): a half turn to
// (7 - f, 7 - r), then a shift by (px - 7, py - 7). Squares pushed past a file
// edge wrap into a neighbouring rank and are masked off; past a rank edge they
// fall out of the word.
inline Bitboard reflect_through(Bitboard b, int px, int py) {
    const Bitboard turned = rotate_half_turn(b);
    const int dx = px - 7;
    const int shift = dx + 8 * (py - 7);
    const Bitboard shifted = shift >= 0 ? turned << shift : turned >> -shift;
    return shifted & FILE_MASKS[dx + 7];
}

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
    for (int i = 0; i + 1 < s.count; ++i) {
        for (int j = i + 1; j < s.count; ++j) {
            const int px = s.file[i] + s.file[j];
            const int py = s.rank[i] + s.rank[j];
            const int dense = px * 15 + py;
            std::uint64_t& word = seen[dense >> 6];
            const std::uint64_t bit = std::uint64_t{1} << (dense & 63);
            if (word & bit) continue;
            word |= bit;
            const Bitboard targets = reflect_through(own, px, py) & not_own;
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
    for_each_new_pivot(p.pieces(p.side_to_move), [&](int, int, Bitboard targets) {
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
    for_each_new_pivot(own, [&](int px, int py, Bitboard targets) {
        if (targets) {
            summary.moves += popcount(targets);
            summary.captures += popcount(targets & enemy);
            mobile |= reflect_through(targets, px, py);
        }
        return true;
    });
    summary.immobile = popcount(own & ~mobile);
    return summary;
}

}  // namespace tovak
