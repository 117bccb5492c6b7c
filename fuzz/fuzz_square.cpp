// Square parser: accepts exactly the two-byte texts of a file letter (A-H
// folded) and a rank digit, and a parsed square's text parses back to it.
// The first eight bytes also drive Square::from_coords with arbitrary ints.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "core/square.h"
#include "fuzz_check.h"

using namespace tovak;

namespace {

std::optional<int> expected_index(std::string_view text) {
    if (text.size() != 2) return std::nullopt;
    char file = text[0];
    if (file >= 'A' && file <= 'Z') file = static_cast<char>(file + ('a' - 'A'));
    const char rank = text[1];
    if (file < 'a' || file > 'h' || rank < '1' || rank > '8') return std::nullopt;
    return (file - 'a') + 8 * (rank - '1');
}

void check_from_coords(const std::uint8_t* data, std::size_t size) {
    if (size < 8) return;
    std::int32_t file = 0;
    std::int32_t rank = 0;
    std::memcpy(&file, data, 4);
    std::memcpy(&rank, data + 4, 4);
    const auto sq = Square::from_coords(file, rank);
    const bool on_board = file >= 0 && file <= 7 && rank >= 0 && rank <= 7;
    FUZZ_CHECK(sq.has_value() == on_board);
    if (sq) FUZZ_CHECK(sq->file() == file && sq->rank() == rank);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = parse_square(text);
    const auto expected = expected_index(text);
    FUZZ_CHECK(parsed.has_value() == expected.has_value());
    if (parsed) {
        FUZZ_CHECK(parsed->index == *expected);
        FUZZ_CHECK(parsed->index < 64);
        const std::string canonical = to_string(*parsed);
        FUZZ_CHECK(canonical == square_text(*parsed).view());
        FUZZ_CHECK(canonical.size() == 2);
        FUZZ_CHECK(canonical[1] == text[1]);
        const auto again = parse_square(canonical);
        FUZZ_CHECK(again.has_value() && *again == *parsed);
        FUZZ_CHECK(Square::from_coords(parsed->file(), parsed->rank()) == parsed);
    }
    check_from_coords(data, size);
    return 0;
}
