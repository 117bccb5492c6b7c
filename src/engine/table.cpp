#include "engine/table.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

namespace tovak::engine {

ProbeOutcome probe(const TtEntry* entry, std::uint8_t depth, std::int32_t alpha,
                   std::int32_t beta) {
    // 1. No entry, or one from a shallower search: no cut-off, window unchanged.
    if (entry == nullptr || entry->depth < depth) return ProbeOutcome{std::nullopt, alpha, beta};
    switch (entry->bound()) {
        // 2. An exact score answers.
        case Bound::Exact:
            return ProbeOutcome{entry->score, alpha, beta};
        // 3. A lower bound raises alpha.
        case Bound::LowerBound:
            alpha = std::max(alpha, entry->score);
            break;
        // 4. An upper bound lowers beta.
        case Bound::UpperBound:
            beta = std::min(beta, entry->score);
            break;
    }
    if (alpha >= beta) return ProbeOutcome{entry->score, alpha, beta};
    // 5. Search on with the narrowed window.
    return ProbeOutcome{std::nullopt, alpha, beta};
}

void TranspositionTable::FreeMemory::operator()(void* memory) const { std::free(memory); }

TranspositionTable::TranspositionTable(std::size_t bucket_count)
    : bucket_count_(bucket_count),
      bucket_mask_((bucket_count & (bucket_count - 1)) == 0 ? bucket_count - 1 : 0),
      memory_(std::calloc(bucket_count * sizeof(Bucket) + alignof(Bucket), 1)),
      written_((bucket_count + 63) / 64, 0) {
    assert(bucket_count >= 1);
    // Running out of memory ends the process, as for every allocation.
    if (!memory_) std::abort();
    // An empty slot is all zero bytes (TtEntry), so the zeroed block is an
    // empty table; a large block is mapped lazily and costs only the pages
    // the search touches.
    static_assert(std::is_trivially_copyable_v<Bucket>);
    auto address = reinterpret_cast<std::uintptr_t>(memory_.get());
    address = (address + alignof(Bucket) - 1) & ~std::uintptr_t{alignof(Bucket) - 1};
    buckets_ = reinterpret_cast<Bucket*>(address);
}

void TranspositionTable::clear() {
    for (std::size_t word = 0; word < written_.size(); ++word) {
        for (std::uint64_t bits = written_[word]; bits != 0; bits &= bits - 1)
            buckets_[word * 64 + static_cast<std::size_t>(std::countr_zero(bits))] = Bucket{};
        written_[word] = 0;
    }
}

void TranspositionTable::insert(std::uint64_t key, TtEntry entry) {
    entry.key = key;
    const std::size_t index = bucket_index(key);
    // Marked even when the entry is dropped: a cheaper rule than the exact one.
    mark_written(index);
    Bucket& bucket = buckets_[index];
    // 1. The key's own slot, wherever it stands: replaced by an equal or deeper result.
    for (TtEntry& slot : bucket.slots) {
        if (!slot.empty() && slot.key == key) {
            if (entry.depth >= slot.depth) slot = entry;
            return;
        }
    }
    // 2. The lowest-numbered empty slot.
    for (TtEntry& slot : bucket.slots) {
        if (slot.empty()) {
            slot = entry;
            return;
        }
    }
    // 3. Four other keys: the shallowest slot, the lowest-numbered among equals.
    TtEntry* victim = &bucket.slots[0];
    for (TtEntry& slot : bucket.slots)
        if (slot.depth < victim->depth) victim = &slot;
    if (entry.depth >= victim->depth) *victim = entry;
}

}  // namespace tovak::engine
