#include "core/pivot_set.h"

#include <cstring>

namespace tovak {

PivotSet pair_pivots(Bitboard own) {
    PivotWords all;
    for_each_pair_source(own, [&](const PivotWords& pivots) {
        all.low |= pivots.low;
        all.high |= pivots.high;
    });
    PivotSet set;
    static_assert(sizeof set.rows == sizeof all);
    std::memcpy(set.rows, &all, sizeof all);  // little-endian: row 0 first
    return set;
}

}  // namespace tovak
