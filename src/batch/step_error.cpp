#include "batch/step_error.h"

#include "batch/features.h"

namespace tovak {

std::string message(const StepError& error, std::size_t games) {
    const std::string game = "game " + std::to_string(error.game);
    const std::string action = "action " + std::to_string(error.action);
    switch (error.kind) {
        case StepErrorKind::WrongCount:
            return "expected " + std::to_string(games) + " actions, one per game, got " +
                   std::to_string(error.game);
        case StepErrorKind::OutOfRange:
            return game + ": " + action + " is not a move number (0 to " +
                   std::to_string(ACTION_COUNT - 1) + ")";
        case StepErrorKind::IllegalMove: {
            const Move move = move_of_action(static_cast<int>(error.action), error.mover);
            return game + ": " + action + " (" + std::string(move_text(move).view()) +
                   ") is not a legal move for " + std::string(color_name(error.mover));
        }
        case StepErrorKind::GameOver:
            return game + " has ended and autoreset is disabled: reset it before stepping it (" +
                   action + ")";
    }
    return game + ": " + action + " refused";
}

}  // namespace tovak
