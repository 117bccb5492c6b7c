#include "position_checks.h"

#include <array>
#include <optional>
#include <vector>

#include "core/movegen.h"
#include "engine/move_counts.h"
#include "fuzz_check.h"
#include "core_reference_support.h"
#include "core_reflection_support.h"

namespace tovak::fuzz {
namespace {

bool same_moves(const std::vector<Move>& a, const std::vector<Move>& b) { return a == b; }

void check_counts(const Position& p, Color side) {
    const reference::MoveCounts want = reference::count_moves(p, side);
    const engine::MoveCounts got = engine::count_moves(p.pieces(side), p.pieces(opponent(side)));
    FUZZ_CHECK(got.moves == want.moves);
    FUZZ_CHECK(got.captures == want.captures);
    FUZZ_CHECK(got.immobile == want.immobile);
}

}  // namespace

void check_supporting_pivots(const Position& p, Color c, Move m) {
    const std::vector<SupportingPivot> got = p.supporting_pivots(c, m);
    const std::vector<SupportingPivot> want = reference::supporting_pivots(p, c, m);
    FUZZ_CHECK(got.size() == want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        FUZZ_CHECK(got[i].pivot == want[i].pivot);
        FUZZ_CHECK(got[i].supports[0] == want[i].supports[0] && got[i].supports[1] == want[i].supports[1]);
        FUZZ_CHECK(got[i].supports[0].index < got[i].supports[1].index);
        FUZZ_CHECK(got[i].pivot == Pivot::between(m.from, m.to));
    }
}

void check_invariants(const Position& p) {
    FUZZ_CHECK((p.sets[0] & p.sets[1]) == 0);
    FUZZ_CHECK(p.hash == hash_from_scratch(p));
    assert_consistent(p);
    const std::vector<Move> moves = p.legal_moves();
    FUZZ_CHECK(same_moves(moves, reference::legal_moves(p)));
    FUZZ_CHECK(has_legal_move(p) == !moves.empty());
    FUZZ_CHECK(p.outcome() == (moves.empty() ? std::optional(opponent(p.side_to_move)) : std::nullopt));
}

void check_position(const Position& p) {
    check_invariants(p);
    for (const Color c : {Color::White, Color::Black}) {
        const std::vector<Square> want = reference::squares_of(p, c);
        const std::vector<Square> got = p.squares_of(c);
        FUZZ_CHECK(got == want);
        FUZZ_CHECK(p.piece_count(c) == static_cast<int>(want.size()));
    }
    for (int sq = 0; sq < 64; ++sq) {
        const auto owner = p.piece_at(Square::from_index(sq));
        const bool w = (p.sets[0] >> sq) & 1u;
        const bool b = (p.sets[1] >> sq) & 1u;
        FUZZ_CHECK(owner == (w ? std::optional(Color::White) : b ? std::optional(Color::Black) : std::nullopt));
    }

    const std::vector<Move> moves = p.legal_moves();
    MoveList list;
    generate_legal_moves(p, list);
    FUZZ_CHECK(same_moves(moves, std::vector<Move>(list.begin(), list.end())));

    // is_legal_move over all 4096 pairs: the first failing test in the rules' order.
    std::array<bool, 4096> legal{};
    for (const Move m : moves) legal[static_cast<std::size_t>(dense_index(m))] = true;
    const Color side = p.side_to_move;
    const Bitboard own = p.sets[index_of(side)];
    const Bitboard enemy = p.sets[index_of(opponent(side))];
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            const Move m{Square::from_index(from), Square::from_index(to)};
            std::optional<MoveError> want;
            if (from == to) want = MoveError::SameSquare;
            else if (!(own & bit_of(from)))
                want = (enemy & bit_of(from)) ? MoveError::NotOwnPiece : MoveError::EmptyOrigin;
            else if (own & bit_of(to)) want = MoveError::FriendlyDestination;
            else if (!legal[static_cast<std::size_t>(from * 64 + to)]) want = MoveError::NoSupportingPivot;
            FUZZ_CHECK(p.is_legal_move(m) == want);
        }
    }

    // Each piece's destinations, which the search takes its moves from.
    std::array<Bitboard, 64> want_destinations{};
    for (const Move m : moves) want_destinations[m.from.index] |= bit_of(m.to.index);
    Bitboard visited = 0;
    FUZZ_CHECK(for_each_piece(own, [&](Square from, Bitboard destinations) {
        FUZZ_CHECK((visited >> from.index) == 0);  // ascending
        visited |= bit_of(from.index);
        FUZZ_CHECK(destinations == want_destinations[from.index]);
        return true;
    }));
    FUZZ_CHECK(visited == own);

    check_counts(p, Color::White);
    check_counts(p, Color::Black);

    // Listed moves have supporting pairs: a bounded sample, compared in full
    // (supporting_pivots is quadratic in the piece count).
    for (std::size_t i = 0; i < moves.size(); i += 1 + moves.size() / 8) {
        FUZZ_CHECK(!p.supporting_pivots(side, moves[i]).empty());
        check_supporting_pivots(p, side, moves[i]);
    }
}

void check_reflect_set(std::uint64_t set, std::uint8_t file_twice, std::uint8_t rank_twice) {
    // Mostly pivots of on-board pairs; with the top bit set, any byte (a
    // hand-built pivot far off the board reflects everything off it).
    const bool raw = (file_twice & 0x80) != 0;
    const Pivot pivot{static_cast<std::int8_t>(raw ? rank_twice : file_twice % 15),
                      static_cast<std::int8_t>(raw ? (file_twice << 1) ^ rank_twice : rank_twice % 15)};
    std::uint64_t want = 0;
    for (int sq = 0; sq < 64; ++sq) {
        if (!((set >> sq) & 1u)) continue;
        if (const auto image = reference::reflect(pivot, Square::from_index(sq))) want |= bit_of(image->index);
    }
    FUZZ_CHECK(reflect_set(set, pivot) == want);
}

void apply_checked(Position& p, Move m) {
    const Position before = p;
    const auto error = p.apply_move(m);
    FUZZ_CHECK(error == before.is_legal_move(m));
    if (error) {
        FUZZ_CHECK(p == before);
        return;
    }
    FUZZ_CHECK(p.side_to_move == opponent(before.side_to_move));
    FUZZ_CHECK(p.piece_at(m.to) == before.side_to_move);
    FUZZ_CHECK(!p.piece_at(m.from).has_value());
    const bool capture = before.piece_at(m.to) == opponent(before.side_to_move);
    FUZZ_CHECK(p.piece_count(before.side_to_move) == before.piece_count(before.side_to_move));
    FUZZ_CHECK(p.piece_count(p.side_to_move) == before.piece_count(p.side_to_move) - (capture ? 1 : 0));
}

}  // namespace tovak::fuzz
