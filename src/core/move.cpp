#include "core/move.h"

namespace tovak {

std::string to_string(Move m) { return std::string(move_text(m).view()); }

Expected<Move, ParseMoveError> parse_move(std::string_view text) {
    const std::size_t first_dash = text.find('-');
    const auto from = parse_square(text.substr(0, first_dash));
    if (!from) return ParseMoveError::InvalidSquare;
    if (first_dash == std::string_view::npos) return ParseMoveError::InvalidFormat;
    const std::string_view rest = text.substr(first_dash + 1);
    const std::size_t second_dash = rest.find('-');
    const auto to = parse_square(rest.substr(0, second_dash));
    if (!to) return ParseMoveError::InvalidSquare;
    if (second_dash != std::string_view::npos) return ParseMoveError::InvalidFormat;
    return Move{*from, *to};
}

}  // namespace tovak
