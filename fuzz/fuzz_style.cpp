// Style names of the text diagram: accepted exactly when the text, with A-Z
// folded and nothing else changed, is one of the seven names; no byte outside
// ASCII ever matches, and every accepted name maps to the right style.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "python/style_names.h"

using namespace tovak;

namespace {

std::optional<render::TextStyle> expected_style(std::string_view text) {
    std::string folded(text);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    if (folded == "discs" || folded == "disc" || folded == "circles" || folded == "circle" || folded == "unicode")
        return render::TextStyle::Discs;
    if (folded == "letters" || folded == "ascii") return render::TextStyle::Letters;
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = py::parse_style_name(text);
    FUZZ_CHECK(parsed == expected_style(text));
    if (parsed) {
        for (const char c : text) FUZZ_CHECK(static_cast<unsigned char>(c) < 0x80);
        FUZZ_CHECK(text.size() >= 4 && text.size() <= 7);
    }
    return 0;
}
