#pragma once
// Quiescence search: below the main search's leaves, only captures are
// searched, until the position is quiet, a cut-off occurs or four capture
// plies have been made, so that no leaf is scored in the middle of an
// exchange. Stand-pat from the static evaluation, at most the four best
// captures per node, a pruning test with a margin, fail-hard cut-offs, and
// entries of depth 0 in the shared table.

#include <cstdint>
#include <optional>

#include "core/position.h"
#include "engine/clock.h"
#include "engine/side_moves.h"
#include "engine/stats.h"
#include "engine/table.h"

namespace tovak::engine {

constexpr std::uint8_t QUIESCENCE_MAX_PLY = 4;     // from this ply on, the stand-pat is returned
constexpr std::int32_t DELTA_MARGIN = 200;         // optimism added to the stand-pat when pruning
constexpr std::int32_t PRUNING_CENTRE_WEIGHT = 3;  // per unit of a capture's centre gain

// The quiescence score of `position` for the window (alpha, beta) at
// quiescence ply `ply` (0 when called from the main search), or none when
// the deadline passed during the call; then nothing is stored for this node
// and the caller must give up at once. Counts every call in
// `quiescence_nodes`. Built for SteadyClock and TickClock.
template <typename Clock>
std::optional<std::int32_t> quiescence(const Position& position, std::int32_t alpha,
                                       std::int32_t beta, std::uint8_t ply,
                                       TranspositionTable& table, const Deadline<Clock>& deadline,
                                       SearchStats& stats);

// The same, with the side to move's moves already laid out (the main search
// has them from its outcome test).
template <typename Clock>
std::optional<std::int32_t> quiescence(const Position& position, const SideMoves& us,
                                       std::int32_t alpha, std::int32_t beta, std::uint8_t ply,
                                       TranspositionTable& table, const Deadline<Clock>& deadline,
                                       SearchStats& stats);

}  // namespace tovak::engine
