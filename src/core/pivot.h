#pragma once
// A point of the board at doubled coordinates: a square centre (both even),
// an edge midpoint (one odd) or a corner (both odd). The pivot of two squares
// is the midpoint of their centres; a move from F to T is supported exactly by
// the pairs of friendly pieces whose pivot equals the pivot of F and T.

#include <cstdint>
#include <optional>

#include "core/square.h"

namespace tovak {

struct Pivot {
    std::int8_t file_twice = 0;
    std::int8_t rank_twice = 0;

    static constexpr Pivot between(Square a, Square b) {
        return Pivot{static_cast<std::int8_t>(a.file() + b.file()),
                     static_cast<std::int8_t>(a.rank() + b.rank())};
    }

    constexpr std::optional<Square> center_square() const {
        if ((file_twice & 1) != 0 || (rank_twice & 1) != 0) return std::nullopt;
        return Square::from_coords(file_twice / 2, rank_twice / 2);
    }

    // Pivots of two on-board squares have coordinates 0..14: a dense index 0..224.
    constexpr int dense_index() const { return file_twice * 15 + rank_twice; }

    friend constexpr bool operator==(Pivot, Pivot) = default;
};

}  // namespace tovak
