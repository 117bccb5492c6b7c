// Text diagrams: the listed diagrams exactly, the fixed layout of every line
// on many boards, and every cell read back against the square it stands for.

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/bitboard.h"
#include "core_printing_support.h"
#include "render/text_board.h"
#include "core_positions_support.h"
#include "render_cases_support.h"

namespace tovak::render {
namespace {

using render_test::board;

constexpr std::string_view INITIAL_DISCS =
    "  a b c d e f g h\n"
    "8 \u25CB \u25CB \u25CB \u25CB \u25CB \u25CB \u25CB \u25CB 8\n"
    "7 \u25CB \u25CB \u25CB \u25CB \u25CB \u25CB \u25CB \u25CB 7\n"
    "6 . . . . . . . . 6\n"
    "5 . . . . . . . . 5\n"
    "4 . . . . . . . . 4\n"
    "3 . . . . . . . . 3\n"
    "2 \u25CF \u25CF \u25CF \u25CF \u25CF \u25CF \u25CF \u25CF 2\n"
    "1 \u25CF \u25CF \u25CF \u25CF \u25CF \u25CF \u25CF \u25CF 1\n"
    "  a b c d e f g h\n";

constexpr std::string_view INITIAL_LETTERS =
    "  a b c d e f g h\n"
    "8 B B B B B B B B 8\n"
    "7 B B B B B B B B 7\n"
    "6 . . . . . . . . 6\n"
    "5 . . . . . . . . 5\n"
    "4 . . . . . . . . 4\n"
    "3 . . . . . . . . 3\n"
    "2 W W W W W W W W 2\n"
    "1 W W W W W W W W 1\n"
    "  a b c d e f g h\n";

constexpr std::string_view EMPTY_DIAGRAM =
    "  a b c d e f g h\n"
    "8 . . . . . . . . 8\n"
    "7 . . . . . . . . 7\n"
    "6 . . . . . . . . 6\n"
    "5 . . . . . . . . 5\n"
    "4 . . . . . . . . 4\n"
    "3 . . . . . . . . 3\n"
    "2 . . . . . . . . 2\n"
    "1 . . . . . . . . 1\n"
    "  a b c d e f g h\n";

// --- listed diagrams ---------------------------------------------------------------

struct DiagramCase {
    std::string_view name;
    Position position;
    TextStyle style;
    std::string_view expected;
};

void PrintTo(const DiagramCase& c, std::ostream* os) { *os << c.name; }

class ListedDiagram : public ::testing::TestWithParam<DiagramCase> {};

TEST_P(ListedDiagram, IsExactlyTheListedText) {
    const DiagramCase& c = GetParam();
    EXPECT_EQ(ascii_board_with_style(c.position, c.style), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Listed, ListedDiagram,
    ::testing::Values(
        DiagramCase{"initial_discs", Position::initial(), TextStyle::Discs, INITIAL_DISCS},
        DiagramCase{"initial_letters", Position::initial(), TextStyle::Letters, INITIAL_LETTERS},
        DiagramCase{"empty_discs", Position::empty(Color::White), TextStyle::Discs, EMPTY_DIAGRAM},
        DiagramCase{"empty_letters", Position::empty(Color::White), TextStyle::Letters,
                    EMPTY_DIAGRAM},
        DiagramCase{"empty_black_to_move", Position::empty(Color::Black), TextStyle::Discs,
                    EMPTY_DIAGRAM},
        DiagramCase{"white_on_e4_changes_only_rank_4", board("8/8/8/8/4W3/8/8/8"),
                    TextStyle::Letters,
                    "  a b c d e f g h\n"
                    "8 . . . . . . . . 8\n"
                    "7 . . . . . . . . 7\n"
                    "6 . . . . . . . . 6\n"
                    "5 . . . . . . . . 5\n"
                    "4 . . . . W . . . 4\n"
                    "3 . . . . . . . . 3\n"
                    "2 . . . . . . . . 2\n"
                    "1 . . . . . . . . 1\n"
                    "  a b c d e f g h\n"},
        // Corners pin the orientation: a1 bottom left, h8 top right.
        DiagramCase{"corners", board("B6W/8/8/8/8/8/8/W6B"), TextStyle::Discs,
                    "  a b c d e f g h\n"
                    "8 \u25CB . . . . . . \u25CF 8\n"
                    "7 . . . . . . . . 7\n"
                    "6 . . . . . . . . 6\n"
                    "5 . . . . . . . . 5\n"
                    "4 . . . . . . . . 4\n"
                    "3 . . . . . . . . 3\n"
                    "2 . . . . . . . . 2\n"
                    "1 \u25CF . . . . . . \u25CB 1\n"
                    "  a b c d e f g h\n"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// --- layout on many boards -----------------------------------------------------------

// Seeded placements from empty to full, both sides to move.
std::vector<Position> sample_positions() {
    std::mt19937_64 rng(20240611);
    std::vector<Position> out{
        Position::initial(), Position::empty(Color::White),
        board("WWWWWWWW/BBBBBBBB/WWWWWWWW/BBBBBBBB/WWWWWWWW/BBBBBBBB/WWWWWWWW/BBBBBBBB")};
    for (int i = 0; i < 300; ++i) {
        const int white = std::uniform_int_distribution<int>(0, 64)(rng);
        const int black = std::uniform_int_distribution<int>(0, 64 - white)(rng);
        out.push_back(
            samples::random_placement(rng, white, black, i % 2 ? Color::Black : Color::White));
    }
    return out;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
        out.push_back(text.substr(start, nl - start));
    }
    if (start != text.size()) out.push_back(text.substr(start));  // an unterminated last line
    return out;
}

std::size_t code_points(std::string_view utf8) {
    std::size_t n = 0;
    for (const char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// The cells of one board line, split at blanks: label, eight cells, label.
std::vector<std::string> tokens_of(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string t; in >> t;) out.push_back(t);
    return out;
}

class Layout : public ::testing::TestWithParam<TextStyle> {};

TEST_P(Layout, IsTenNewlineTerminatedLinesOf196Characters) {
    const TextStyle style = GetParam();
    for (const Position& p : sample_positions()) {
        const std::string text = ascii_board_with_style(p, style);
        SCOPED_TRACE(text);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        EXPECT_EQ(text.find('\r'), std::string::npos);
        EXPECT_EQ(code_points(text), 196u);
        const std::size_t pieces = static_cast<std::size_t>(popcount(p.occupied()));
        // A disc is three bytes, a letter one.
        EXPECT_EQ(text.size(), 196u + (style == TextStyle::Discs ? 2 * pieces : 0));

        const std::vector<std::string> lines = lines_of(text);
        ASSERT_EQ(lines.size(), 10u);
        EXPECT_EQ(lines.front(), "  a b c d e f g h");
        EXPECT_EQ(lines.back(), "  a b c d e f g h");
        for (int rank = 7; rank >= 0; --rank) {
            const std::string& line = lines[static_cast<std::size_t>(8 - rank)];
            const std::string label(1, static_cast<char>('1' + rank));
            EXPECT_EQ(line.substr(0, 2), label + " ");
            ASSERT_GE(line.size(), 2u);
            EXPECT_EQ(line.substr(line.size() - 2), " " + label)
                << "one blank before the closing label";
            EXPECT_EQ(code_points(line), 19u);
        }
    }
}

TEST_P(Layout, EveryCellShowsItsSquare) {
    const TextStyle style = GetParam();
    const std::string white_cell = style == TextStyle::Discs ? "\u25CF" : "W";
    const std::string black_cell = style == TextStyle::Discs ? "\u25CB" : "B";
    std::vector<Position> positions = sample_positions();
    // Every square alone, in both colours: a mirrored file or rank cannot hide.
    for (int i = 0; i < 64; ++i) {
        for (const Color c : {Color::White, Color::Black}) {
            Position single = Position::empty(Color::White);
            single.set_piece(c, Square::from_index(i));
            positions.push_back(single);
        }
    }
    for (const Position& p : positions) {
        const std::vector<std::string> lines = lines_of(ascii_board_with_style(p, style));
        ASSERT_EQ(lines.size(), 10u);
        for (int rank = 0; rank < 8; ++rank) {
            const std::vector<std::string> cells =
                tokens_of(lines[static_cast<std::size_t>(8 - rank)]);
            ASSERT_EQ(cells.size(), 10u);
            for (int file = 0; file < 8; ++file) {
                const Square s = *Square::from_coords(file, rank);
                const std::optional<Color> piece = p.piece_at(s);
                const std::string expected = !piece                   ? "."
                                             : *piece == Color::White ? white_cell
                                                                      : black_cell;
                EXPECT_EQ(cells[static_cast<std::size_t>(file + 1)], expected)
                    << square_text(s).view();
            }
        }
    }
}

TEST_P(Layout, IgnoresTheSideToMoveAndTheHash) {
    const TextStyle style = GetParam();
    for (Position p : sample_positions()) {
        const std::string before = ascii_board_with_style(p, style);
        p.set_side_to_move(opponent(p.side_to_move));
        EXPECT_EQ(ascii_board_with_style(p, style), before);
    }
}

INSTANTIATE_TEST_SUITE_P(BothStyles, Layout,
                         ::testing::Values(TextStyle::Discs, TextStyle::Letters),
                         [](const auto& param_info) {
                             return std::string(param_info.param == TextStyle::Discs ? "Discs"
                                                                                     : "Letters");
                         });

}  // namespace
}  // namespace tovak::render
