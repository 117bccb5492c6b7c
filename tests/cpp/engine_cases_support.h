#pragma once
// Shared helpers of the engine tests: positions written as square lists,
// sample positions for the differential tests, comparisons of the fast
// engine's results and tables with the literal reference engine's, and
// readable failure output.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/move.h"
#include "core/position.h"
#include "core_printing_support.h"
#include "engine/analysis.h"
#include "engine/table.h"
#include "engine_reference_support.h"

namespace tovak {

// "e2-e4"; the text must be a valid move.
Move move_from(std::string_view text);
std::vector<Move> moves_from(std::string_view space_separated);
// Pieces given as space-separated square lists, e.g. ("a1 b1 c1", "h8").
Position position_from(std::string_view white, std::string_view black, Color side_to_move);

// States of seeded random games (every `stride`-th state) followed by varied
// random placements, both sides to move: the differential tests' diet.
std::vector<Position> sample_positions(std::uint64_t seed, int games, int stride, int placements);
// Positions whose search trees stay small enough for the literal engine:
// states of random games after `min_ply` plies or more (every `stride`-th),
// and sparse random placements of 3..9 pieces a side, both sides to move.
std::vector<Position> search_positions(std::uint64_t seed, int games, int min_ply, int stride, int placements);

std::string describe(const Position& p);

namespace engine {

inline void PrintTo(const RootResult& r, std::ostream* os) {
    *os << "{best " << move_text(r.best_move).view() << ", score " << r.score << ", depth " << int{r.depth}
        << ", pv";
    for (const Move m : r.principal_variation) *os << ' ' << move_text(m).view();
    *os << '}';
}
inline void PrintTo(const SearchStats& s, std::ostream* os) {
    *os << "{nodes " << s.nodes << ", quiescence " << s.quiescence_nodes << ", root moves " << s.root_legal_moves
        << ", completed " << int{s.completed_depth} << (s.timed_out ? ", timed out}" : "}");
}
inline void PrintTo(Bound b, std::ostream* os) {
    *os << (b == Bound::Exact ? "Exact" : b == Bound::LowerBound ? "LowerBound" : "UpperBound");
}
bool operator==(const RootResult& a, const RootResult& b);
bool operator==(const SearchStats& a, const SearchStats& b);

// Every slot of both tables holds the same entry (or both are empty).
void expect_same_tables(const TranspositionTable& fast, const reference_engine::Table& literal,
                        const std::string& context);
// The number of non-empty slots.
std::size_t occupied_slots(const TranspositionTable& table);

}  // namespace engine
}  // namespace tovak
