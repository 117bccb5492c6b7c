#pragma once
// The properties that the position fuzzer checks after every step. Built
// without the fuzzer's coverage hooks: the fuzzer should be steered by the
// core's branches, not by those of the checking code.

#include <cstdint>

#include "core/position.h"

namespace tovak::fuzz {

// After every step: both invariants, and the move list and the outcome
// against the literal rules.
void check_invariants(const Position& p);

// On the start and the last position of a sequence (every position reached
// is the last of some shorter input): check_invariants, the board queries,
// the capture generator, the legality test of all 4096 moves, the move
// counts of both sides and a sample of supporting pivots.
void check_position(const Position& p);

// supporting_pivots of `c` for one move against the literal rules.
void check_supporting_pivots(const Position& p, Color c, Move m);

// reflect_set of an arbitrary set through a pivot (mostly one of an on-board
// pair, sometimes any pair of bytes) against square-by-square reflection.
void check_reflect_set(std::uint64_t set, std::uint8_t file_twice, std::uint8_t rank_twice);

// apply_move, checked: its error is is_legal_move's, a failure changes
// nothing, a success moves one piece, removes at most one enemy piece and
// passes the turn.
void apply_checked(Position& p, Move m);

}  // namespace tovak::fuzz
