// Square, move and colour notation: the listed texts with their exact results,
// round trips over every square and move, and random texts against the
// literal parsers.

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/color.h"
#include "core/move.h"
#include "core/square.h"
#include "core_reference_support.h"

namespace tovak {
namespace {

using namespace std::string_view_literals;

// --- from_coords ----------------------------------------------------------------

struct CoordsCase {
    int file;
    int rank;
    std::optional<int> index;
};

class FromCoords : public ::testing::TestWithParam<CoordsCase> {};

TEST_P(FromCoords, GivesTheSquareOnlyInsideTheBoard) {
    const CoordsCase& c = GetParam();
    const std::optional<Square> s = Square::from_coords(c.file, c.rank);
    ASSERT_EQ(s.has_value(), c.index.has_value());
    if (s) {
        EXPECT_EQ(s->index, *c.index);
    }
}

INSTANTIATE_TEST_SUITE_P(Listed, FromCoords,
                         ::testing::Values(CoordsCase{0, 0, 0}, CoordsCase{7, 7, 63},
                                           CoordsCase{4, 3, 28}, CoordsCase{7, 0, 7},
                                           CoordsCase{0, 7, 56}, CoordsCase{8, 0, {}},
                                           CoordsCase{0, 8, {}}, CoordsCase{-1, 3, {}},
                                           CoordsCase{3, -1, {}}, CoordsCase{127, 0, {}},
                                           CoordsCase{-128, -128, {}}));

TEST(FromCoords, AgreesWithTheReferenceOverEveryByteValue) {
    for (int file = -128; file <= 127; ++file) {
        for (int rank = -128; rank <= 127; ++rank) {
            const std::optional<Square> fast = Square::from_coords(file, rank);
            const std::optional<Square> slow = reference::square_at(file, rank);
            ASSERT_EQ(fast, slow) << file << "," << rank;
            if (fast) {
                EXPECT_EQ(fast->file(), file);
                EXPECT_EQ(fast->rank(), rank);
            }
        }
    }
}

// --- squares --------------------------------------------------------------------

struct SquareCase {
    std::string_view text;
    std::optional<int> index;  // none: "invalid square"
};

class SquareParsing : public ::testing::TestWithParam<SquareCase> {};

TEST_P(SquareParsing, GivesTheListedSquareOrError) {
    const SquareCase& c = GetParam();
    const std::optional<Square> s = parse_square(c.text);
    ASSERT_EQ(s.has_value(), c.index.has_value()) << '"' << c.text << '"';
    if (s) {
        EXPECT_EQ(s->index, *c.index);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Listed, SquareParsing,
    ::testing::Values(SquareCase{"a1", 0}, SquareCase{"h1", 7}, SquareCase{"a2", 8},
                      SquareCase{"e4", 28}, SquareCase{"E4", 28}, SquareCase{"a8", 56},
                      SquareCase{"h8", 63}, SquareCase{"H8", 63}, SquareCase{"e9", {}},
                      SquareCase{"i4", {}}, SquareCase{"I4", {}}, SquareCase{"e0", {}},
                      SquareCase{"e", {}}, SquareCase{"e44", {}}, SquareCase{" e4", {}},
                      SquareCase{"e4 ", {}}, SquareCase{"", {}}, SquareCase{"4e", {}},
                      SquareCase{"ee", {}}, SquareCase{"`4", {}}, SquareCase{"@4", {}},
                      // Lengths are in bytes: a two-character text with a
                      // non-ASCII letter is three bytes long.
                      SquareCase{"\xc3\xa9\x34", {}},  // e-acute, 4
                      SquareCase{"\xc3\xa9", {}},
                      // Full-width digit four, and an embedded NUL.
                      SquareCase{"e\xef\xbc\x94", {}}, SquareCase{"e4\0"sv, {}},
                      SquareCase{"\x00\x34"sv, {}}));

TEST(SquareText, EverySquareRoundTripsInBothCases) {
    for (int i = 0; i < 64; ++i) {
        const Square s = Square::from_index(i);
        const std::string text = to_string(s);
        ASSERT_EQ(text.size(), 2u);
        EXPECT_EQ(text, square_text(s).view());
        EXPECT_EQ(text[0], 'a' + i % 8);
        EXPECT_EQ(text[1], '1' + i / 8);
        EXPECT_EQ(parse_square(text), s);
        std::string upper = text;
        upper[0] = static_cast<char>(upper[0] - 'a' + 'A');
        EXPECT_EQ(parse_square(upper), s);
    }
    EXPECT_EQ(to_string(Square::from_index(0)), "a1");
    EXPECT_EQ(to_string(Square::from_index(28)), "e4");
    EXPECT_EQ(to_string(Square::from_index(63)), "h8");
    EXPECT_EQ(message(ParseSquareError::Invalid), "invalid square");
}

// --- moves ----------------------------------------------------------------------

struct MoveCase {
    std::string_view text;
    std::optional<Move> move;
    std::optional<ParseMoveError> error;
};
constexpr Move mv(int from, int to) {
    return Move{Square::from_index(from), Square::from_index(to)};
}
MoveCase parses(std::string_view text, Move m) { return {text, m, std::nullopt}; }
MoveCase fails(std::string_view text, ParseMoveError e) { return {text, std::nullopt, e}; }
constexpr ParseMoveError FORMAT = ParseMoveError::InvalidFormat;
constexpr ParseMoveError SQUARE = ParseMoveError::InvalidSquare;

class MoveParsing : public ::testing::TestWithParam<MoveCase> {};

TEST_P(MoveParsing, GivesTheListedMoveOrError) {
    const MoveCase& c = GetParam();
    const Expected<Move, ParseMoveError> result = parse_move(c.text);
    ASSERT_EQ(result.has_value(), c.move.has_value()) << '"' << c.text << '"';
    if (c.move) {
        EXPECT_EQ(*result, *c.move);
    } else {
        EXPECT_EQ(result.error(), *c.error) << '"' << c.text << '"';
    }
}

INSTANTIATE_TEST_SUITE_P(
    Listed, MoveParsing,
    ::testing::Values(
        parses("e2-e4", mv(12, 28)), parses("E2-e4", mv(12, 28)), parses("E2-E4", mv(12, 28)),
        parses("e2-E4", mv(12, 28)), parses("e2-e2", mv(12, 12)), parses("h8-a1", mv(63, 0)),
        parses("a1-a1", mv(0, 0)),
        // The first part is tested before the missing "-".
        fails("e2e4", SQUARE), fails("e2", FORMAT), fails("zz", SQUARE), fails("", SQUARE),
        // Empty parts are parts.
        fails("e2-", SQUARE), fails("-e4", SQUARE), fails("-", SQUARE), fails("a1--b2", SQUARE),
        fails("e2 -e4", SQUARE), fails("e2- e4", SQUARE), fails("e2-e4 ", SQUARE),
        // Both squares are tested before the third part, whose content is never read.
        fails("e2-e4-", FORMAT), fails("e2-e4-e5", FORMAT), fails("e2-e4-zz", FORMAT),
        fails("e2-e4--", FORMAT), fails("e2-z9-a1", SQUARE), fails("z9-e4-a1", SQUARE),
        // An en dash is not a "-".
        fails("e2\xe2\x80\x93\x65\x34", SQUARE),  // e2, en dash, e4
        fails("e2-e4\0"sv, SQUARE)));

TEST(MoveText, EveryMoveRoundTrips) {
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            const Move m = mv(from, to);
            const std::string text = to_string(m);
            ASSERT_EQ(text, move_text(m).view());
            ASSERT_EQ(text, to_string(m.from) + "-" + to_string(m.to));
            const Expected<Move, ParseMoveError> back = parse_move(text);
            ASSERT_TRUE(back.has_value()) << text;
            ASSERT_EQ(*back, m);
            ASSERT_EQ(dense_index(m), from * 64 + to);
        }
    }
    EXPECT_EQ(to_string(mv(12, 28)), "e2-e4");
    EXPECT_EQ(message(ParseMoveError::InvalidFormat), "invalid move format");
    EXPECT_EQ(message(ParseMoveError::InvalidSquare), "invalid square in move");
    EXPECT_EQ(static_cast<int>(ParseMoveError::InvalidFormat), 0);
    EXPECT_EQ(static_cast<int>(ParseMoveError::InvalidSquare), 1);
}

// --- colours --------------------------------------------------------------------

struct ColorCase {
    std::string_view text;
    std::optional<Color> color;
};

class ColorParsing : public ::testing::TestWithParam<ColorCase> {};

TEST_P(ColorParsing, FoldsAsciiCapitalsOnly) {
    const ColorCase& c = GetParam();
    EXPECT_EQ(parse_color(c.text), c.color) << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Listed, ColorParsing,
    ::testing::Values(ColorCase{"w", Color::White}, ColorCase{"W", Color::White},
                      ColorCase{"white", Color::White}, ColorCase{"WHITE", Color::White},
                      ColorCase{"wHiTe", Color::White}, ColorCase{"b", Color::Black},
                      ColorCase{"B", Color::Black}, ColorCase{"black", Color::Black},
                      ColorCase{"BLACK", Color::Black}, ColorCase{"Black", Color::Black},
                      ColorCase{"", {}}, ColorCase{" white", {}}, ColorCase{"white ", {}},
                      ColorCase{"whites", {}}, ColorCase{"wh", {}}, ColorCase{"bl", {}},
                      ColorCase{"x", {}}, ColorCase{"blackwhite", {}}, ColorCase{"white\0"sv, {}},
                      ColorCase{"\0"sv, {}},
                      // KELVIN SIGN lower-cases to k in Unicode; capital I
                      // with dot above lower-cases to an i.
                      ColorCase{"blac\xe2\x84\xaa", {}}, ColorCase{"BLAC\xe2\x84\xaa", {}},
                      ColorCase{"wh\xc4\xb0te", {}}, ColorCase{"\xef\xbd\x97", {}}));

TEST(ColorParsing, NamesRoundTrip) {
    for (Color c : {Color::White, Color::Black}) {
        EXPECT_EQ(parse_color(color_name(c)), c);
        EXPECT_EQ(opponent(opponent(c)), c);
        EXPECT_NE(opponent(c), c);
    }
    EXPECT_EQ(color_name(Color::White), "white");
    EXPECT_EQ(color_name(Color::Black), "black");
    EXPECT_EQ(index_of(Color::White), 0);
    EXPECT_EQ(index_of(Color::Black), 1);
}

// --- random texts against the literal parsers --------------------------------------

// Texts built from fragments that sit near the edges of the grammar.
std::string random_text(std::mt19937_64& rng, const std::vector<std::string_view>& fragments,
                        int max_fragments) {
    std::string text;
    const int n = std::uniform_int_distribution<int>(0, max_fragments)(rng);
    for (int i = 0; i < n; ++i)
        text += fragments[std::uniform_int_distribution<std::size_t>(0, fragments.size() - 1)(rng)];
    return text;
}

TEST(NotationFuzz, ParsersAgreeWithTheReferenceOnRandomTexts) {
    const std::vector<std::string_view> letters = {"a", "h", "e", "i", "A",        "H",
                                                   "I", "Z", "`", "@", "1",        "8",
                                                   "0", "9", "-", " ", "\xc3\xa9", "\0"sv};
    const std::vector<std::string_view> tokens = {
        "e2", "A8", "h1", "H1", "c5", "i4", "e9", "-", "-", "-", "e", "4", " ", "\xc3\xa9", "\0"sv};
    const std::vector<std::string_view> names = {"w", "W", "h",     "i",     "t",
                                                 "e", "b", "B",     "l",     "a",
                                                 "c", "k", "white", "black", "\xe2\x84\xaa",
                                                 " "};
    std::mt19937_64 rng(0x5eed0001);
    int squares_accepted = 0, moves_accepted = 0, colours_accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string square_text = random_text(rng, letters, 3);
        const std::optional<Square> square = parse_square(square_text);
        ASSERT_EQ(square, reference::parse_square(square_text)) << '"' << square_text << '"';
        squares_accepted += square.has_value();

        const std::string move_text = random_text(rng, tokens, 5);
        const Expected<Move, ParseMoveError> fast = parse_move(move_text);
        const Expected<Move, ParseMoveError> slow = reference::parse_move(move_text);
        ASSERT_EQ(fast.has_value(), slow.has_value()) << '"' << move_text << '"';
        if (fast) {
            ASSERT_EQ(*fast, *slow) << '"' << move_text << '"';
            ++moves_accepted;
        } else {
            ASSERT_EQ(fast.error(), slow.error()) << '"' << move_text << '"';
        }

        const std::string name = random_text(rng, names, 3);
        const std::optional<Color> colour = parse_color(name);
        ASSERT_EQ(colour, reference::parse_color(name)) << '"' << name << '"';
        colours_accepted += colour.has_value();
    }
    // The fragments must reach the accepting paths too, or the comparison proves little.
    EXPECT_GT(squares_accepted, 100);
    EXPECT_GT(moves_accepted, 50);
    EXPECT_GT(colours_accepted, 100);
}

}  // namespace
}  // namespace tovak
