#pragma once
// A board square, index = file + 8 * rank (a1 = 0, h1 = 7, a8 = 56, h8 = 63).
// A Square always holds a valid index: every way of making one checks it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tovak {

struct Square {
    std::uint8_t index = 0;

    static constexpr std::optional<Square> from_coords(int file, int rank) {
        if (file < 0 || file > 7 || rank < 0 || rank > 7) return std::nullopt;
        return Square::from_index(file + 8 * rank);
    }
    // Caller guarantees 0 <= i < 64 (iterating an occupancy set, loops over 0..63).
    static constexpr Square from_index(int i) { return Square{static_cast<std::uint8_t>(i)}; }

    constexpr int file() const { return index & 7; }
    constexpr int rank() const { return index >> 3; }

    friend constexpr bool operator==(Square, Square) = default;
};

// Two characters: file letter then rank digit, as in e4.
struct SquareText {
    char chars[2];
    constexpr std::string_view view() const { return {chars, 2}; }
};
constexpr SquareText square_text(Square s) {
    return SquareText{{static_cast<char>('a' + s.file()), static_cast<char>('1' + s.rank())}};
}
std::string to_string(Square s);

enum class ParseSquareError : std::uint8_t { Invalid };
constexpr std::string_view message(ParseSquareError) { return "invalid square"; }

// Exactly two bytes: a file letter (A-H folded to a-h) and a rank digit 1-8.
std::optional<Square> parse_square(std::string_view text);

}  // namespace tovak
