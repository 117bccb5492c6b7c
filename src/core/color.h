#pragma once
// The two sides. The colour value doubles as the index of per-colour data
// (occupancy sets, hash salts), White first.

#include <cstdint>
#include <optional>
#include <string_view>

namespace tovak {

enum class Color : std::uint8_t { White = 0, Black = 1 };

constexpr Color opponent(Color c) { return static_cast<Color>(static_cast<std::uint8_t>(c) ^ 1u); }
constexpr int index_of(Color c) { return static_cast<int>(c); }

// "white" / "black": the text form handed to Python.
constexpr std::string_view color_name(Color c) { return c == Color::White ? "white" : "black"; }

// Accepts "w", "white", "b", "black" with ASCII capitals folded; nothing else
// (no trimming, no Unicode folding).
std::optional<Color> parse_color(std::string_view text);

}  // namespace tovak
