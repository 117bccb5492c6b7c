#include "render/svg_board.h"

#include <cassert>
#include <charconv>
#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <system_error>

#include "core/bitboard.h"

namespace tovak::render {
namespace {

// --- geometry ---------------------------------------------------------------
// User units are pixels. The board is always seen from White's side: file a
// on the left, rank 8 at the top.

constexpr int SQUARE_SIZE = 64;
constexpr int HALF_SQUARE = SQUARE_SIZE / 2;
constexpr int BOARD_SIZE = 8 * SQUARE_SIZE;

struct Point {
    int x;
    int y;
};

constexpr Point top_left_of(int file, int rank) {
    return {SQUARE_SIZE * file, SQUARE_SIZE * (7 - rank)};
}

constexpr Point centre_of(Square s) {
    const Point corner = top_left_of(s.file(), s.rank());
    return {corner.x + HALF_SQUARE, corner.y + HALF_SQUARE};
}

// A pivot's doubled coordinates count half squares from the centre of a1, so
// it is drawn at half-square steps; the y axis runs downwards from rank 8.
// Any int8 pair is accepted: markers off the board are simply not visible.
struct PivotPoint {
    double x;
    double y;
};
constexpr PivotPoint pivot_point(Pivot p) {
    return {HALF_SQUARE * static_cast<double>(p.file_twice) + HALF_SQUARE,
            HALF_SQUARE * static_cast<double>(14 - p.rank_twice) + HALF_SQUARE};
}

static_assert(centre_of(Square::from_index(0)).x == 32 &&
              centre_of(Square::from_index(0)).y == 480);
static_assert(centre_of(Square::from_index(63)).x == 480 &&
              centre_of(Square::from_index(63)).y == 32);
static_assert(pivot_point(Pivot{1, 2}).x == 64.0 && pivot_point(Pivot{1, 2}).y == 416.0);

// --- colours ----------------------------------------------------------------

constexpr std::string_view LIGHT_SQUARE = "#f5e6c8";  // also the background
constexpr std::string_view DARK_SQUARE = "#a06b3b";
constexpr std::string_view WHITE_FILL = "#fffdf7";
constexpr std::string_view WHITE_OUTLINE = "#56452f";
constexpr std::string_view BLACK_FILL = "#1f1f1f";
constexpr std::string_view BLACK_OUTLINE = "#f2eadb";
// The move line and rings ("#d7263d") and the pivot markers ("#118ab2") carry
// their colours inside the element texts below.

// a1 is light: file + rank even.
constexpr std::string_view square_fill(int file, int rank) {
    return (file + rank) % 2 == 0 ? LIGHT_SQUARE : DARK_SQUARE;
}

// --- number formatting --------------------------------------------------------
// std::to_chars: plain ASCII digits, no locale, no allocation.

struct NumberText {
    char chars[32];
    std::size_t length;
    std::string_view view() const { return {chars, length}; }
};

NumberText integer_text(int value) {
    NumberText t{};
    const auto result = std::to_chars(t.chars, t.chars + sizeof t.chars, value);
    assert(result.ec == std::errc{});
    t.length = static_cast<std::size_t>(result.ptr - t.chars);
    return t;
}

// Exactly one digit after the point, as in 256.0.
NumberText one_decimal_text(double value) {
    NumberText t{};
    const auto result =
        std::to_chars(t.chars, t.chars + sizeof t.chars, value, std::chars_format::fixed, 1);
    assert(result.ec == std::errc{});
    t.length = static_cast<std::size_t>(result.ptr - t.chars);
    return t;
}

// --- the document -------------------------------------------------------------
// The layout is written once, as write_svg, and run twice: through a sink that
// only measures, then through one that appends into a string reserved to that
// measure. The text is allocated exactly once whatever the overlay holds.

class MeasuringSink {
  public:
    void text(std::string_view s) { size_ += s.size(); }
    void integer(int v) { size_ += integer_text(v).length; }
    void one_decimal(double v) { size_ += one_decimal_text(v).length; }
    std::size_t size() const { return size_; }

  private:
    std::size_t size_ = 0;
};

class AppendingSink {
  public:
    explicit AppendingSink(std::string& out) : out_(out) {}
    void text(std::string_view s) { out_.append(s); }
    void integer(int v) { out_.append(integer_text(v).view()); }
    void one_decimal(double v) { out_.append(one_decimal_text(v).view()); }

  private:
    std::string& out_;
};

static_assert(BOARD_SIZE == 512 && SQUARE_SIZE == 64,
              "the fixed element texts below spell out these sizes");

template <typename Sink>
void write_svg(Sink& out, const Position& position, const SvgOptions& options) {
    // 1-2. Open tag and background.
    out.text(
        R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 512 512" width="512" height="512">)");
    out.text(R"(<rect width="100%" height="100%" fill="#f5e6c8"/>)");

    // 3. Squares, rank 1 first, each rank from file a.
    for (int rank = 0; rank < 8; ++rank) {
        for (int file = 0; file < 8; ++file) {
            const Point corner = top_left_of(file, rank);
            out.text(R"(<rect x=")");
            out.integer(corner.x);
            out.text(R"(" y=")");
            out.integer(corner.y);
            out.text(R"(" width="64" height="64" fill=")");
            out.text(square_fill(file, rank));
            out.text(R"("/>)");
        }
    }

    // 4-5. The move: a line between the two centres, then a ring on each end,
    // origin first.
    if (options.highlight) {
        const Point from = centre_of(options.highlight->from);
        const Point to = centre_of(options.highlight->to);
        out.text(R"(<line x1=")");
        out.integer(from.x);
        out.text(R"(" y1=")");
        out.integer(from.y);
        out.text(R"(" x2=")");
        out.integer(to.x);
        out.text(R"(" y2=")");
        out.integer(to.y);
        out.text(R"(" stroke="#d7263d" stroke-width="6" stroke-linecap="round" opacity="0.75"/>)");
        for (const Point ring : {from, to}) {
            out.text(R"(<circle cx=")");
            out.integer(ring.x);
            out.text(R"(" cy=")");
            out.integer(ring.y);
            out.text(R"(" r="26" fill="none" stroke="#d7263d" stroke-width="4"/>)");
        }
    }

    // 6. One marker per pivot, repeats included: several pairs supporting one
    // move all share its pivot, and each is drawn.
    for (const Pivot pivot : options.pivots) {
        const PivotPoint at = pivot_point(pivot);
        out.text(R"(<circle cx=")");
        out.one_decimal(at.x);
        out.text(R"(" cy=")");
        out.one_decimal(at.y);
        out.text(R"(" r="8" fill="#118ab2" opacity="0.9"/>)");
    }

    // 7. Pieces last, in ascending square order, so they cover the overlay.
    const Bitboard white = position.white();
    for (Bitboard occupied = position.occupied(); occupied != 0;) {
        const int index = pop_lowest_bit(occupied);
        const bool is_white = (white & bit_of(index)) != 0;
        const Point centre = centre_of(Square::from_index(index));
        out.text(R"(<circle cx=")");
        out.integer(centre.x);
        out.text(R"(" cy=")");
        out.integer(centre.y);
        out.text(R"(" r="20" fill=")");
        out.text(is_white ? WHITE_FILL : BLACK_FILL);
        out.text(R"(" stroke=")");
        out.text(is_white ? WHITE_OUTLINE : BLACK_OUTLINE);
        out.text(R"(" stroke-width="3"/>)");
    }

    // 8. Close.
    out.text("</svg>");
}

}  // namespace

std::string svg_board(const Position& position) {
    return svg_board_with_options(position, SvgOptions{});
}

std::string svg_board_with_options(const Position& position, const SvgOptions& options) {
    MeasuringSink measure;
    write_svg(measure, position, options);

    std::string out;
    out.reserve(measure.size());
    AppendingSink append(out);
    write_svg(append, position, options);
    assert(out.size() == measure.size());
    return out;
}

std::string svg_for_move_for_color(const Position& position, Color color, Move mv) {
    SvgOptions options{mv, {}};
    const std::vector<SupportingPivot> supports = position.supporting_pivots(color, mv);
    options.pivots.reserve(supports.size());
    for (const SupportingPivot& s : supports) options.pivots.push_back(s.pivot);
    return svg_board_with_options(position, options);
}

std::string svg_for_move(const Position& position, Move mv) {
    return svg_for_move_for_color(position, position.side_to_move, mv);
}

}  // namespace tovak::render
