#pragma once
// The static evaluation: a score without searching, from the point of view of
// the side to move ("us"; the other side is "them"). A weighted sum of five
// differences between the sides, each side measured as if it were to move:
// pieces, legal moves, capturing moves, summed centre distance and pieces
// that cannot move.

#include <cstdint>

#include "core/move.h"
#include "core/position.h"
#include "core/square.h"
#include "engine/side_moves.h"

namespace tovak::engine {

// The score of a position whose side to move has no legal move, at any depth.
constexpr std::int32_t LOSS_SCORE = -100000;

constexpr std::int32_t PIECE_WEIGHT = 120;     // per piece of difference
constexpr std::int32_t MOBILITY_WEIGHT = 12;   // per legal move of difference
constexpr std::int32_t CAPTURE_WEIGHT = 35;    // per capturing move of difference
constexpr std::int32_t CENTRE_WEIGHT = 3;      // per unit of summed centre distance, nearer side
constexpr std::int32_t IMMOBILITY_WEIGHT = 8;  // per immobile piece, for the side with fewer

// Distance of a square's centre from the board's centre in half squares along
// each axis: |2 file - 7| + |2 rank - 7|, from 2 (d4, e4, d5, e5) to 14 (corners).
constexpr int centre_distance(Square s) {
    const int f = 2 * s.file() - 7;
    const int r = 2 * s.rank() - 7;
    return (f < 0 ? -f : f) + (r < 0 ? -r : r);
}

// How much nearer to the centre a move brings its piece.
constexpr int centre_gain(Move m) { return centre_distance(m.from) - centre_distance(m.to); }
// The largest: from a corner to a centre square.
constexpr int MAX_CENTRE_GAIN =
    centre_distance(Square::from_index(0)) - centre_distance(Square::from_index(27));
static_assert(MAX_CENTRE_GAIN == 12);

// The sum of the centre distances of the squares of a set.
int centre_distance_sum(Bitboard set);

// The static score; LOSS_SCORE when the side to move has no legal move. Any
// other position scores strictly between -60000 and 60000.
std::int32_t evaluate(const Position& position);

// The same score from the side to move's moves, already laid out (the search
// shares them with its move lists).
std::int32_t evaluate(const SideMoves& us);

}  // namespace tovak::engine
