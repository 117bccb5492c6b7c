#pragma once
// A slow, literal transcription of the game's rules, kept apart from the fast
// core so that tests and benchmarks can hold one against the other.
//
// Every function follows the rules step by step: square lists instead of
// occupancy sets, the 64 x 64 flag table and the triple loop over pairs and
// pieces, the five legality tests in their order, hash keys recomputed with
// the mix function on every use. Nothing here calls into the core's
// implementation; only its plain value types are shared (the fields of
// Position, Square, Move, Pivot, MoveError, ParseMoveError, Expected), so a
// fault in the core cannot hide in both.
//
// Obviously correct beats fast: do not optimise this file. Other suites (the
// engine's literal evaluation, benchmarks) build on it, so it depends on
// nothing but the core's vocabulary headers.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/color.h"
#include "core/expected.h"
#include "core/move.h"
#include "core/pivot.h"
#include "core/position.h"
#include "core/square.h"

namespace tovak::reference {

// --- Squares and pivots -----------------------------------------------------

// The square (file, rank) when both lie in 0..7, else none.
std::optional<Square> square_at(int file, int rank);
// The midpoint of two square centres at doubled coordinates.
Pivot pivot_between(Square a, Square b);
// The square whose centre is the pivot point, if any.
std::optional<Square> center_square(Pivot p);
// The point reflection of a square through the pivot, if it stays on the board.
std::optional<Square> reflect(Pivot p, Square s);

// --- Notation -----------------------------------------------------------------

std::optional<Square> parse_square(std::string_view text);
Expected<Move, ParseMoveError> parse_move(std::string_view text);
std::optional<Color> parse_color(std::string_view text);

// --- Hash ---------------------------------------------------------------------

// The finalising mix of SplitMix64.
std::uint64_t mix(std::uint64_t z);
std::uint64_t piece_key(Color c, Square s);
// The term XORed in while White is to move (0 for Black).
std::uint64_t side_term(Color side_to_move);
// The hash of a position computed from its placement and side to move alone
// (its stored `hash` field is ignored).
std::uint64_t hash(const Position& p);

// --- Reading the board -----------------------------------------------------------

std::optional<Color> owner(const Position& p, Square s);
// The squares of c's pieces, ascending.
std::vector<Square> squares_of(const Position& p, Color c);
// The same placement with `side` to move, hash recomputed.
Position with_side_to_move(const Position& p, Color side);

// --- Rules ------------------------------------------------------------------------

// All legal moves of the side to move, in the rules' generation order.
std::vector<Move> legal_moves(const Position& p);
// None when legal, else the first failing test's error.
std::optional<MoveError> is_legal_move(const Position& p, Move m);
std::vector<SupportingPivot> supporting_pivots(const Position& p, Color c, Move m);
// On failure p is left untouched.
std::optional<MoveError> apply_move(Position& p, Move m);
std::optional<Color> outcome(const Position& p);

// --- Counts derived from the move list ------------------------------------------

// One side's moves measured as if that side were to move: how many there are,
// how many land on a piece of the other colour, and how many of the side's
// pieces start none of them.
struct MoveCounts {
    int moves = 0;
    int captures = 0;
    int immobile = 0;
    friend bool operator==(const MoveCounts&, const MoveCounts&) = default;
};
MoveCounts count_moves(const Position& p, Color side);

// Number of move sequences of exactly `depth` plies from p (1 for depth 0).
std::uint64_t perft(const Position& p, int depth);

}  // namespace tovak::reference
