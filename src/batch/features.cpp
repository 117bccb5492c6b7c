#include "batch/features.h"

#include <array>
#include <cstring>

namespace tovak {

namespace {

// The eight floats (0 or 1) of the bits of one byte, lowest bit first: one
// rank of a plane is one copy.
constexpr std::array<std::array<float, 8>, 256> make_byte_floats() {
    std::array<std::array<float, 8>, 256> table{};
    for (int byte = 0; byte < 256; ++byte)
        for (int bit = 0; bit < 8; ++bit) table[byte][bit] = (byte >> bit) & 1 ? 1.0f : 0.0f;
    return table;
}
constexpr std::array<std::array<float, 8>, 256> BYTE_FLOATS = make_byte_floats();

void write_plane(Bitboard squares, float* out) {
    for (int rank = 0; rank < 8; ++rank)
        std::memcpy(out + 8 * rank, BYTE_FLOATS[(squares >> (8 * rank)) & 0xff].data(),
                    8 * sizeof(float));
}

// Turning the board round along the ranks swaps the bytes of a set.
Bitboard seen_by(Bitboard squares, Color viewer) {
    return viewer == Color::Black ? __builtin_bswap64(squares) : squares;
}

}  // namespace

void write_planes(const Position& position, Color viewer, float* out) {
    write_plane(seen_by(position.pieces(viewer), viewer), out);
    write_plane(seen_by(position.pieces(opponent(viewer)), viewer), out + 64);
    const float turn = position.side_to_move == viewer ? 1.0f : 0.0f;
    for (int square = 0; square < 64; ++square) out[128 + square] = turn;
}

void write_legal_mask(const Position& position, const MoveList& moves, Color viewer,
                      std::uint8_t* out) {
    std::memset(out, 0, ACTION_COUNT);
    if (position.side_to_move != viewer) return;
    for (const Move m : moves) out[action_of(m, viewer)] = 1;
}

}  // namespace tovak
