// Move parser: checked against the rule written out step by step (split at
// every "-", first square, a second part, second square, no third part), and
// a parsed move's text parses back to the same move.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/move.h"
#include "fuzz_check.h"

using namespace tovak;

namespace {

std::vector<std::string_view> split_at_dashes(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '-') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

Expected<Move, ParseMoveError> expected_move(std::string_view text) {
    const std::vector<std::string_view> parts = split_at_dashes(text);
    const auto from = parse_square(parts[0]);
    if (!from) return ParseMoveError::InvalidSquare;
    if (parts.size() < 2) return ParseMoveError::InvalidFormat;
    const auto to = parse_square(parts[1]);
    if (!to) return ParseMoveError::InvalidSquare;
    if (parts.size() > 2) return ParseMoveError::InvalidFormat;
    return Move{*from, *to};
}

void check_round_trip(Move m) {
    const std::string canonical = to_string(m);
    FUZZ_CHECK(canonical.size() == 5 && canonical[2] == '-');
    FUZZ_CHECK(canonical == move_text(m).view());
    const auto again = parse_move(canonical);
    FUZZ_CHECK(again.has_value() && *again == m);
    FUZZ_CHECK(dense_index(m) >= 0 && dense_index(m) < 4096);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = parse_move(text);
    const auto expected = expected_move(text);
    FUZZ_CHECK(parsed.has_value() == expected.has_value());
    if (parsed) {
        FUZZ_CHECK(*parsed == *expected);
        check_round_trip(*parsed);
    } else {
        FUZZ_CHECK(parsed.error() == expected.error());
        const std::string_view msg = message(parsed.error());
        FUZZ_CHECK(msg == "invalid move format" || msg == "invalid square in move");
    }
    // Every move, whatever its squares, survives the trip through its text.
    if (size >= 2) check_round_trip(Move{Square::from_index(data[0] & 63), Square::from_index(data[1] & 63)});
    return 0;
}
