#pragma once
// Seeded sources of positions for the differential tests and the benchmarks:
// the states of random games and random placements. Everything is driven by
// std::mt19937_64 with the caller's seed, so a failure reproduces exactly.

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/position.h"

namespace tovak::samples {

// One game from the initial position, each move drawn uniformly from the
// legal moves, until the side to move has none or `ply_cap` moves have been
// played. states[0] is the initial position and moves[i] leads from
// states[i] to states[i + 1].
struct RandomGame {
    std::vector<Position> states;
    std::vector<Move> moves;
};
RandomGame random_game(std::uint64_t seed, int ply_cap);

// Every `stride`-th state of `games` random games seeded first_seed,
// first_seed + 1, ...: openings, middle games and endings in the proportions
// that play produces.
std::vector<Position> game_samples(std::uint64_t first_seed, int games, int ply_cap, std::size_t stride);

// White and Black pieces on distinct squares drawn uniformly, the given side to move.
Position random_placement(std::mt19937_64& rng, int white_count, int black_count,
                          Color side_to_move);

// A mix of placements: sides with 0..3 pieces, ordinary middle games and
// crowded boards, both sides to move.
std::vector<Position> varied_placements(std::uint64_t seed, int count);

// The number of move paths of `depth` plies from `p` (1 for depth 0), on the
// fast core; the last ply is counted, not played. The standard check of a
// move generator.
std::uint64_t perft(const Position& p, int depth);

// A one-line description for failure messages: both sets in hex and the side to move.
std::string describe(const Position& p);

}  // namespace tovak::samples
