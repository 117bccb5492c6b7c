#pragma once
// The player on the other side of an agent: its reply is made inside the
// batch's step, so that a learner trains against it at the speed of the rules.

#include <cstdint>

#include "batch/game_random.h"
#include "batch/legal_moves.h"
#include "core/move.h"
#include "core/position.h"

namespace tovak {

struct Opponent {
    enum class Kind : std::uint8_t {
        Random,  // a uniformly random legal move, from the game's own generator
        Engine,  // the move `tovak match`'s engine:depth=D player chooses
    };
    Kind kind = Kind::Random;
    std::uint8_t depth = 1;  // D, for Engine: 1..255
};

// The opponent's move in `position`, whose legal moves are `moves` (not empty).
Move opponent_move(const Opponent& opponent, const Position& position, const LegalMoves& moves,
                   GameRandom& random);

// The engine's choice at `depth`, exactly as the match's engine player makes
// it: an iterative deepening to `depth` under the largest time budget the
// module accepts, which is no deadline at all. None without a legal move.
std::optional<Move> engine_choice(const Position& position, std::uint8_t depth);

}  // namespace tovak
