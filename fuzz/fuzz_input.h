#pragma once
// Reading a fuzz input as a sequence of small decisions: bytes past the end
// read as zero, so every input, however short, decodes to something.

#include <cstddef>
#include <cstdint>

#include "core/position.h"

namespace tovak::fuzz {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return pos_ >= size_; }
    std::uint8_t next() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint64_t next_u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v = (v << 8) | next();
        return v;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

inline Square square_from(std::uint8_t b) { return Square::from_index(b & 63); }
inline Color color_from(std::uint8_t b) { return (b & 1) ? Color::Black : Color::White; }

// The first byte picks the initial position, an empty one of either side, or
// an arbitrary placement (two 64-bit sets, White's winning overlaps, and a
// side to move), built with set_piece.
inline Position start_position(ByteReader& in) {
    const std::uint8_t kind = in.next() % 4;
    if (kind == 0) return Position::initial();
    if (kind == 1) return Position::empty(Color::White);
    if (kind == 2) return Position::empty(Color::Black);
    const std::uint64_t white = in.next_u64();
    const std::uint64_t black = in.next_u64() & ~white;
    Position p = Position::empty(color_from(in.next()));
    for (int sq = 0; sq < 64; ++sq) {
        if ((white >> sq) & 1u) p.set_piece(Color::White, Square::from_index(sq));
        if ((black >> sq) & 1u) p.set_piece(Color::Black, Square::from_index(sq));
    }
    return p;
}

}  // namespace tovak::fuzz
