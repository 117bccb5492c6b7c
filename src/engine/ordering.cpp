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

inline std::uint32_t score_bits(bool capture, int from, int to) {
    return (capture ? CAPTURE_BIT : 0) | SHAPE_SCORES.scores[from][to];
}

// The key of detail::move_of_key's layout.
inline std::uint32_t key_of(std::uint32_t score, int first_lower, int from, int to) {
    const int pivot_spread = (from & 7) + (to & 7) + 16 * ((from >> 3) + (to >> 3));
    return score << 20 | static_cast<std::uint32_t>(first_lower) << 14 | static_cast<std::uint32_t>(pivot_spread) << 6 |
           static_cast<std::uint32_t>(from);
}

// Whether `m` is a legal move of the side.
inline bool is_move_of(const SideMoves& us, Move m) {
    return (us.own & bit_of(m.from.index)) && (us.destinations(m.from.index) & bit_of(m.to.index));
}

}  // namespace

// --- OrderedMoves -------------------------------------------------------------

OrderedMoves::OrderedMoves(const SideMoves& us, std::optional<Move> hint) : us_(us) {
    // A hint that is not a legal move matches nothing.
    if (hint && is_move_of(us, *hint)) {
        hint_ = hint;
        hint_pending_ = true;
    }
    add_captures();
}

std::size_t OrderedMoves::remaining() const {
    std::size_t quiets = 0;
    if (!quiets_added_) {
        for (Bitboard origins = us_.own; origins;)
            quiets += popcount(us_.destinations(pop_lowest_bit(origins)) & ~us_.enemy);
        if (hint_ && !(us_.enemy & bit_of(hint_->to.index))) --quiets;
    }
    return (hint_pending_ ? 1 : 0) + size_ + quiets;
}

void OrderedMoves::add_captures() {
    // Captures are few: the first pair of each one's pivot is found directly.
    std::optional<FirstPairs> first_pairs;
    std::size_t n = 0;
    for (Bitboard origins = us_.own; origins;) {
        const int from = pop_lowest_bit(origins);
        for (Bitboard targets = us_.destinations(from) & us_.enemy; targets;) {
            const int to = pop_lowest_bit(targets);
            if (hint_ && hint_->from.index == from && hint_->to.index == to) continue;
            if (!first_pairs) first_pairs.emplace(us_.own);
            const int lower = first_pairs->lower((from & 7) + (to & 7), (from >> 3) + (to >> 3));
            keys_[n++] = key_of(score_bits(true, from, to), lower, from, to);
        }
    }
    size_ = n;
}

void OrderedMoves::add_quiet_moves() {
    // Quiet moves are many: the first pairs of all pivots at once.
    std::uint8_t first_lower[256];
    pair_pivot_grid(us_.own, first_lower);
    std::size_t n = 0;
    for (Bitboard origins = us_.own; origins;) {
        const int from = pop_lowest_bit(origins);
        for (Bitboard targets = us_.destinations(from) & ~us_.enemy; targets;) {
            const int to = pop_lowest_bit(targets);
            if (hint_ && hint_->from.index == from && hint_->to.index == to) continue;
            const int pivot_spread = (from & 7) + (to & 7) + 16 * ((from >> 3) + (to >> 3));
            keys_[n++] = key_of(score_bits(false, from, to), first_lower[pivot_spread], from, to);
        }
    }
    size_ = n;
    picks_ = 0;
    quiets_added_ = true;
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
    const Color mover = position.side_to_move;
    const SideMoves us(position.pieces(mover), position.pieces(opponent(mover)));
    OrderedMoves moves(us, hint);
    out.clear();
    while (const std::optional<Move> m = moves.next()) out.push_back(*m);
}

void capture_moves(const SideMoves& us, std::optional<Move> hint, CaptureList& out) {
    // A hint that is a legal capture leads; the best of the other captures
    // fill the list, their keys kept in descending order while the captures
    // are visited.
    out.clear();
    const bool hint_leads = hint && (us.enemy & bit_of(hint->to.index)) && is_move_of(us, *hint);
    if (hint_leads) out.push_back(*hint);
    const std::size_t room = MAX_CAPTURES - out.size();
    std::uint32_t best[MAX_CAPTURES];
    std::size_t kept = 0;
    std::optional<FirstPairs> first_pairs;  // laid out at the first capture that needs it
    for (Bitboard origins = us.own; origins;) {
        const int from = pop_lowest_bit(origins);
        for (Bitboard targets = us.destinations(from) & us.enemy; targets;) {
            const int to = pop_lowest_bit(targets);
            if (hint_leads && hint->from.index == from && hint->to.index == to) continue;
            // A score below that of the last kept key cannot make the list,
            // whatever its place in the generation order.
            const std::uint32_t score = score_bits(true, from, to);
            if (kept == room && score < best[kept - 1] >> 20) continue;
            if (!first_pairs) first_pairs.emplace(us.own);
            const std::uint32_t key =
                key_of(score, first_pairs->lower((from & 7) + (to & 7), (from >> 3) + (to >> 3)), from, to);
            if (kept == room && key < best[kept - 1]) continue;
            std::size_t i = kept < room ? kept++ : kept - 1;
            for (; i > 0 && best[i - 1] < key; --i) best[i] = best[i - 1];
            best[i] = key;
        }
    }
    for (std::size_t i = 0; i < kept; ++i) out.push_back(detail::move_of_key(best[i]));
}

void capture_moves(const Position& position, std::optional<Move> hint, CaptureList& out) {
    const Color mover = position.side_to_move;
    capture_moves(SideMoves(position.pieces(mover), position.pieces(opponent(mover))), hint, out);
}

}  // namespace tovak::engine
