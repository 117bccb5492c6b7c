// SVG pictures: the listed pictures and overlays exactly, every square, disc
// and marker where the geometry puts it, the element order and document shape
// on many boards, and a single allocation for the text.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/bitboard.h"
#include "core_printing_support.h"
#include "render/svg_board.h"
#include "core_positions_support.h"
#include "render_cases_support.h"
#include "render_svg_support.h"

namespace tovak::render {
namespace {

using render_test::board;
using render_test::move;
using render_test::svg_elements;

constexpr std::string_view OPEN_TAG =
    R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 512 512" width="512" height="512">)";
constexpr std::string_view BACKGROUND = R"(<rect width="100%" height="100%" fill="#f5e6c8"/>)";
constexpr std::size_t BOARD_ELEMENTS = 2 + 64;  // open tag, background, squares

std::string line_text(int x1, int y1, int x2, int y2) {
    return "<line x1=\"" + std::to_string(x1) + "\" y1=\"" + std::to_string(y1) + "\" x2=\"" +
           std::to_string(x2) + "\" y2=\"" + std::to_string(y2) +
           R"(" stroke="#d7263d" stroke-width="6" stroke-linecap="round" opacity="0.75"/>)";
}
std::string ring_text(int cx, int cy) {
    return "<circle cx=\"" + std::to_string(cx) + "\" cy=\"" + std::to_string(cy) +
           R"(" r="26" fill="none" stroke="#d7263d" stroke-width="4"/>)";
}
std::string marker_text(std::string_view px, std::string_view py) {
    return "<circle cx=\"" + std::string(px) + "\" cy=\"" + std::string(py) +
           R"(" r="8" fill="#118ab2" opacity="0.9"/>)";
}

std::vector<std::string> as_strings(const std::vector<std::string_view>& views) {
    return {views.begin(), views.end()};
}

// --- the listed pictures ---------------------------------------------------------------

TEST(ListedPicture, InitialBoardHas99ElementsAnd6630Characters) {
    const std::string svg = svg_board(Position::initial());
    EXPECT_EQ(svg.size(), 6630u);
    const auto elements = svg_elements(svg);
    ASSERT_EQ(elements.size(), 99u);
    EXPECT_EQ(elements[0], OPEN_TAG);
    EXPECT_EQ(elements[1], BACKGROUND);
    EXPECT_EQ(elements[2], R"(<rect x="0" y="448" width="64" height="64" fill="#f5e6c8"/>)");
    EXPECT_EQ(elements[3], R"(<rect x="64" y="448" width="64" height="64" fill="#a06b3b"/>)");
    EXPECT_EQ(
        elements[66],
        R"(<circle cx="32" cy="480" r="20" fill="#fffdf7" stroke="#56452f" stroke-width="3"/>)");
    EXPECT_EQ(
        elements[97],
        R"(<circle cx="480" cy="32" r="20" fill="#1f1f1f" stroke="#f2eadb" stroke-width="3"/>)");
    EXPECT_EQ(elements[98], "</svg>");
}

TEST(ListedPicture, EmptyBoardIsTheSquaresOnlyIn3998Characters) {
    for (const Color side : {Color::White, Color::Black}) {
        const std::string svg = svg_board(Position::empty(side));
        EXPECT_EQ(svg.size(), 3998u);
        const auto elements = svg_elements(svg);
        ASSERT_EQ(elements.size(), BOARD_ELEMENTS + 1);
        for (std::size_t i = 2; i < BOARD_ELEMENTS; ++i)
            EXPECT_EQ(render_test::element_name(elements[i]), "rect");
        EXPECT_EQ(elements.back(), "</svg>");
    }
}

// --- move overlays ---------------------------------------------------------------------

struct OverlayCase {
    std::string_view name;
    Position position;
    std::optional<Color> color;  // none: svg_for_move, for the side to move
    std::string_view move;
    std::vector<std::string> overlay;  // everything between the squares and the pieces
};

void PrintTo(const OverlayCase& c, std::ostream* os) { *os << c.name; }

class Overlay : public ::testing::TestWithParam<OverlayCase> {};

TEST_P(Overlay, SitsBetweenTheSquaresAndThePieces) {
    const OverlayCase& c = GetParam();
    const Move mv = move(c.move);
    const std::string svg =
        c.color ? svg_for_move_for_color(c.position, *c.color, mv) : svg_for_move(c.position, mv);
    const std::string bare = svg_board(c.position);
    const auto elements = svg_elements(svg);
    const auto bare_elements = svg_elements(bare);
    ASSERT_EQ(elements.size(), bare_elements.size() + c.overlay.size());

    const auto overlay_begin = elements.begin() + BOARD_ELEMENTS;
    const auto overlay_end = overlay_begin + static_cast<std::ptrdiff_t>(c.overlay.size());
    EXPECT_EQ(as_strings({overlay_begin, overlay_end}), c.overlay);
    // The board is never turned: squares before, pieces after, as on the bare board.
    EXPECT_EQ(as_strings({elements.begin(), overlay_begin}),
              as_strings({bare_elements.begin(), bare_elements.begin() + BOARD_ELEMENTS}));
    EXPECT_EQ(as_strings({overlay_end, elements.end()}),
              as_strings({bare_elements.begin() + BOARD_ELEMENTS, bare_elements.end()}));
}

Position initial_black_to_move() {
    Position p = Position::initial();
    p.set_side_to_move(Color::Black);
    return p;
}

INSTANTIATE_TEST_SUITE_P(
    Listed, Overlay,
    ::testing::Values(
        // Pivot (1, 2) of a2 and b2 is the edge midpoint between them.
        OverlayCase{"a1_b3_one_marker_on_an_edge",
                    Position::initial(),
                    {},
                    "a1-b3",
                    {line_text(32, 480, 96, 352), ring_text(32, 480), ring_text(96, 352),
                     marker_text("64.0", "416.0")}},
        // a2+g2, b2+f2, c2+e2 all meet at d2: one marker each.
        OverlayCase{"d1_d3_three_markers",
                    Position::initial(),
                    {},
                    "d1-d3",
                    {line_text(224, 480, 224, 352), ring_text(224, 480), ring_text(224, 352),
                     marker_text("224.0", "416.0"), marker_text("224.0", "416.0"),
                     marker_text("224.0", "416.0")}},
        OverlayCase{"illegal_e2_e4_is_drawn_without_markers",
                    Position::initial(),
                    {},
                    "e2-e4",
                    {line_text(288, 416, 288, 288), ring_text(288, 416), ring_text(288, 288)}},
        OverlayCase{"equal_squares_are_drawn",
                    Position::initial(),
                    {},
                    "a1-a1",
                    {line_text(32, 480, 32, 480), ring_text(32, 480), ring_text(32, 480)}},
        OverlayCase{"empty_squares_are_drawn",
                    Position::empty(Color::White),
                    {},
                    "h8-a1",
                    {line_text(480, 32, 32, 480), ring_text(480, 32), ring_text(32, 480)}},
        // The pivots come from the side to move, whatever stands on the move's squares.
        OverlayCase{"black_to_move_uses_black_pairs",
                    initial_black_to_move(),
                    {},
                    "d8-d6",
                    {line_text(224, 32, 224, 160), ring_text(224, 32), ring_text(224, 160),
                     marker_text("224.0", "96.0"), marker_text("224.0", "96.0"),
                     marker_text("224.0", "96.0")}},
        OverlayCase{"black_to_move_ignores_white_pairs",
                    initial_black_to_move(),
                    {},
                    "d1-d3",
                    {line_text(224, 480, 224, 352), ring_text(224, 480), ring_text(224, 352)}},
        OverlayCase{"explicit_colour_overrides_the_side_to_move",
                    Position::initial(),
                    Color::Black,
                    "d8-d6",
                    {line_text(224, 32, 224, 160), ring_text(224, 32), ring_text(224, 160),
                     marker_text("224.0", "96.0"), marker_text("224.0", "96.0"),
                     marker_text("224.0", "96.0")}},
        OverlayCase{"explicit_colour_without_pairs",
                    Position::initial(),
                    Color::Black,
                    "a1-b3",
                    {line_text(32, 480, 96, 352), ring_text(32, 480), ring_text(96, 352)}},
        // b2 and c3 meet at the corner that b2, c2, b3 and c3 share.
        OverlayCase{"corner_pivot",
                    board("8/8/8/8/8/2W5/1W6/W7"),
                    {},
                    "a1-d4",
                    {line_text(32, 480, 224, 288), ring_text(32, 480), ring_text(224, 288),
                     marker_text("128.0", "384.0")}}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

TEST(Overlay, ForMoveUsesTheSideToMove) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 200; ++i) {
        const Position p =
            samples::random_placement(rng, 12, 12, i % 2 ? Color::Black : Color::White);
        const Move mv{Square::from_index(static_cast<int>(rng() % 64)),
                      Square::from_index(static_cast<int>(rng() % 64))};
        EXPECT_EQ(svg_for_move(p, mv), svg_for_move_for_color(p, p.side_to_move, mv));
        SvgOptions options{mv, {}};
        for (const SupportingPivot& s : p.supporting_pivots(p.side_to_move, mv))
            options.pivots.push_back(s.pivot);
        EXPECT_EQ(svg_for_move(p, mv), svg_board_with_options(p, options));
    }
}

TEST(Overlay, MarkersFollowTheListOrderAndRepeat) {
    const SvgOptions options{std::nullopt, {Pivot{14, 0}, Pivot{0, 14}, Pivot{14, 0}, Pivot{7, 7}}};
    EXPECT_EQ(
        as_strings(render_test::circles_with_radius(
            svg_board_with_options(Position::initial(), options), "8")),
        (std::vector<std::string>{marker_text("480.0", "480.0"), marker_text("32.0", "32.0"),
                                  marker_text("480.0", "480.0"), marker_text("256.0", "256.0")}));
}

// --- geometry, one element at a time -------------------------------------------------------

struct SquareCase {
    std::string_view square;
    int x;
    int y;
    std::string_view fill;
};

class SquareTile : public ::testing::TestWithParam<SquareCase> {};

TEST_P(SquareTile, HasItsPlaceAndShade) {
    const SquareCase& c = GetParam();
    const Square s = *parse_square(c.square);
    const std::string svg = svg_board(Position::empty(Color::White));
    const auto elements = svg_elements(svg);
    ASSERT_EQ(elements.size(), BOARD_ELEMENTS + 1);
    // Tiles are drawn in square order, a1 first.
    const std::string expected = "<rect x=\"" + std::to_string(c.x) + "\" y=\"" +
                                 std::to_string(c.y) + "\" width=\"64\" height=\"64\" fill=\"" +
                                 std::string(c.fill) + "\"/>";
    EXPECT_EQ(elements[2 + s.index], expected);
}

constexpr std::string_view LIGHT = "#f5e6c8";
constexpr std::string_view DARK = "#a06b3b";

INSTANTIATE_TEST_SUITE_P(
    Named, SquareTile,
    ::testing::Values(SquareCase{"a1", 0, 448, LIGHT}, SquareCase{"b1", 64, 448, DARK},
                      SquareCase{"c1", 128, 448, LIGHT}, SquareCase{"h1", 448, 448, DARK},
                      SquareCase{"a2", 0, 384, DARK}, SquareCase{"b2", 64, 384, LIGHT},
                      SquareCase{"e4", 256, 256, DARK}, SquareCase{"d4", 192, 256, LIGHT},
                      SquareCase{"a8", 0, 0, DARK}, SquareCase{"g8", 384, 0, DARK},
                      SquareCase{"h8", 448, 0, LIGHT}),
    [](const auto& param_info) { return std::string(param_info.param.square); });

struct DiscCase {
    std::string_view square;
    Color color;
    std::string_view element;
};

class Disc : public ::testing::TestWithParam<DiscCase> {};

TEST_P(Disc, SitsOnTheSquareCentreInItsSidesColours) {
    const DiscCase& c = GetParam();
    Position p = Position::empty(Color::White);
    p.set_piece(c.color, *parse_square(c.square));
    const std::string svg = svg_board(p);
    const auto elements = svg_elements(svg);
    ASSERT_EQ(elements.size(), BOARD_ELEMENTS + 2);
    EXPECT_EQ(elements[BOARD_ELEMENTS], c.element);
}

INSTANTIATE_TEST_SUITE_P(
    Named, Disc,
    ::testing::Values(
        DiscCase{
            "a1", Color::White,
            R"(<circle cx="32" cy="480" r="20" fill="#fffdf7" stroke="#56452f" stroke-width="3"/>)"},
        DiscCase{
            "a1", Color::Black,
            R"(<circle cx="32" cy="480" r="20" fill="#1f1f1f" stroke="#f2eadb" stroke-width="3"/>)"},
        DiscCase{
            "h1", Color::White,
            R"(<circle cx="480" cy="480" r="20" fill="#fffdf7" stroke="#56452f" stroke-width="3"/>)"},
        DiscCase{
            "a8", Color::Black,
            R"(<circle cx="32" cy="32" r="20" fill="#1f1f1f" stroke="#f2eadb" stroke-width="3"/>)"},
        DiscCase{
            "e4", Color::White,
            R"(<circle cx="288" cy="288" r="20" fill="#fffdf7" stroke="#56452f" stroke-width="3"/>)"},
        DiscCase{
            "d5", Color::Black,
            R"(<circle cx="224" cy="224" r="20" fill="#1f1f1f" stroke="#f2eadb" stroke-width="3"/>)"}),
    [](const auto& param_info) {
        return std::string(param_info.param.square) +
               (param_info.param.color == Color::White ? "_white" : "_black");
    });

struct MarkerCase {
    std::string_view name;
    Pivot pivot;
    std::string_view px;
    std::string_view py;
};

void PrintTo(const MarkerCase& c, std::ostream* os) { *os << c.name; }

class Marker : public ::testing::TestWithParam<MarkerCase> {};

TEST_P(Marker, SitsAtThePivotWithOneDecimal) {
    const MarkerCase& c = GetParam();
    const std::string svg =
        svg_board_with_options(Position::empty(Color::White), SvgOptions{std::nullopt, {c.pivot}});
    const auto markers = render_test::circles_with_radius(svg, "8");
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0], marker_text(c.px, c.py));
}

// Pivots need not come from two squares: anything a caller puts in the list is
// drawn where the same rule places it, off the board included.
INSTANTIATE_TEST_SUITE_P(
    Listed, Marker,
    ::testing::Values(MarkerCase{"a1_centre", Pivot{0, 0}, "32.0", "480.0"},
                      MarkerCase{"h8_centre", Pivot{14, 14}, "480.0", "32.0"},
                      MarkerCase{"board_centre", Pivot{7, 7}, "256.0", "256.0"},
                      MarkerCase{"edge_of_a2_b2", Pivot{1, 2}, "64.0", "416.0"},
                      MarkerCase{"d2_centre", Pivot{6, 2}, "224.0", "416.0"},
                      MarkerCase{"outer_corner", Pivot{-1, 15}, "0.0", "0.0"},
                      MarkerCase{"negative", Pivot{-2, 16}, "-32.0", "-32.0"},
                      MarkerCase{"most_negative", Pivot{-128, 127}, "-4064.0", "-3584.0"},
                      MarkerCase{"largest", Pivot{127, -128}, "4096.0", "4576.0"}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// --- document shape on many boards ------------------------------------------------------------

struct Drawing {
    Position position;
    SvgOptions options;
};

std::vector<Drawing> sample_drawings() {
    std::mt19937_64 rng(424242);
    auto any_square = [&rng] { return Square::from_index(static_cast<int>(rng() % 64)); };
    std::vector<Drawing> out;
    for (int i = 0; i < 300; ++i) {
        const int white = std::uniform_int_distribution<int>(0, 64)(rng);
        const int black = std::uniform_int_distribution<int>(0, 64 - white)(rng);
        Drawing d{samples::random_placement(rng, white, black, Color::White), {}};
        if (i % 3 != 0) d.options.highlight = Move{any_square(), any_square()};
        const int markers = static_cast<int>(rng() % 6);
        for (int k = 0; k < markers; ++k)
            d.options.pivots.push_back(Pivot::between(any_square(), any_square()));
        out.push_back(d);
    }
    return out;
}

TEST(Document, IsOneLineOfElementsInTheFixedOrder) {
    const std::string empty_board = svg_board(Position::empty(Color::White));
    const auto board_elements = svg_elements(empty_board);
    for (const Drawing& d : sample_drawings()) {
        const std::string svg = svg_board_with_options(d.position, d.options);
        EXPECT_EQ(svg.find_first_of("\n\r\t"), std::string::npos);
        const auto elements = svg_elements(svg);  // fails on any text between elements
        const std::size_t overlay = (d.options.highlight ? 3 : 0) + d.options.pivots.size();
        const std::size_t pieces = static_cast<std::size_t>(popcount(d.position.occupied()));
        ASSERT_EQ(elements.size(), BOARD_ELEMENTS + overlay + pieces + 1);
        for (std::size_t i = 0; i < BOARD_ELEMENTS; ++i) EXPECT_EQ(elements[i], board_elements[i]);
        std::size_t at = BOARD_ELEMENTS;
        if (d.options.highlight) {
            EXPECT_EQ(render_test::element_name(elements[at++]), "line");
            EXPECT_EQ(render_test::attribute(elements[at++], "r"), "26");
            EXPECT_EQ(render_test::attribute(elements[at++], "r"), "26");
        }
        for (std::size_t k = 0; k < d.options.pivots.size(); ++k)
            EXPECT_EQ(render_test::attribute(elements[at++], "r"), "8");
        for (std::size_t k = 0; k < pieces; ++k)
            EXPECT_EQ(render_test::attribute(elements[at++], "r"), "20");
        EXPECT_EQ(elements[at], "</svg>");
    }
}

TEST(Document, DiscsReadBackAsTheBoardInSquareOrder) {
    for (const Drawing& d : sample_drawings()) {
        const std::string svg = svg_board_with_options(d.position, d.options);
        const Position drawn = render_test::board_drawn(svg);
        EXPECT_EQ(drawn.white(), d.position.white());
        EXPECT_EQ(drawn.black(), d.position.black());
        // Ascending square order: rank 1 at the bottom first, each rank from the left.
        int previous = -1;
        for (const std::string_view disc : render_test::circles_with_radius(svg, "20")) {
            const int index = (*render_test::int_attribute(disc, "cx") - 32) / 64 +
                              8 * (7 - (*render_test::int_attribute(disc, "cy") - 32) / 64);
            EXPECT_GT(index, previous);
            previous = index;
        }
    }
}

TEST(Document, IgnoresTheSideToMove) {
    for (Drawing d : sample_drawings()) {
        const std::string before = svg_board_with_options(d.position, d.options);
        d.position.set_side_to_move(Color::Black);
        EXPECT_EQ(svg_board_with_options(d.position, d.options), before);
    }
}

// --- allocation ------------------------------------------------------------------------------
// The text is measured first and reserved once. With libstdc++ a reserve from
// the short-string buffer allocates exactly the amount asked for, and any
// later growth at least doubles it, so capacity == size shows both that the
// measure was exact and that no append reallocated.

TEST(Allocation, FullBoardWithMoveAndPivotsIsReservedExactly) {
    const Position full =
        board("BBBBBBBB/BBBBBBBB/BBBBBBBB/BBBBBBBB/WWWWWWWW/WWWWWWWW/WWWWWWWW/WWWWWWWW");
    const Move mv = move("d1-d3");
    SvgOptions options{mv, {}};
    for (const SupportingPivot& s : full.supporting_pivots(Color::White, mv))
        options.pivots.push_back(s.pivot);
    ASSERT_GE(options.pivots.size(), 3u);
    const std::string svg = svg_board_with_options(full, options);
    EXPECT_GT(svg.size(), 6600u);
    EXPECT_EQ(svg.capacity(), svg.size());
    const std::string for_move = svg_for_move(full, mv);
    EXPECT_EQ(for_move, svg);
    EXPECT_EQ(for_move.capacity(), for_move.size());
}

TEST(Allocation, EveryDrawingIsReservedExactly) {
    for (const Drawing& d : sample_drawings()) {
        const std::string svg = svg_board_with_options(d.position, d.options);
        EXPECT_EQ(svg.capacity(), svg.size());
    }
    // Off-board markers have longer, signed coordinates.
    const std::string far = svg_board_with_options(
        Position::initial(), SvgOptions{std::nullopt, {Pivot{-128, -128}, Pivot{127, 127}}});
    EXPECT_EQ(far.capacity(), far.size());
}

}  // namespace
}  // namespace tovak::render
