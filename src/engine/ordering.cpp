#include "engine/ordering.h"

#include <algorithm>

namespace tovak::engine {
namespace {

// move_shape_score for every pair of squares (0 for from = to), 8 KiB.
struct ShapeScores {
    std::uint16_t scores[64][64];
};
constexpr ShapeScores make_shape_scores() {
    ShapeScores table{};
    for (int from = 0; from < 64; ++from)
        for (int to = 0; to < 64; ++to)
            if (from != to)
                table.scores[from][to] =
                    static_cast<std::uint16_t>(move_shape_score(Square::from_index(from), Square::from_index(to)));
    return table;
}
constexpr ShapeScores SHAPE_SCORES = make_shape_scores();
static_assert(SHAPE_SCORES.scores[7][16] == 940);  // h1-a3: 9 steps, centre gain 14 - 10

constexpr std::uint32_t CAPTURE_BIT = 1u << 11;

// A move's place in the order within a list as one 32-bit key, compared as
// an integer, largest first; keys of one list are distinct:
//   bits 31..20  ordering score without the hint: capture bit, then the
//                move's shape score (80..1400, 11 bits)
//   bits 19..0   the move's place in the rules' enumeration (move_place),
//                so the later-generated of two equal scores comes first
inline std::uint32_t key_of(std::uint32_t place, bool capture) {
    const Move m = move_at_place(place);
    const std::uint32_t score = (capture ? CAPTURE_BIT : 0) | SHAPE_SCORES.scores[m.from.index][m.to.index];
    return score << MOVE_PLACE_BITS | place;
}
inline Move move_of_key(std::uint32_t key) { return move_at_place(key & ((1u << MOVE_PLACE_BITS) - 1)); }

}  // namespace

// --- OrderedMoves -------------------------------------------------------------

OrderedMoves::OrderedMoves(const SideMoves& us, std::optional<Move> hint) : us_(us) {
    // A hint that is not a legal move matches nothing.
    if (hint && us.is_move(*hint)) {
        hint_ = hint;
        stage_ = Stage::Hint;
    } else {
        start_stage(Stage::Captures);
    }
}

std::size_t OrderedMoves::remaining() const {
    const MoveCounts& counts = us_.counts();
    const bool hint_is_capture = hint_ && (us_.enemy() & bit_of(hint_->to.index));
    switch (stage_) {
        case Stage::Hint: return static_cast<std::size_t>(counts.moves);
        case Stage::Captures:
            return size_ + static_cast<std::size_t>(counts.moves - counts.captures) - (hint_ && !hint_is_capture);
        case Stage::QuietMoves: return size_;
    }
    return 0;
}

void OrderedMoves::start_stage(Stage stage) {
    stage_ = stage;
    const bool captures = stage == Stage::Captures;
    const Bitboard landing = captures ? us_.enemy() : ~(us_.own() | us_.enemy());
    const std::size_t placed = placed_moves(us_, landing, keys_);
    std::size_t n = 0;
    for (std::size_t i = 0; i < placed; ++i)
        if (move_at_place(keys_[i]) != hint_) keys_[n++] = key_of(keys_[i], captures);
    size_ = n;
    picks_ = 0;
}

std::uint32_t OrderedMoves::take_largest() {
    // A branch-free maximum (the compiler vectorises it), then the key's
    // place; the last key fills the hole, as the order of the rest is free.
    std::uint32_t largest = 0;
    for (std::size_t i = 0; i < size_; ++i) largest = std::max(largest, keys_[i]);
    std::size_t at = 0;
    while (keys_[at] != largest) ++at;
    keys_[at] = keys_[--size_];
    ++picks_;
    return largest;
}

std::uint32_t OrderedMoves::take_from_sorted() {
    // Sorted ascending on the first call, then taken from the back.
    if (picks_ == SCANNED_PICKS) {
        std::sort(keys_, keys_ + size_);
        ++picks_;
    }
    return keys_[--size_];
}

// --- Lists ----------------------------------------------------------------------

void ordered_moves(const Position& position, std::optional<Move> hint, MoveList& out) {
    const SideMoves us(position);
    OrderedMoves moves(us, hint);
    out.clear();
    while (const std::optional<Move> m = moves.next()) out.push_back(*m);
}

void capture_moves(const SideMoves& us, std::optional<Move> hint, CaptureList& out) {
    // A hint that is a legal capture leads; the best of the other captures
    // fill the list, their keys kept in descending order while the captures
    // are visited.
    out.clear();
    const bool hint_leads = hint && (us.enemy() & bit_of(hint->to.index)) && us.is_move(*hint);
    if (hint_leads) out.push_back(*hint);
    const std::size_t room = MAX_CAPTURES - out.size();
    std::uint32_t places[MAX_MOVES];
    const std::size_t placed = placed_moves(us, us.enemy(), places);
    std::uint32_t best[MAX_CAPTURES];
    std::size_t kept = 0;
    for (std::size_t c = 0; c < placed; ++c) {
        if (hint_leads && move_at_place(places[c]) == *hint) continue;
        const std::uint32_t key = key_of(places[c], true);
        if (kept == room && key < best[kept - 1]) continue;
        std::size_t i = kept < room ? kept++ : kept - 1;
        for (; i > 0 && best[i - 1] < key; --i) best[i] = best[i - 1];
        best[i] = key;
    }
    for (std::size_t i = 0; i < kept; ++i) out.push_back(move_of_key(best[i]));
}

void capture_moves(const Position& position, std::optional<Move> hint, CaptureList& out) {
    capture_moves(SideMoves(position), hint, out);
}

}  // namespace tovak::engine
