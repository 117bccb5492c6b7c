#include "core/movegen.h"

#include <cstddef>

#include "core/reflection.h"

namespace tovak {
namespace {

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
    for_each_pair_source(own, [&](const PivotWords& pivots) {
        const platform::Uint128 fresh_low = pivots.low & ~seen.low;
        const platform::Uint128 fresh_high = pivots.high & ~seen.high;
        seen.low |= pivots.low;
        seen.high |= pivots.high;
        const std::uint64_t words[4] = {
            static_cast<std::uint64_t>(fresh_low), static_cast<std::uint64_t>(fresh_low >> 64),
            static_cast<std::uint64_t>(fresh_high), static_cast<std::uint64_t>(fresh_high >> 64)};
        for (int w = 0; w < 4; ++w) {
            for (std::uint64_t fresh = words[w]; fresh;) {
                const int spread = 64 * w + pop_lowest_bit(fresh);
                const Bitboard targets = reflect_turned(turned_own, spread) & ~own;
                if (targets) emit_moves(spread, targets, out);
            }
        }
    });
}

bool has_legal_move(const Position& p) {
    const Bitboard own = p.pieces(p.side_to_move);
    return !for_each_piece(own, [](Square, Bitboard destinations) { return destinations == 0; });
}

}  // namespace tovak
