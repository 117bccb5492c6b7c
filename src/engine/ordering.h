#pragma once
// Move ordering: alpha-beta cuts off sooner when good moves come first. Every
// move gets an ordering score (the table's hint move above all, then
// captures, then long moves, then moves towards the centre). Lists are sorted
// by score, best first; among equal scores the move generated later comes
// first (the order of a stable ascending sort, reversed).

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/move.h"
#include "core/move_list.h"
#include "core/pivot_set.h"
#include "core/position.h"
#include "engine/evaluate.h"
#include "engine/side_moves.h"

namespace tovak::engine {

constexpr std::int32_t STEP_WEIGHT = 100;        // per file step plus rank step
constexpr std::int32_t CENTRE_GAIN_WEIGHT = 10;  // per unit of centre gain
constexpr std::size_t MAX_CAPTURES = 4;          // longest list capture_moves gives

// The part of the ordering score that depends on the move alone: its length
// in file plus rank steps and its centre gain. For from != to it lies in
// 80..1400 (each step changes the centre distance by at most 2).
constexpr std::int32_t move_shape_score(Square from, Square to) {
    const int file_steps =
        from.file() > to.file() ? from.file() - to.file() : to.file() - from.file();
    const int rank_steps =
        from.rank() > to.rank() ? from.rank() - to.rank() : to.rank() - from.rank();
    return STEP_WEIGHT * (file_steps + rank_steps) +
           CENTRE_GAIN_WEIGHT * centre_gain(Move{from, to});
}

// At most MAX_CAPTURES moves, on the stack.
class CaptureList {
  public:
    void push_back(Move m) {
        assert(size_ < MAX_CAPTURES);
        moves_[size_++] = m;
    }
    void clear() { size_ = 0; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const Move& operator[](std::size_t i) const { return moves_[i]; }
    const Move* begin() const { return moves_; }
    const Move* end() const { return moves_ + size_; }

  private:
    Move moves_[MAX_CAPTURES];
    std::size_t size_ = 0;
};

// The legal moves of a node handed out best first, without sorting them all:
// most nodes of an alpha-beta search cut off after a few moves. The hint,
// which outranks everything, comes first; then the captures, which outrank
// every quiet move; the quiet moves are only looked at once the captures are
// used up. Among equal scores the later-generated move comes first, and a
// move's place in the rules' enumeration costs a lookup: it is looked up only
// for moves that tie for the best score. Within a stage the first few moves
// are found by scanning for the best key, and a stage that is asked for more
// sorts the rest once, placed.
class OrderedMoves {
  public:
    // Moves of a stage found by scanning before the rest is sorted.
    static constexpr int SCANNED_PICKS = 4;

    // From the side to move's moves, which must outlive this list.
    OrderedMoves(const SideMoves& us, std::optional<Move> hint);

    // The next move, or none when all have been handed out.
    std::optional<Move> next() {
        if (stage_ == Stage::Hint) {
            start_stage(Stage::Captures);
            return hint_;
        }
        if (size_ == 0) {
            if (stage_ == Stage::QuietMoves) return std::nullopt;
            start_stage(Stage::QuietMoves);
            if (size_ == 0) return std::nullopt;
        }
        return picks_ < SCANNED_PICKS ? take_best() : take_from_sorted();
    }

  private:
    enum class Stage : std::uint8_t {
        Hint,        // the hint is next
        Captures,    // handing out captures
        QuietMoves,  // handing out quiet moves
    };

    // Starts a stage: its first move is found without laying out its keys,
    // as a cut-off often follows it.
    void start_stage(Stage stage);
    // The landing squares of the current stage's moves.
    Bitboard stage_landing() const;
    Move take_best();
    Move take_from_sorted();

    const SideMoves& us_;
    FirstPairs first_pairs_;    // the places of tied moves
    std::optional<Move> hint_;  // the hint when it is a legal move: left out of the stages
    Stage stage_;
    std::uint32_t keys_[MAX_MOVES];  // its keys not yet handed out, once laid out
    std::size_t size_ = 0;           // moves of the stage not yet handed out
    int picks_ = 0;                  // moves handed out from the current stage
    // The key of the stage's first move, left out when the rest is laid out.
    std::uint32_t first_key_ = 0;
};

// Every legal move of the position, best first.
void ordered_moves(const Position& position, std::optional<Move> hint, MoveList& out);

// The best MAX_CAPTURES capturing moves of the side to move, best first: the
// head of the sorted list of all its captures (the hint counts before the cut).
void capture_moves(const Position& position, std::optional<Move> hint, CaptureList& out);
// The same from the side to move's moves, already laid out.
void capture_moves(const SideMoves& us, std::optional<Move> hint, CaptureList& out);

}  // namespace tovak::engine
