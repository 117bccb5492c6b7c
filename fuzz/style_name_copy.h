#pragma once
// A copy of the binding's style-name rule for ascii_board (the binding's own
// function lives next to Python.h, which the fuzz build does not use): fold
// A-Z only, then compare whole names byte for byte. Kept in the binding's
// shape (a fixed buffer sized by the longest name) so that the fuzzer
// exercises the same length handling.

#include <optional>
#include <string_view>

#include "core/ascii.h"
#include "render/text_board.h"

namespace tovak::fuzz {

inline std::optional<render::TextStyle> parse_style_name_copy(std::string_view text) {
    constexpr std::size_t LONGEST = 7;  // "circles", "letters", "unicode"
    if (text.size() > LONGEST) return std::nullopt;
    char folded[LONGEST];
    for (std::size_t i = 0; i < text.size(); ++i) folded[i] = ascii_lower(text[i]);
    const std::string_view name(folded, text.size());
    for (const std::string_view discs : {"discs", "disc", "circles", "circle", "unicode"})
        if (name == discs) return render::TextStyle::Discs;
    for (const std::string_view letters : {"letters", "ascii"})
        if (name == letters) return render::TextStyle::Letters;
    return std::nullopt;
}

}  // namespace tovak::fuzz
