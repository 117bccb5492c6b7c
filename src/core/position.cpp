#include "core/position.h"

#include <cassert>

#include "core/hash.h"
#include "core/movegen.h"
#include "core/pivot_set.h"
#include "core/reflection.h"

namespace tovak {

std::string_view message(MoveError e) {
    switch (e) {
        case MoveError::NotOwnPiece:
            return "piece does not belong to player to move";
        case MoveError::EmptyOrigin:
            return "origin square is empty";
        case MoveError::SameSquare:
            return "start and destination must differ";
        case MoveError::FriendlyDestination:
            return "destination is occupied by a friendly piece";
        case MoveError::NoSupportingPivot:
            return "no supporting pivot exists for this move";
    }
    return "";
}

Position Position::empty(Color side_to_move) {
    Position p;
    p.sets[0] = p.sets[1] = 0;
    p.side_to_move = side_to_move;
    p.hash = side_key(side_to_move);
    return p;
}

void Position::clear_square(Square s) {
    const Bitboard b = bit_of(s);
    for (Color c : {Color::White, Color::Black}) {
        if (sets[index_of(c)] & b) {
            sets[index_of(c)] &= ~b;
            hash ^= piece_key(c, s);
            break;
        }
    }
    assert_consistent(*this);
}

void Position::set_piece(Color c, Square s) {
    clear_square(s);
    sets[index_of(c)] |= bit_of(s);
    hash ^= piece_key(c, s);
    assert_consistent(*this);
}

void Position::set_side_to_move(Color c) {
    if (c == side_to_move) return;
    side_to_move = c;
    hash ^= SIDE_TO_MOVE_KEY;
}

std::optional<Color> Position::piece_at(Square s) const {
    const Bitboard b = bit_of(s);
    if (sets[0] & b) return Color::White;
    if (sets[1] & b) return Color::Black;
    return std::nullopt;
}

std::vector<Square> Position::squares_of(Color c) const {
    Bitboard b = pieces(c);
    std::vector<Square> out;
    out.reserve(static_cast<std::size_t>(popcount(b)));
    while (b) out.push_back(pop_lowest_square(b));
    return out;
}

std::vector<Move> Position::legal_moves() const {
    MoveList list;
    generate_legal_moves(*this, list);
    return std::vector<Move>(list.begin(), list.end());
}

std::optional<MoveError> Position::is_legal_move(Move m) const {
    if (m.from == m.to) return MoveError::SameSquare;
    const Bitboard own = pieces(side_to_move);
    const Bitboard from_bit = bit_of(m.from);
    if (!(own & from_bit)) {
        return (pieces(opponent(side_to_move)) & from_bit) ? MoveError::NotOwnPiece
                                                           : MoveError::EmptyOrigin;
    }
    if (own & bit_of(m.to)) return MoveError::FriendlyDestination;
    // A pair of other own pieces with the move's pivot.
    const int spread = move_pivot_spread(m.from, m.to);
    if (FirstPairs(own & ~from_bit).paired_squares(spread) == 0)
        return MoveError::NoSupportingPivot;
    return std::nullopt;
}

std::vector<SupportingPivot> Position::supporting_pivots(Color c, Move m) const {
    // The pairs with the move's pivot, neither square on `from`, by ascending
    // lower square: each square pairs with at most one other through a pivot.
    const Pivot pivot = Pivot::between(m.from, m.to);
    const int spread = move_pivot_spread(m.from, m.to);
    const int square_sum = m.from.index + m.to.index;
    std::vector<SupportingPivot> out;
    for (Bitboard paired = FirstPairs(pieces(c) & ~bit_of(m.from)).paired_squares(spread);
         paired;) {
        const int lower = pop_lowest_bit(paired);
        const int upper = square_sum - lower;
        if (upper > lower)
            out.push_back(
                SupportingPivot{pivot, {Square::from_index(lower), Square::from_index(upper)}});
    }
    return out;
}

std::uint64_t Position::hash_after(Move m) const {
    const Color mover = side_to_move;
    const Color other = opponent(mover);
    std::uint64_t h = hash ^ piece_key(mover, m.from) ^ piece_key(mover, m.to) ^ SIDE_TO_MOVE_KEY;
    if (pieces(other) & bit_of(m.to)) h ^= piece_key(other, m.to);
    return h;
}

void Position::apply_legal_move(Move m) {
    const Color mover = side_to_move;
    const Color other = opponent(mover);
    const Bitboard to_bit = bit_of(m.to);
    hash = hash_after(m);
    sets[index_of(mover)] ^= bit_of(m.from) | to_bit;
    sets[index_of(other)] &= ~to_bit;
    side_to_move = other;
    assert_consistent(*this);
}

std::optional<MoveError> Position::apply_move(Move m) {
    if (const auto error = is_legal_move(m)) return error;
    apply_legal_move(m);
    return std::nullopt;
}

std::optional<Color> Position::outcome() const {
    if (has_legal_move(*this)) return std::nullopt;
    return opponent(side_to_move);
}

std::uint64_t hash_from_scratch(const Position& p) {
    std::uint64_t h = side_key(p.side_to_move);
    for (Color c : {Color::White, Color::Black}) {
        Bitboard b = p.pieces(c);
        while (b) h ^= piece_key(c, pop_lowest_square(b));
    }
    return h;
}

void assert_consistent([[maybe_unused]] const Position& p) {
    assert((p.sets[0] & p.sets[1]) == 0);
    assert(p.hash == hash_from_scratch(p));
}

}  // namespace tovak
