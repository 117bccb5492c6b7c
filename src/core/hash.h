#pragma once
// Position hash keys: the SplitMix64 finaliser applied to salted square
// indices, one key per (colour, square), plus a term for White to move.
// All keys are compile-time constants.

#include <array>
#include <cstdint>

#include "core/color.h"
#include "core/square.h"

namespace tovak {

constexpr std::uint64_t splitmix64_mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

constexpr std::uint64_t SIDE_TO_MOVE_KEY =
    0x9e3779b97f4a7c15ULL;  // XORed in while White is to move

namespace detail {
constexpr std::uint64_t hash_salt(Color c) { return c == Color::White ? 0 : 0x94d049bb133111ebULL; }
constexpr std::array<std::array<std::uint64_t, 64>, 2> make_piece_keys() {
    std::array<std::array<std::uint64_t, 64>, 2> keys{};
    for (int c = 0; c < 2; ++c)
        for (std::uint64_t sq = 0; sq < 64; ++sq)
            keys[c][sq] =
                splitmix64_mix((sq ^ hash_salt(static_cast<Color>(c)) ^ 0x243f6a8885a308d3ULL) +
                               0x9e3779b97f4a7c15ULL);
    return keys;
}
inline constexpr auto PIECE_KEYS = make_piece_keys();
}  // namespace detail

constexpr std::uint64_t piece_key(Color c, Square s) {
    return detail::PIECE_KEYS[index_of(c)][s.index];
}
constexpr std::uint64_t side_key(Color side_to_move) {
    return side_to_move == Color::White ? SIDE_TO_MOVE_KEY : 0;
}

static_assert(piece_key(Color::White, Square::from_index(0)) == 0x2cb0f69f4abea221ULL);
static_assert(piece_key(Color::Black, Square::from_index(63)) == 0x0415183981a22c50ULL);

}  // namespace tovak
