#pragma once
// The transposition table: what the search has learnt about positions it has
// already examined, keyed by the position hash. Buckets of four slots; a key
// lives in the bucket key mod bucket count, at most once. Allocated once in
// one block and never resized; the table remembers which buckets it wrote, so
// that one who analyses many positions in a row can empty it for the next
// analysis at the cost of what the last one wrote (clear()) rather than a
// fresh megabyte.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/move.h"
#include "core/platform.h"

namespace tovak::engine {

// What a stored score says about the true value of its position.
enum class Bound : std::uint8_t {
    Exact = 0,       // the true value within the window searched
    LowerBound = 1,  // at least the score (the search failed high)
    UpperBound = 2,  // at most the score (the search failed low)
};

// One stored result, 16 bytes so that a bucket of four fills one 64-byte
// cache line:
//   bytes 0-7   key    the position hash (the only identity check)
//   bytes 8-11  score  for the side to move in that position
//   byte  12    depth  remaining depth of the search that produced it (0: quiescence)
//   byte  13    state  0 for an empty slot, else 1 + the Bound
//   bytes 14-15 best move, from and to square; both 0 when there is none
//               (from = to is never a move)
// All-zero bytes are an empty slot, so a table starts as zeroed memory that
// the system hands out page by page as the search touches it.
struct TtEntry {
    std::uint64_t key = 0;
    std::int32_t score = 0;
    std::uint8_t depth = 0;
    std::uint8_t state = 0;
    std::uint8_t move_from = 0;
    std::uint8_t move_to = 0;

    static constexpr TtEntry make(std::uint64_t key, std::int32_t score, std::uint8_t depth,
                                  Bound bound, std::optional<Move> best_move) {
        TtEntry e;
        e.key = key;
        e.score = score;
        e.depth = depth;
        e.state = static_cast<std::uint8_t>(1 + static_cast<std::uint8_t>(bound));
        if (best_move) {
            e.move_from = best_move->from.index;
            e.move_to = best_move->to.index;
        }
        return e;
    }

    constexpr bool empty() const { return state == 0; }
    constexpr Bound bound() const { return static_cast<Bound>(state - 1); }
    constexpr std::optional<Move> best_move() const {
        if (move_from == move_to) return std::nullopt;
        return Move{Square::from_index(move_from), Square::from_index(move_to)};
    }

    friend constexpr bool operator==(const TtEntry&, const TtEntry&) = default;
};
static_assert(sizeof(TtEntry) == 16);

constexpr std::size_t SLOTS_PER_BUCKET = 4;
constexpr std::size_t TABLE_BUCKETS = 16384;  // every analysis: 65,536 slots, 1 MiB

struct alignas(64) Bucket {
    TtEntry slots[SLOTS_PER_BUCKET];
};
static_assert(sizeof(Bucket) == 64);

// The answer of a cut-off test: a score to return at once, or the window to
// search with (possibly narrowed).
struct ProbeOutcome {
    std::optional<std::int32_t> score;
    std::int32_t alpha;
    std::int32_t beta;
};

// The main search's cut-off test against the entry found for a node (or
// none): entries shallower than `depth` give nothing; an Exact entry answers;
// a bound narrows the window and answers when the window closes.
ProbeOutcome probe(const TtEntry* entry, std::uint8_t depth, std::int32_t alpha, std::int32_t beta);

class TranspositionTable {
  public:
    // All slots empty. `bucket_count` must be at least 1.
    explicit TranspositionTable(std::size_t bucket_count);

    std::size_t bucket_count() const { return bucket_count_; }
    std::size_t bucket_index(std::uint64_t key) const {
        return bucket_mask_ ? static_cast<std::size_t>(key & bucket_mask_)
                            : static_cast<std::size_t>(key % bucket_count_);
    }

    // The entry holding `key`: the first non-empty slot of its bucket with that
    // key, or null. The pointer stays valid, but its contents may change with
    // the next insert.
    const TtEntry* find(std::uint64_t key) const {
        const Bucket& bucket = buckets_[bucket_index(key)];
        for (const TtEntry& slot : bucket.slots)
            if (!slot.empty() && slot.key == key) return &slot;
        return nullptr;
    }

    // Starts loading the bucket of `key` into the cache: a child's bucket is
    // needed soon after the child is made.
    void prefetch(std::uint64_t key) const { platform::prefetch(&buckets_[bucket_index(key)]); }

    // Stores `entry` under `key` (entry.key is overwritten with it):
    // 1. a slot already holding the key is overwritten when the new depth is
    //    at least the stored one, else the new entry is dropped;
    // 2. otherwise the lowest-numbered empty slot takes it;
    // 3. otherwise the shallowest slot (lowest-numbered among equals) is
    //    overwritten when the new depth is at least its depth, else the new
    //    entry is dropped.
    void insert(std::uint64_t key, TtEntry entry);

    ProbeOutcome probe(std::uint64_t key, std::uint8_t depth, std::int32_t alpha,
                       std::int32_t beta) const {
        return engine::probe(find(key), depth, alpha, beta);
    }

    // The best move stored for `key`, whatever the entry's depth and bound.
    std::optional<Move> hint_move(std::uint64_t key) const {
        const TtEntry* e = find(key);
        return e ? e->best_move() : std::nullopt;
    }

    // Slot `slot` of bucket `bucket`, empty or not: for inspection.
    const TtEntry& slot(std::size_t bucket, std::size_t slot) const {
        return buckets_[bucket].slots[slot];
    }
    // Writes one slot as it stands, bypassing the replacement rule (an empty
    // entry empties it): for tests and tools that lay out a table by hand.
    // The caller keeps each key at most once per bucket, in its own bucket.
    void place(std::size_t bucket, std::size_t slot, const TtEntry& entry) {
        buckets_[bucket].slots[slot] = entry;
        mark_written(bucket);
    }

    // Empties every slot written since the table was made or last cleared:
    // afterwards the table equals a new one of its size.
    void clear();

  private:
    struct FreeMemory {
        void operator()(void* memory) const;
    };

    void mark_written(std::size_t bucket) {
        written_[bucket / 64] |= std::uint64_t{1} << (bucket % 64);
    }

    std::size_t bucket_count_;
    std::uint64_t bucket_mask_;  // bucket_count - 1 when that is a power of two, else 0
    std::unique_ptr<void, FreeMemory> memory_;  // zeroed, one cache line more than the buckets
    Bucket* buckets_;                           // memory_ rounded up to a cache line
    std::vector<std::uint64_t> written_;        // bit b: bucket b written since the last clear
};

}  // namespace tovak::engine
