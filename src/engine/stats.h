#pragma once
// The counters and flags that one analysis threads through its search.

#include <cstdint>

namespace tovak::engine {

struct SearchStats {
    std::uint64_t nodes = 0;             // negamax calls, including those that return at once
    std::uint64_t quiescence_nodes = 0;  // quiescence calls, likewise
    std::uint64_t root_legal_moves = 0;  // legal moves of the analysed position
    bool timed_out = false;              // the deadline cut the analysis short
    std::uint8_t completed_depth = 0;    // depth of the last root search that produced a result
};

}  // namespace tovak::engine
