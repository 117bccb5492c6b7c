#include "render/text_board.h"

#include <string_view>

#include "core/bitboard.h"

namespace tovak::render {
namespace {

constexpr std::string_view FILE_LINE = "  a b c d e f g h\n";

// Header and footer, then per rank: label, blank, eight cells each followed by
// a blank, label, newline. A cell is at most three bytes (a disc in UTF-8), so
// a full board of discs is the longest diagram.
constexpr std::size_t RANK_LINE_MAX_BYTES = 2 + 8 * (3 + 1) + 2;
constexpr std::size_t MAX_BYTES = 2 * FILE_LINE.size() + 8 * RANK_LINE_MAX_BYTES;

struct CellTexts {
    std::string_view white;
    std::string_view black;
};

// White pieces are filled discs, black pieces hollow circles.
constexpr CellTexts DISC_CELLS{"\u25CF", "\u25CB"};
constexpr CellTexts LETTER_CELLS{"W", "B"};
constexpr std::string_view EMPTY_CELL = ".";

}  // namespace

std::string ascii_board_with_style(const Position& position, TextStyle style) {
    const CellTexts& cells = style == TextStyle::Discs ? DISC_CELLS : LETTER_CELLS;
    const Bitboard white = position.white();
    const Bitboard black = position.black();

    std::string out;
    out.reserve(MAX_BYTES);
    out += FILE_LINE;
    for (int rank = 7; rank >= 0; --rank) {
        const char label = static_cast<char>('1' + rank);
        out += label;
        out += ' ';
        for (int file = 0; file < 8; ++file) {
            const Bitboard bit = bit_of(file + 8 * rank);
            out += (white & bit) ? cells.white : (black & bit) ? cells.black : EMPTY_CELL;
            out += ' ';
        }
        out += label;
        out += '\n';
    }
    out += FILE_LINE;
    return out;
}

}  // namespace tovak::render
