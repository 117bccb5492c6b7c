#include "core/color.h"

#include "core/ascii.h"

namespace tovak {

std::optional<Color> parse_color(std::string_view text) {
    if (text.size() > 5) return std::nullopt;
    char folded[5];
    for (std::size_t i = 0; i < text.size(); ++i) folded[i] = ascii_lower(text[i]);
    const std::string_view name(folded, text.size());
    if (name == "w" || name == "white") return Color::White;
    if (name == "b" || name == "black") return Color::Black;
    return std::nullopt;
}

}  // namespace tovak
