#pragma once
// The style names of ascii_board. Kept free of Python.h so that the fuzz
// build, which has no interpreter, exercises this very function.

#include <cstddef>
#include <optional>
#include <string_view>

#include "core/ascii.h"
#include "render/text_board.h"

namespace tovak::py {

// A style name with A-Z folded and nothing else changed, compared whole:
// the aliases map onto the two styles, anything else is refused. The folded
// copy lives in a buffer sized by the longest name; longer texts match nothing.
inline std::optional<render::TextStyle> parse_style_name(std::string_view text) {
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

}  // namespace tovak::py
