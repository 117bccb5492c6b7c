#include "core_reference_support.h"

#include <array>
#include <string>

namespace tovak::reference {

// --- Squares and pivots -----------------------------------------------------

std::optional<Square> square_at(int file, int rank) {
    if (file < 0 || file > 7) return std::nullopt;
    if (rank < 0 || rank > 7) return std::nullopt;
    return Square{static_cast<std::uint8_t>(file + 8 * rank)};
}

Pivot pivot_between(Square a, Square b) {
    const int file_a = a.index % 8, rank_a = a.index / 8;
    const int file_b = b.index % 8, rank_b = b.index / 8;
    return Pivot{static_cast<std::int8_t>(file_a + file_b),
                 static_cast<std::int8_t>(rank_a + rank_b)};
}

std::optional<Square> center_square(Pivot p) {
    const int file_twice = p.file_twice;
    const int rank_twice = p.rank_twice;
    if (file_twice % 2 != 0 || rank_twice % 2 != 0) return std::nullopt;
    return square_at(file_twice / 2, rank_twice / 2);
}

std::optional<Square> reflect(Pivot p, Square s) {
    // The rule says 8-bit arithmetic; plain int gives the same answer. For
    // pivots of on-board squares nothing leaves 8-bit range, and where a
    // hand-built pivot would wrap, both the true and the wrapped coordinate
    // are off the board.
    const int f = p.file_twice - s.index % 8;
    const int r = p.rank_twice - s.index / 8;
    return square_at(f, r);
}

// --- Notation -----------------------------------------------------------------

namespace {

// A token is exactly two bytes: a file letter (an ASCII capital is folded
// first) and a rank digit. Nothing is trimmed.
std::optional<Square> parse_token(std::string_view token) {
    if (token.size() != 2) return std::nullopt;
    char file_letter = token[0];
    if (file_letter >= 'A' && file_letter <= 'Z')
        file_letter = static_cast<char>(file_letter - 'A' + 'a');
    if (file_letter < 'a' || file_letter > 'h') return std::nullopt;
    const char rank_digit = token[1];
    if (rank_digit < '1' || rank_digit > '8') return std::nullopt;
    return square_at(file_letter - 'a', rank_digit - '1');
}

std::vector<std::string_view> split_at_dashes(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-') {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

std::optional<Square> parse_square(std::string_view text) { return parse_token(text); }

Expected<Move, ParseMoveError> parse_move(std::string_view text) {
    // 1. Split at every "-" (empty parts count).
    const std::vector<std::string_view> parts = split_at_dashes(text);
    // 2. The first part is a square.
    const std::optional<Square> from = parse_token(parts[0]);
    if (!from) return ParseMoveError::InvalidSquare;
    // 3. There is a second part.
    if (parts.size() < 2) return ParseMoveError::InvalidFormat;
    // 4. The second part is a square.
    const std::optional<Square> to = parse_token(parts[1]);
    if (!to) return ParseMoveError::InvalidSquare;
    // 5. There is no third part.
    if (parts.size() > 2) return ParseMoveError::InvalidFormat;
    // 6. The move.
    return Move{*from, *to};
}

std::optional<Color> parse_color(std::string_view text) {
    std::string folded;
    for (char c : text)
        folded.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
    if (folded == "w" || folded == "white") return Color::White;
    if (folded == "b" || folded == "black") return Color::Black;
    return std::nullopt;
}

// --- Hash ---------------------------------------------------------------------

std::uint64_t mix(std::uint64_t z) {
    z = z ^ (z >> 30);
    z = z * 0xbf58476d1ce4e5b9ULL;
    z = z ^ (z >> 27);
    z = z * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::uint64_t piece_key(Color c, Square s) {
    const std::uint64_t salt = (c == Color::White) ? 0 : 0x94d049bb133111ebULL;
    return mix((std::uint64_t{s.index} ^ salt ^ 0x243f6a8885a308d3ULL) + 0x9e3779b97f4a7c15ULL);
}

std::uint64_t side_term(Color side_to_move) {
    return side_to_move == Color::White ? 0x9e3779b97f4a7c15ULL : 0;
}

std::uint64_t hash(const Position& p) {
    std::uint64_t h = 0;
    for (int i = 0; i < 64; ++i) {
        const Square s{static_cast<std::uint8_t>(i)};
        if (const std::optional<Color> c = owner(p, s)) h ^= piece_key(*c, s);
    }
    return h ^ side_term(p.side_to_move);
}

// --- Reading the board -----------------------------------------------------------

namespace {

bool holds(const Position& p, Color c, Square s) {
    return ((p.sets[c == Color::White ? 0 : 1] >> s.index) & 1) != 0;
}

Color other(Color c) { return c == Color::White ? Color::Black : Color::White; }

}  // namespace

std::optional<Color> owner(const Position& p, Square s) {
    if (holds(p, Color::White, s)) return Color::White;
    if (holds(p, Color::Black, s)) return Color::Black;
    return std::nullopt;
}

std::vector<Square> squares_of(const Position& p, Color c) {
    std::vector<Square> squares;
    for (int i = 0; i < 64; ++i) {
        const Square s{static_cast<std::uint8_t>(i)};
        if (holds(p, c, s)) squares.push_back(s);
    }
    return squares;
}

Position with_side_to_move(const Position& p, Color side) {
    Position q = p;
    q.side_to_move = side;
    q.hash = hash(q);
    return q;
}

// --- Rules ------------------------------------------------------------------------

std::vector<Move> legal_moves(const Position& p) {
    // 1. The mover's squares, ascending.
    const Color mover = p.side_to_move;
    const std::vector<Square> s = squares_of(p, mover);
    const std::size_t n = s.size();
    // 2. An empty result and 64 x 64 clear flags, indexed by from * 64 + to.
    std::vector<Move> result;
    std::array<bool, 64 * 64> listed{};
    // 3. Every pair's pivot applied to every own piece.
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            const Pivot pivot = pivot_between(s[i], s[j]);
            for (std::size_t k = 0; k < n; ++k) {
                const std::optional<Square> t = reflect(pivot, s[k]);
                if (!t) continue;
                if (holds(p, mover, *t)) continue;
                const std::size_t flag = std::size_t{s[k].index} * 64 + t->index;
                if (listed[flag]) continue;
                listed[flag] = true;
                result.push_back(Move{s[k], *t});
            }
        }
    }
    // 4.
    return result;
}

std::optional<MoveError> is_legal_move(const Position& p, Move m) {
    const Color mover = p.side_to_move;
    // 1. The same square twice.
    if (m.from == m.to) return MoveError::SameSquare;
    // 2. No own piece on the origin.
    if (!holds(p, mover, m.from)) {
        if (holds(p, other(mover), m.from)) return MoveError::NotOwnPiece;
        return MoveError::EmptyOrigin;
    }
    // 3. An own piece on the destination.
    if (holds(p, mover, m.to)) return MoveError::FriendlyDestination;
    // 4. A pair of other own pieces with the move's midpoint.
    const std::vector<Square> s = squares_of(p, mover);
    const int file_sum = m.from.index % 8 + m.to.index % 8;
    const int rank_sum = m.from.index / 8 + m.to.index / 8;
    for (std::size_t i = 0; i < s.size(); ++i) {
        for (std::size_t j = i + 1; j < s.size(); ++j) {
            if (s[i] == m.from || s[j] == m.from) continue;
            if (s[i].index % 8 + s[j].index % 8 != file_sum) continue;
            if (s[i].index / 8 + s[j].index / 8 != rank_sum) continue;
            return std::nullopt;
        }
    }
    return MoveError::NoSupportingPivot;
}

std::vector<SupportingPivot> supporting_pivots(const Position& p, Color c, Move m) {
    const std::vector<Square> s = squares_of(p, c);
    const int file_sum = m.from.index % 8 + m.to.index % 8;
    const int rank_sum = m.from.index / 8 + m.to.index / 8;
    const Pivot pivot{static_cast<std::int8_t>(file_sum), static_cast<std::int8_t>(rank_sum)};
    std::vector<SupportingPivot> result;
    for (std::size_t i = 0; i < s.size(); ++i) {
        for (std::size_t j = i + 1; j < s.size(); ++j) {
            if (s[i] == m.from || s[j] == m.from) continue;
            if (s[i].index % 8 + s[j].index % 8 != file_sum) continue;
            if (s[i].index / 8 + s[j].index / 8 != rank_sum) continue;
            result.push_back(SupportingPivot{pivot, {s[i], s[j]}});
        }
    }
    return result;
}

std::optional<MoveError> apply_move(Position& p, Move m) {
    // 1. Legality first; nothing changes on failure.
    if (const std::optional<MoveError> error = is_legal_move(p, m)) return error;
    const Color mover = p.side_to_move;
    const Color opponent = other(mover);
    Bitboard& own = p.sets[mover == Color::White ? 0 : 1];
    Bitboard& theirs = p.sets[opponent == Color::White ? 0 : 1];
    // 2. The piece leaves its origin.
    own &= ~(Bitboard{1} << m.from.index);
    p.hash ^= piece_key(mover, m.from);
    // 3. A capture.
    if ((theirs >> m.to.index) & 1) {
        theirs &= ~(Bitboard{1} << m.to.index);
        p.hash ^= piece_key(opponent, m.to);
    }
    // 4. The piece lands.
    own |= Bitboard{1} << m.to.index;
    p.hash ^= piece_key(mover, m.to);
    // 5. The turn passes.
    p.side_to_move = opponent;
    p.hash ^= 0x9e3779b97f4a7c15ULL;
    return std::nullopt;
}

std::optional<Color> outcome(const Position& p) {
    if (legal_moves(p).empty()) return other(p.side_to_move);
    return std::nullopt;
}

// --- Counts derived from the move list ------------------------------------------

MoveCounts count_moves(const Position& p, Color side) {
    const std::vector<Move> moves = legal_moves(with_side_to_move(p, side));
    MoveCounts counts;
    counts.moves = static_cast<int>(moves.size());
    for (const Move& m : moves)
        if (holds(p, other(side), m.to)) ++counts.captures;
    std::array<bool, 64> starts_a_move{};
    for (const Move& m : moves) starts_a_move[m.from.index] = true;
    for (const Square s : squares_of(p, side))
        if (!starts_a_move[s.index]) ++counts.immobile;
    return counts;
}

std::uint64_t perft(const Position& p, int depth) {
    if (depth == 0) return 1;
    const std::vector<Move> moves = legal_moves(p);
    if (depth == 1) return moves.size();
    std::uint64_t leaves = 0;
    for (const Move& m : moves) {
        Position child = p;
        apply_move(child, m);
        leaves += perft(child, depth - 1);
    }
    return leaves;
}

}  // namespace tovak::reference
