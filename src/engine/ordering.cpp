#include "engine/ordering.h"

#include <algorithm>

#include "core/reflection.h"
#include "engine/move_place.h"

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
                table.scores[from][to] = static_cast<std::uint16_t>(
                    move_shape_score(Square::from_index(from), Square::from_index(to)));
    return table;
}
constexpr ShapeScores SHAPE_SCORES = make_shape_scores();
static_assert(SHAPE_SCORES.scores[7][16] == 940);  // h1-a3: 9 steps, centre gain 14 - 10

constexpr std::uint32_t CAPTURE_BIT = 1u << 11;

// A move's key in a list, compared as an integer, largest first:
//   bits 23..12  ordering score without the hint: capture bit, then the
//                move's shape score (80..1400, 11 bits)
//   bits 11..0   origin and destination, 6 bits each
// The score decides, except between equal scores, where the later-generated
// move (the larger place in the rules' enumeration) comes first. A place
// costs a lookup of the move's first supporting pair, so keys leave it out
// and it is looked up only for ties, or for the whole rest of a list that is
// sorted.
constexpr unsigned SCORE_SHIFT = 12;
constexpr std::uint32_t NO_MOVE_BITS = 1u << SCORE_SHIFT;  // equals the low bits of no key

inline std::uint32_t move_bits(Square from, Square to) {
    return static_cast<std::uint32_t>(from.index << 6 | to.index);
}
inline std::uint32_t move_bits(Move m) { return move_bits(m.from, m.to); }
inline std::uint32_t key_of(Square from, Square to, std::uint32_t capture_bit) {
    return (capture_bit | SHAPE_SCORES.scores[from.index][to.index]) << SCORE_SHIFT |
           move_bits(from, to);
}
inline Move move_of_key(std::uint32_t key) {
    return Move{Square::from_index(static_cast<int>((key >> 6) & 63)),
                Square::from_index(static_cast<int>(key & 63))};
}
inline std::uint32_t place_of_key(const FirstPairs& first_pairs, std::uint32_t key) {
    const Move m = move_of_key(key);
    return move_place(first_pairs.lower(move_pivot_spread(m.from, m.to)), m.from, m.to);
}
// The key with its place in the low bits instead: these keys order a whole list.
inline std::uint32_t placed_key(const FirstPairs& first_pairs, std::uint32_t key) {
    return (key >> SCORE_SHIFT) << MOVE_PLACE_BITS | place_of_key(first_pairs, key);
}

// Calls visit(key) for the side's moves that land in `landing`.
template <typename Visit>
inline void for_each_key(const SideMoves& side, Bitboard landing, std::uint32_t capture_bit,
                         Visit&& visit) {
    for (Bitboard origins = side.own(); origins;) {
        const Square from = pop_lowest_square(origins);
        for (Bitboard targets = side.destinations(from) & landing; targets;)
            visit(key_of(from, pop_lowest_square(targets), capture_bit));
    }
}

// The keys of the side's moves that land in `landing`, the moves with low
// bits `left_out` or `also_left_out` left out; returns how many.
std::size_t lay_out_keys(const SideMoves& side, Bitboard landing, std::uint32_t capture_bit,
                         std::uint32_t left_out, std::uint32_t also_left_out, std::uint32_t* keys) {
    std::size_t n = 0;
    for_each_key(side, landing, capture_bit, [&](std::uint32_t key) {
        keys[n] = key;
        n += (key & (NO_MOVE_BITS - 1)) != left_out && (key & (NO_MOVE_BITS - 1)) != also_left_out;
    });
    return n;
}

// Whether key a comes before key b: a higher score, or an equal one and a later place.
inline bool comes_before(const FirstPairs& first_pairs, std::uint32_t a, std::uint32_t b) {
    if ((a >> SCORE_SHIFT) != (b >> SCORE_SHIFT)) return a > b;
    return place_of_key(first_pairs, a) > place_of_key(first_pairs, b);
}

// Takes the best of keys[0..size) out and returns its key; the last key
// fills the hole, as the order of the rest is free.
std::uint32_t take_best_key(std::uint32_t* keys, std::size_t& size, const FirstPairs& first_pairs) {
    // Branch-free passes (the compiler vectorises them): the largest key,
    // then how many share its score.
    std::uint32_t largest = 0;
    for (std::size_t i = 0; i < size; ++i) largest = std::max(largest, keys[i]);
    const std::uint32_t score = largest >> SCORE_SHIFT;
    std::size_t tied = 0;
    for (std::size_t i = 0; i < size; ++i) tied += (keys[i] >> SCORE_SHIFT) == score;
    std::size_t at = 0;
    if (tied == 1) {
        while (keys[at] != largest) ++at;
    } else {
        std::uint32_t best_place = 0;
        for (std::size_t i = 0; i < size; ++i) {
            if ((keys[i] >> SCORE_SHIFT) != score) continue;
            const std::uint32_t place = place_of_key(first_pairs, keys[i]);
            if (place >= best_place) {  // places are distinct
                best_place = place;
                at = i;
            }
        }
    }
    const std::uint32_t best = keys[at];
    keys[at] = keys[--size];
    return best;
}

}  // namespace

// --- OrderedMoves -------------------------------------------------------------

OrderedMoves::OrderedMoves(const SideMoves& us, std::optional<Move> hint)
    : us_(us), first_pairs_(us.own()) {
    // A hint that is not a legal move matches nothing.
    if (hint && us.is_move(*hint)) {
        hint_ = hint;
        stage_ = Stage::Hint;
    } else {
        start_stage(Stage::Captures);
    }
}

Bitboard OrderedMoves::stage_landing() const {
    return stage_ == Stage::Captures ? us_.enemy() : ~(us_.own() | us_.enemy());
}

void OrderedMoves::start_stage(Stage stage) {
    stage_ = stage;
    const MoveCounts& counts = us_.counts();
    const bool captures = stage == Stage::Captures;
    const bool hint_in_stage = hint_ && ((us_.enemy() & bit_of(hint_->to)) != 0) == captures;
    size_ = static_cast<std::size_t>(captures ? counts.captures : counts.moves - counts.captures) -
            hint_in_stage;
    picks_ = 0;
}

Move OrderedMoves::take_best() {
    const std::uint32_t capture_bit = stage_ == Stage::Captures ? CAPTURE_BIT : 0;
    const std::uint32_t hint_bits = hint_ ? move_bits(*hint_) : NO_MOVE_BITS;
    std::uint32_t best = 0;
    if (picks_ == 0) {
        // The best move in one pass over the stage's moves.
        for_each_key(us_, stage_landing(), capture_bit, [&](std::uint32_t key) {
            if ((key & (NO_MOVE_BITS - 1)) != hint_bits && comes_before(first_pairs_, key, best))
                best = key;
        });
        first_key_ = best;
        --size_;
    } else {
        // A second move is wanted: the keys of the rest are laid out once.
        if (picks_ == 1) {
            [[maybe_unused]] const std::size_t n =
                lay_out_keys(us_, stage_landing(), capture_bit, hint_bits,
                             first_key_ & (NO_MOVE_BITS - 1), keys_);
            assert(n == size_);
        }
        best = take_best_key(keys_, size_, first_pairs_);
    }
    ++picks_;
    return move_of_key(best);
}

Move OrderedMoves::take_from_sorted() {
    // Placed and sorted ascending on the first call, then taken from the back.
    if (picks_ == SCANNED_PICKS) {
        for (std::size_t i = 0; i < size_; ++i) keys_[i] = placed_key(first_pairs_, keys_[i]);
        std::sort(keys_, keys_ + size_);
        ++picks_;
    }
    return move_at_place(keys_[--size_] & ((1u << MOVE_PLACE_BITS) - 1));
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
    // fill the list, their keys kept in order while the captures are visited.
    out.clear();
    const bool hint_leads = hint && (us.enemy() & bit_of(hint->to)) && us.is_move(*hint);
    if (hint_leads) out.push_back(*hint);
    const std::uint32_t left_out = hint_leads ? move_bits(*hint) : NO_MOVE_BITS;
    const std::size_t room = MAX_CAPTURES - out.size();
    const FirstPairs first_pairs(us.own());
    auto before = [&](std::uint32_t a, std::uint32_t b) { return comes_before(first_pairs, a, b); };
    std::uint32_t best[MAX_CAPTURES];
    std::size_t kept = 0;
    for (Bitboard origins = us.own(); origins;) {
        const Square from = pop_lowest_square(origins);
        for (Bitboard targets = us.destinations(from) & us.enemy(); targets;) {
            const std::uint32_t key = key_of(from, pop_lowest_square(targets), CAPTURE_BIT);
            if ((key & (NO_MOVE_BITS - 1)) == left_out) continue;
            if (kept == room && !before(key, best[kept - 1])) continue;
            std::size_t i = kept < room ? kept++ : kept - 1;
            for (; i > 0 && before(key, best[i - 1]); --i) best[i] = best[i - 1];
            best[i] = key;
        }
    }
    for (std::size_t i = 0; i < kept; ++i) out.push_back(move_of_key(best[i]));
}

void capture_moves(const Position& position, std::optional<Move> hint, CaptureList& out) {
    capture_moves(SideMoves(position), hint, out);
}

}  // namespace tovak::engine
