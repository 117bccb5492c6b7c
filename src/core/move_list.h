#pragma once
// A fixed-capacity list of moves that lives on the stack, so generating moves
// allocates nothing. Capacity bound: a move goes from one of the mover's n
// pieces to one of the 64 - n squares without one, so there are at most
// n * (64 - n) <= 32 * 32 = 1024 legal moves.

#include <array>
#include <cassert>
#include <cstddef>

#include "core/move.h"

namespace tovak {

constexpr std::size_t MAX_MOVES = 1024;

class MoveList {
public:
    void push_back(Move m) {
        assert(size_ < MAX_MOVES);
        moves_[size_++] = m;
    }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }
    void truncate(std::size_t n) {
        if (n < size_) size_ = n;
    }
    Move& operator[](std::size_t i) { return moves_[i]; }
    const Move& operator[](std::size_t i) const { return moves_[i]; }
    Move* begin() { return moves_.data(); }
    Move* end() { return moves_.data() + size_; }
    const Move* begin() const { return moves_.data(); }
    const Move* end() const { return moves_.data() + size_; }

private:
    std::array<Move, MAX_MOVES> moves_;
    std::size_t size_ = 0;
};

}  // namespace tovak
