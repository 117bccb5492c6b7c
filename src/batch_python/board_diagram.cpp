#include "batch_python/board_diagram.h"

#include <cstddef>

namespace tovak {

namespace {

// The layout: a header line of 18 bytes ("  a b c d e f g h\n"), then one
// line of 20 bytes per rank, rank 8 first ("8 " + eight cells each followed
// by a space + "8\n"), then the footer. Only the cells are read; the rest is
// checked to be where it belongs by the length and the cell characters.
constexpr std::size_t HEADER = 18;
constexpr std::size_t RANK_LINE = 20;
constexpr std::size_t DIAGRAM_SIZE = 2 * HEADER + 8 * RANK_LINE;

constexpr std::size_t cell_offset(int file, int rank) {
    return HEADER + static_cast<std::size_t>(7 - rank) * RANK_LINE + 2 +
           2 * static_cast<std::size_t>(file);
}

}  // namespace

std::optional<Position> position_from_diagram(std::string_view diagram, Color side_to_move) {
    if (diagram.size() != DIAGRAM_SIZE) return std::nullopt;
    Bitboard white = 0;
    Bitboard black = 0;
    for (int square = 0; square < 64; ++square) {
        const char cell = diagram[cell_offset(square & 7, square >> 3)];
        if (cell == 'W')
            white |= Bitboard{1} << square;
        else if (cell == 'B')
            black |= Bitboard{1} << square;
        else if (cell != '.')
            return std::nullopt;
    }
    Position position = Position::empty(side_to_move);
    position.sets[0] = white;
    position.sets[1] = black;
    position.hash = hash_from_scratch(position);
    return position;
}

}  // namespace tovak
