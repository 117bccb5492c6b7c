#pragma once
// Move generation: the pair pivots of one side and everything the rules
// derive from them.
//
// A piece on F may move to a square T without a piece of its own colour
// exactly when F + T (coordinates added, that is twice the midpoint) is the
// pivot of some pair of its friendly pieces: a pair that contains F itself
// would put a friendly piece on T. So everything follows from the set of
// pair pivots of the side:
//   - the pivot set itself (PivotSet, pair_pivots);
//   - the destinations of each piece, a shift of that set (reflections,
//     SideMoves, which works eight rows at a time in vector registers);
//   - the counts the evaluation needs (MoveCounts, count_moves);
//   - whether any move exists (has_legal_move, SideMoves::any_move);
//   - the first pair that supports a pivot in the rules' order (FirstPairs),
//     which places a move in the rules' enumeration;
//   - the rules' enumeration itself (generate_legal_moves), and each move's
//     place in it (move_place).
//
// Two layouts carry the geometry. Sets of squares are 64-bit occupancy
// sets; reflecting a whole set through a pivot is a half turn of the board
// followed by a shift (PIVOT_SHIFTS). Sets of pivots, both coordinates
// doubled (0..14), are 256-bit "spread" sets: pivot (px, py) is bit
// px + 16 py, which is also where square (f, r) goes when a set of squares is
// spread to rows of 16 bits. Spread indices add like coordinates (file sums
// stay below 16, so nothing carries into the next row), so the pivots of one
// square with many others are one shift of their spread set.

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "core/bitboard.h"
#include "core/move.h"
#include "core/move_list.h"
#include "core/position.h"
#include "core/square.h"

namespace tovak {

// --- Reflection of sets of squares ------------------------------------------------

// Square i -> square 63 - i, that is (f, r) -> (7 - f, 7 - r): a half turn of
// the board about its centre.
constexpr Bitboard half_turn(Bitboard b) {
    b = __builtin_bswap64(b);  // rank r -> 7 - r
    b = ((b >> 1) & 0x5555555555555555ULL) | ((b & 0x5555555555555555ULL) << 1);
    b = ((b >> 2) & 0x3333333333333333ULL) | ((b & 0x3333333333333333ULL) << 2);
    return ((b >> 4) & 0x0f0f0f0f0f0f0f0fULL) | ((b & 0x0f0f0f0f0f0f0f0fULL) << 4);  // file f -> 7 - f
}

// The spread index of a square (f, r): f + 16 r.
constexpr int spread_index(int square) { return (square & 7) + 16 * (square >> 3); }
// The spread index of a pivot (both coordinates doubled, 0..14).
constexpr int pivot_spread(int file_twice, int rank_twice) { return file_twice + 16 * rank_twice; }
// The spread index of the pivot of a move: the sum of its squares'.
constexpr int move_pivot_spread(int from, int to) { return spread_index(from) + spread_index(to); }

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
                    if (f - dx >= 0 && f - dx <= 7 && r - dy >= 0 && r - dy <= 7) mask |= bit_of(f + 8 * r);
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

// --- The pivot set --------------------------------------------------------------------

// The pivots of all pairs of distinct pieces of one side: bit px of rows[py]
// is set when some pair has the pivot (px, py). Row 15 and bit 15 of every
// row stay clear. The same bits as a spread set (row py is bits 16 py..).
// The search never stores one: it takes each piece's destinations (below)
// while the set is still in vector registers. This is the plain form, and
// the check of that one.
struct PivotSet {
    std::uint16_t rows[16] = {};
};

PivotSet pair_pivots(Bitboard own);

// The squares T with (file + file(T), rank + rank(T)) in the set: rows
// rank..rank+7 hold the target ranks 0..7, and shifting each right by `file`
// leaves the target files in its low byte.
constexpr Bitboard reflections(const PivotSet& pivots, int file, int rank) {
    Bitboard out = 0;
    for (int target_rank = 0; target_rank < 8; ++target_rank)
        out |= Bitboard{static_cast<std::uint8_t>(pivots.rows[rank + target_rank] >> file)} << (8 * target_rank);
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

    // The lower square of the first pair with that pivot; 64 when no pair has it.
    int lower(int spread) const { return lowest_bit(paired_squares(spread)); }

private:
    Bitboard own_;
    Bitboard turned_;  // own with square i moved to 63 - i
};

// --- One side's moves, piece by piece -------------------------------------------------

// The counts the evaluation needs for one side, measured as if that side were
// to move.
struct MoveCounts {
    int moves = 0;     // legal moves
    int captures = 0;  // legal moves landing on an enemy piece
    int immobile = 0;  // own pieces that start no move

    // Adds one piece with the given destinations.
    void add_piece(Bitboard destinations, Bitboard enemy) {
        moves += popcount(destinations);
        captures += popcount(destinations & enemy);
        immobile += destinations == 0;
    }
    friend constexpr bool operator==(const MoveCounts&, const MoveCounts&) = default;
};

// The counts of the side with pieces `own` against pieces `enemy`.
MoveCounts count_moves(Bitboard own, Bitboard enemy);

// Everything about one side's moves that a search node needs, laid out once:
// its pivot set, the destinations of each of its pieces and their counts.
class SideMoves {
public:
    SideMoves(Bitboard own, Bitboard enemy);
    // The side to move of `p`.
    explicit SideMoves(const Position& p) : SideMoves(p.pieces(p.side_to_move), p.pieces(opponent(p.side_to_move))) {}

    Bitboard own() const { return own_; }
    Bitboard enemy() const { return enemy_; }
    const MoveCounts& counts() const { return counts_; }
    bool any_move() const { return counts_.moves != 0; }

    // The legal destinations of the piece on `from`, which must be an own square.
    Bitboard destinations(int from) const { return destinations_[from]; }
    // Whether `m` is a legal move of the side.
    bool is_move(Move m) const {
        return (own_ & bit_of(m.from.index)) && (destinations_[m.from.index] & bit_of(m.to.index));
    }

private:
    Bitboard own_;
    Bitboard enemy_;
    MoveCounts counts_;
    // Written for own squares only, and only those are read: filling all 64
    // entries at every node of a search would cost more than the moves.
    union {
        Bitboard destinations_[64];
    };
};

// --- The rules' enumeration ------------------------------------------------------------

// The place of a move in the rules' enumeration, as a number that grows with
// it. Moves come grouped by the first pair that supports them, pairs in
// ascending order (for one lower square, by ascending pivot), and by
// ascending origin within a group. 20 bits:
//   bits 19..14  the lower square of the first supporting pair
//   bits 13..6   the pivot's spread index
//   bits 5..0    the origin
// The destination follows from pivot and origin.
constexpr std::uint32_t move_place(int first_lower, int from, int to) {
    return static_cast<std::uint32_t>(first_lower) << 14 |
           static_cast<std::uint32_t>(move_pivot_spread(from, to)) << 6 | static_cast<std::uint32_t>(from);
}
constexpr std::uint32_t MOVE_PLACE_BITS = 20;
constexpr Move move_at_place(std::uint32_t place) {
    const int from = static_cast<int>(place & 63);
    const int spread = static_cast<int>((place >> 6) & 255);
    const int to = ((spread & 15) - (from & 7)) + 8 * ((spread >> 4) - (from >> 3));
    return Move{Square::from_index(from), Square::from_index(to)};
}

// All legal moves of the side to move, in the rules' order: pairs of the
// mover's squares in lexicographic order, each pair's pivot applied to every
// own piece in ascending order, a move kept at its first appearance only.
void generate_legal_moves(const Position& p, MoveList& out);
// Whether the side to move has any legal move (outcome() without a list).
bool has_legal_move(const Position& p);

}  // namespace tovak
