#pragma once
// A fixed-capacity list of moves that lives on the stack, so generating moves
// allocates nothing. Capacity bound: a move goes from one of the mover's n
// pieces to one of the 64 - n squares without one, so there are at most
// n * (64 - n) <= 32 * 32 = 1024 legal moves.

#include <cassert>
#include <cstddef>

#include "core/move.h"

namespace tovak {

constexpr std::size_t MAX_MOVES = 1024;

class MoveList {
  public:
    // The storage is left uninitialised: only entries below size() are ever
    // read, and zero-filling 2 KB at every node of a search costs more than
    // generating the moves.
    MoveList() {}

    void push_back(Move m) {
        assert(size_ < MAX_MOVES);
        moves_[size_++] = m;
    }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    void clear() { size_ = 0; }
    // Sets the size to n <= MAX_MOVES. Entries past the old size hold whatever
    // was written there through begin(): generators fill a run of moves in
    // bulk and then commit it, keeping the count out of memory in hot loops.
    void resize(std::size_t n) {
        assert(n <= MAX_MOVES);
        size_ = n;
    }
    Move& operator[](std::size_t i) { return moves_[i]; }
    const Move& operator[](std::size_t i) const { return moves_[i]; }
    Move* begin() { return moves_; }
    Move* end() { return moves_ + size_; }
    const Move* begin() const { return moves_; }
    const Move* end() const { return moves_ + size_; }

  private:
    union {
        Move moves_[MAX_MOVES];
    };
    std::size_t size_ = 0;
};

}  // namespace tovak
