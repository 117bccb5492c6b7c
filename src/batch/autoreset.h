#pragma once
// What a step does with a game that has ended: the three conventions of
// vectorised reinforcement-learning environments.
//
//   NextStep  the step that ends a game reports the end (rewards, flags) and
//             the final position; the next step resets that game, ignores
//             its action and reports reward 0 and no end for it.
//   SameStep  the step that ends a game reports the end (rewards, flags) and
//             already the new game's position, mask and plies.
//   Disabled  a finished game stays finished; stepping it is an error until
//             it is reset (Games::reset or Games::reset_games).

#include <cstdint>
#include <optional>
#include <string_view>

namespace tovak {

enum class AutoReset : std::uint8_t { NextStep, SameStep, Disabled };

// "next_step", "same_step", "disabled"; none for any other text.
constexpr std::optional<AutoReset> autoreset_from_name(std::string_view name) {
    if (name == "next_step") return AutoReset::NextStep;
    if (name == "same_step") return AutoReset::SameStep;
    if (name == "disabled") return AutoReset::Disabled;
    return std::nullopt;
}

}  // namespace tovak
