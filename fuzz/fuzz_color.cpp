// Colour parser: exactly "w", "white", "b", "black" after folding A-Z, and
// nothing else (in particular no byte outside ASCII ever matches); a colour's
// name parses back to it.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/color.h"
#include "fuzz_check.h"

using namespace tovak;

namespace {

std::optional<Color> expected_color(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (folded == "w" || folded == "white") return Color::White;
    if (folded == "b" || folded == "black") return Color::Black;
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = parse_color(text);
    FUZZ_CHECK(parsed == expected_color(text));
    if (parsed) {
        for (const char c : text) FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
        FUZZ_CHECK(parse_color(color_name(*parsed)) == parsed);
        FUZZ_CHECK(opponent(opponent(*parsed)) == *parsed);
        FUZZ_CHECK(opponent(*parsed) != *parsed);
    }
    return 0;
}
