#include "core/square.h"

#include "core/ascii.h"

namespace tovak {

std::string to_string(Square s) { return std::string(square_text(s).view()); }

std::optional<Square> parse_square(std::string_view text) {
    if (text.size() != 2) return std::nullopt;
    const char file = ascii_lower(text[0]);
    const char rank = text[1];
    if (file < 'a' || file > 'h' || rank < '1' || rank > '8') return std::nullopt;
    return Square::from_coords(file - 'a', rank - '1');
}

}  // namespace tovak
