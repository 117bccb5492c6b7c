#include "engine/evaluate.h"

#include "core/bitboard.h"
#include "engine/move_counts.h"

namespace tovak::engine {
namespace {

// |2 x - 7| for x = 0..7 is 7 5 3 1 1 3 5 7 = 1 + 2 [x not in 3..4]
// + 2 [x not in 2..5] + 2 [x in {0, 7}]: one popcount per band of files
// and of ranks.
constexpr Bitboard file_band(int low, int high) {
    Bitboard band = 0;
    for (int f = 0; f < 8; ++f)
        if (f < low || f > high) band |= FILE_A << f;
    return band;
}
constexpr Bitboard rank_band(int low, int high) {
    Bitboard band = 0;
    for (int r = 0; r < 8; ++r)
        if (r < low || r > high) band |= RANK_1 << (8 * r);
    return band;
}
constexpr Bitboard BANDS[6] = {file_band(3, 4), file_band(2, 5), file_band(1, 6),
                               rank_band(3, 4), rank_band(2, 5), rank_band(1, 6)};

}  // namespace

int centre_distance_sum(Bitboard set) {
    int sum = popcount(set);
    for (const Bitboard band : BANDS) sum += popcount(set & band);
    return 2 * sum;
}

namespace {

// The score of the side with pieces `own`, to move, against `enemy`, from its
// own counts.
std::int32_t score_of(Bitboard own, Bitboard enemy, const MoveCounts& ours) {
    // 1. No legal move: the game is lost for the side to move.
    if (ours.moves == 0) return LOSS_SCORE;
    // 2. Their terms, measured as if they were to move.
    const MoveCounts theirs = count_moves(enemy, own);
    // 3. The weighted differences; centre distance and immobility count for
    //    the side that has less of them.
    return PIECE_WEIGHT * (popcount(own) - popcount(enemy)) +
           MOBILITY_WEIGHT * (ours.moves - theirs.moves) +
           CAPTURE_WEIGHT * (ours.captures - theirs.captures) +
           CENTRE_WEIGHT * (centre_distance_sum(enemy) - centre_distance_sum(own)) +
           IMMOBILITY_WEIGHT * (theirs.immobile - ours.immobile);
}

}  // namespace

std::int32_t evaluate(const SideMoves& us) { return score_of(us.own(), us.enemy(), us.counts()); }

std::int32_t evaluate(const Position& position) {
    const Bitboard own = position.pieces(position.side_to_move);
    const Bitboard enemy = position.pieces(opponent(position.side_to_move));
    return score_of(own, enemy, count_moves(own, enemy));
}

}  // namespace tovak::engine
