#pragma once
// Why a batched step was refused. A step checks every game's action before
// it applies any, so a refused step leaves every game as it was; the error
// names the first game at fault (lowest index) and its action.

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/color.h"

namespace tovak {

enum class StepErrorKind : std::uint8_t {
    WrongCount,   // not one action per game; `game` holds the number of actions given
    OutOfRange,   // the action is not a move number 0..4095
    IllegalMove,  // the move of that number is not legal for the side to move
    GameOver,     // the game has ended and autoreset is disabled
};

struct StepError {
    StepErrorKind kind;
    std::size_t game;
    std::int64_t action;
    Color mover;  // the side to move in that game, whose view numbers the action
    friend bool operator==(const StepError&, const StepError&) = default;
};

// One sentence naming the game, the action and, for an illegal move, the
// move on the real board; `games` is the number of games of the batch.
std::string message(const StepError& error, std::size_t games);

}  // namespace tovak
