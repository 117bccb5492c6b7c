#include "mcts/encoding.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tovak::mcts {
namespace {

// Ones at the squares of `set` as `viewer` sees the board.
void write_set(std::uint64_t set, Color viewer, float* plane) {
    std::fill(plane, plane + PLANE_SIZE, 0.0f);
    while (set) {
        const int square = std::countr_zero(set);
        set &= set - 1;
        plane[oriented_square(square, viewer)] = 1.0f;
    }
}

}  // namespace

void write_planes(const Position& p, float* out) {
    const Color mover = p.side_to_move;
    write_set(p.pieces(mover), mover, out);
    write_set(p.pieces(opponent(mover)), mover, out + PLANE_SIZE);
    std::fill(out + 2 * PLANE_SIZE, out + 3 * PLANE_SIZE, 1.0f);
}

void write_legal_mask(std::span<const Move> moves, Color mover, std::uint8_t* out) {
    std::memset(out, 0, ACTION_COUNT);
    for (const Move m : moves) out[move_number(m, mover)] = 1;
}

}  // namespace tovak::mcts
