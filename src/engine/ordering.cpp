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
//   bits 19..0   a number that grows with the move's place in the rules'
//                enumeration: its index in a list in that order, or its
//                move_place; so the later-generated of two equal scores
//                comes first
constexpr int ORDER_BITS = MOVE_PLACE_BITS;
static_assert(MAX_MOVES <= 1u << ORDER_BITS);

inline std::uint32_t score_bits(bool capture, Move m) {
    return (capture ? CAPTURE_BIT : 0) | SHAPE_SCORES.scores[m.from.index][m.to.index];
}
inline std::uint32_t key_of(std::uint32_t score, std::uint32_t order) { return score << ORDER_BITS | order; }
inline std::uint32_t order_of_key(std::uint32_t key) { return key & ((1u << ORDER_BITS) - 1); }

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

std::optional<Move> OrderedMoves::next() {
    if (stage_ == Stage::Hint) {
        start_stage(Stage::Captures);
        return hint_;
    }
    if (size_ == 0) {
        if (stage_ == Stage::QuietMoves) return std::nullopt;
        start_stage(Stage::QuietMoves);
        if (size_ == 0) return std::nullopt;
    }
    return moves_[order_of_key(picks_ < SCANNED_PICKS ? take_largest() : take_from_sorted())];
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
    if (captures) generate_captures(us_, moves_);
    else generate_quiet_moves(us_, moves_);
    std::size_t n = 0;
    for (std::size_t i = 0; i < moves_.size(); ++i)
        if (moves_[i] != hint_) keys_[n++] = key_of(score_bits(captures, moves_[i]), static_cast<std::uint32_t>(i));
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
    // are visited. Quiescence asks at every node and wants four at most, so
    // a capture is placed in the enumeration only when its score can still
    // make the list.
    out.clear();
    const bool hint_leads = hint && (us.enemy() & bit_of(hint->to.index)) && us.is_move(*hint);
    if (hint_leads) out.push_back(*hint);
    const std::size_t room = MAX_CAPTURES - out.size();
    std::uint32_t best[MAX_CAPTURES];
    std::size_t kept = 0;
    std::optional<FirstPairs> first_pairs;  // laid out at the first capture that needs it
    for (Bitboard origins = us.own(); origins;) {
        const int from = pop_lowest_bit(origins);
        for (Bitboard targets = us.destinations(from) & us.enemy(); targets;) {
            const int to = pop_lowest_bit(targets);
            const Move capture{Square::from_index(from), Square::from_index(to)};
            if (hint_leads && capture == *hint) continue;
            const std::uint32_t score = score_bits(true, capture);
            if (kept == room && score < best[kept - 1] >> ORDER_BITS) continue;
            if (!first_pairs) first_pairs.emplace(us.own());
            const std::uint32_t key =
                key_of(score, move_place(first_pairs->lower(move_pivot_spread(from, to)), from, to));
            if (kept == room && key < best[kept - 1]) continue;
            std::size_t i = kept < room ? kept++ : kept - 1;
            for (; i > 0 && best[i - 1] < key; --i) best[i] = best[i - 1];
            best[i] = key;
        }
    }
    for (std::size_t i = 0; i < kept; ++i) out.push_back(move_at_place(order_of_key(best[i])));
}

void capture_moves(const Position& position, std::optional<Move> hint, CaptureList& out) {
    capture_moves(SideMoves(position), hint, out);
}

}  // namespace tovak::engine
