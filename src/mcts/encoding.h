#pragma once
// What a network sees of a position, always from the side to move's view: the
// board turned round along the ranks for Black (square XOR 56, files stay),
// so that each side's pieces start on its own near ranks and one network
// plays both colours. Mirroring the ranks maps the midpoint of two squares to
// the midpoint of their mirrors, so a position and its mirror have mirrored
// legal moves.
//
// Move numbers: from * 64 + to, both squares as the mover sees them (0..4095).
// Planes: 3 x 8 x 8 float32 of 0s and 1s, indexed [plane][rank][file] with
// ranks counted from the mover's side: plane 0 the mover's pieces, plane 1
// the opponent's, plane 2 all ones (it is always the mover's turn).

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/move.h"
#include "core/position.h"

namespace tovak::mcts {

constexpr int ACTION_COUNT = 64 * 64;
constexpr int PLANE_COUNT = 3;
constexpr int PLANE_SIZE = 64;
constexpr int OBSERVATION_SIZE = PLANE_COUNT * PLANE_SIZE;

// XOR with this turns a square round along the ranks (rank r <-> 7 - r).
constexpr int RANK_MIRROR = 0b111000;

constexpr int oriented_square(int square, Color viewer) {
    return viewer == Color::Black ? square ^ RANK_MIRROR : square;
}
constexpr int move_number(Move m, Color mover) {
    return oriented_square(m.from.index, mover) * 64 + oriented_square(m.to.index, mover);
}
// The inverse of move_number, for 0 <= number < ACTION_COUNT.
constexpr Move move_of_number(int number, Color mover) {
    return Move{Square::from_index(oriented_square(number / 64, mover)),
                Square::from_index(oriented_square(number % 64, mover))};
}

// Writes the OBSERVATION_SIZE floats of `p`'s planes to `out`.
void write_planes(const Position& p, float* out);
// Writes ACTION_COUNT bytes to `out`: 1 at the number of each of `moves`, the
// legal moves of a position whose side to move is `mover`, 0 elsewhere.
void write_legal_mask(std::span<const Move> moves, Color mover, std::uint8_t* out);

}  // namespace tovak::mcts
