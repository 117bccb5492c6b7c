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

// The same as eight bytes 0 or 1 in one word (little-endian: lowest bit in
// the first byte): a rank of a mask row is one store.
constexpr std::array<std::uint64_t, 256> make_byte_bytes() {
    std::array<std::uint64_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte)
        for (int bit = 0; bit < 8; ++bit)
            if ((byte >> bit) & 1) table[byte] |= std::uint64_t{1} << (8 * bit);
    return table;
}
constexpr std::array<std::uint64_t, 256> BYTE_BYTES = make_byte_bytes();

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

void write_piece_planes(const Position& position, Color viewer, float* out) {
    write_plane(seen_by(position.pieces(viewer), viewer), out);
    write_plane(seen_by(position.pieces(opponent(viewer)), viewer), out + 64);
}

void write_planes(const Position& position, Color viewer, float* out) {
    write_piece_planes(position, viewer, out);
    const float turn = position.side_to_move == viewer ? 1.0f : 0.0f;
    for (int square = 0; square < 64; ++square) out[128 + square] = turn;
}

Bitboard mask_rows(const Position& position, const LegalMoves& moves, Color viewer) {
    if (position.side_to_move != viewer || moves.empty()) return 0;
    // The rows of the pieces, turned like the board; a piece without a
    // move leaves its row empty, but counting it costs more than writing it.
    return seen_by(moves.own, viewer);
}

// Row r holds the destinations of the piece on the viewer's square r,
// turned like the board: eight stores of eight bytes.
void write_mask_rows(const Position& position, const LegalMoves& moves, Color viewer, Bitboard rows,
                     std::uint8_t* out) {
    const Bitboard marked = mask_rows(position, moves, viewer);
    const int mirror = rank_mirror(viewer);
    for (Bitboard rest = rows; rest;) {
        const int row = pop_lowest_bit(rest);
        const Bitboard targets =
            (marked >> row) & 1 ? seen_by(moves.destinations_of(row ^ mirror), viewer) : 0;
        for (int rank = 0; rank < 8; ++rank) {
            const std::uint64_t bytes = BYTE_BYTES[(targets >> (8 * rank)) & 0xff];
            std::memcpy(out + 64 * row + 8 * rank, &bytes, sizeof bytes);
        }
    }
}

void write_legal_mask(const Position& position, const LegalMoves& moves, Color viewer,
                      std::uint8_t* out) {
    if (mask_rows(position, moves, viewer) == 0) {
        std::memset(out, 0, ACTION_COUNT);
        return;
    }
    write_mask_rows(position, moves, viewer, ~Bitboard{0}, out);
}

void write_legal_mask(std::span<const Move> moves, Color viewer, std::uint8_t* out) {
    std::memset(out, 0, ACTION_COUNT);
    for (const Move m : moves) out[action_of(m, viewer)] = 1;
}

}  // namespace tovak
