#include "reference_rules.h"

#include <array>

namespace tovak::fuzz {
namespace {

bool holds(const Position& p, Color c, int sq) { return ((p.sets[static_cast<int>(c)] >> sq) & 1u) != 0; }

}  // namespace

std::vector<int> reference_squares(const Position& p, Color c) {
    std::vector<int> out;
    for (int sq = 0; sq < 64; ++sq)
        if (holds(p, c, sq)) out.push_back(sq);
    return out;
}

std::vector<Move> reference_legal_moves(const Position& p) {
    const Color side = p.side_to_move;
    const std::vector<int> s = reference_squares(p, side);
    std::array<bool, 64 * 64> seen{};
    std::vector<Move> out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        for (std::size_t j = i + 1; j < s.size(); ++j) {
            const int pf = s[i] % 8 + s[j] % 8;
            const int pr = s[i] / 8 + s[j] / 8;
            for (const int from : s) {
                const int tf = pf - from % 8;
                const int tr = pr - from / 8;
                if (tf < 0 || tf > 7 || tr < 0 || tr > 7) continue;
                const int to = tf + 8 * tr;
                if (holds(p, side, to)) continue;
                if (seen[from * 64 + to]) continue;
                seen[from * 64 + to] = true;
                out.push_back(Move{Square::from_index(from), Square::from_index(to)});
            }
        }
    }
    return out;
}

std::optional<MoveError> reference_move_error(const Position& p, Move m) {
    const Color side = p.side_to_move;
    if (m.from == m.to) return MoveError::SameSquare;
    if (!holds(p, side, m.from.index))
        return holds(p, opponent(side), m.from.index) ? MoveError::NotOwnPiece : MoveError::EmptyOrigin;
    if (holds(p, side, m.to.index)) return MoveError::FriendlyDestination;
    if (reference_supporting_pivots(p, side, m).empty()) return MoveError::NoSupportingPivot;
    return std::nullopt;
}

std::vector<SupportingPivot> reference_supporting_pivots(const Position& p, Color c, Move m) {
    const int sum_file = m.from.index % 8 + m.to.index % 8;
    const int sum_rank = m.from.index / 8 + m.to.index / 8;
    const std::vector<int> s = reference_squares(p, c);
    std::vector<SupportingPivot> out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        for (std::size_t j = i + 1; j < s.size(); ++j) {
            if (s[i] == m.from.index || s[j] == m.from.index) continue;
            if (s[i] % 8 + s[j] % 8 != sum_file || s[i] / 8 + s[j] / 8 != sum_rank) continue;
            SupportingPivot sp;
            sp.pivot = Pivot{static_cast<std::int8_t>(sum_file), static_cast<std::int8_t>(sum_rank)};
            sp.supports[0] = Square::from_index(s[i]);
            sp.supports[1] = Square::from_index(s[j]);
            out.push_back(sp);
        }
    }
    return out;
}

}  // namespace tovak::fuzz
