#pragma once
// A move is an ordered pair of squares; it says nothing about legality.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/expected.h"
#include "core/square.h"

namespace tovak {

struct Move {
    Square from;
    Square to;
    friend constexpr bool operator==(Move, Move) = default;
};

// Five characters, as in e2-e4.
struct MoveText {
    char chars[5];
    constexpr std::string_view view() const { return {chars, 5}; }
};
constexpr MoveText move_text(Move m) {
    const SquareText f = square_text(m.from);
    const SquareText t = square_text(m.to);
    return MoveText{{f.chars[0], f.chars[1], '-', t.chars[0], t.chars[1]}};
}
std::string to_string(Move m);

// A move's dense index 0..4095 (from * 64 + to), used for shared move texts.
constexpr int dense_index(Move m) { return m.from.index * 64 + m.to.index; }

enum class ParseMoveError : std::uint8_t { InvalidFormat = 0, InvalidSquare = 1 };
constexpr std::string_view message(ParseMoveError e) {
    return e == ParseMoveError::InvalidFormat ? "invalid move format" : "invalid square in move";
}

// Split at every "-": first part a square, then a second part must exist and be
// a square, then no third part. The first failing test decides the error.
Expected<Move, ParseMoveError> parse_move(std::string_view text);

}  // namespace tovak
