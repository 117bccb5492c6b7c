#pragma once
// The counters and flags that one analysis threads through its search, and
// the time types of its budget.

#include <cstdint>

namespace tovak::engine {

// A span of time with nanosecond resolution: a time budget.
struct Duration {
    std::uint64_t seconds = 0;
    std::uint32_t nanoseconds = 0;  // 0..999'999'999
};

struct SearchStats {
    std::uint64_t nodes = 0;             // negamax calls, including those that return at once
    std::uint64_t quiescence_nodes = 0;  // quiescence calls, likewise
    std::uint64_t root_legal_moves = 0;  // legal moves of the analysed position
    bool timed_out = false;              // the deadline cut the analysis short
    std::uint8_t completed_depth = 0;    // depth of the last root search that produced a result
};

}  // namespace tovak::engine
