// The position hash: keys recomputed with the mix function written out again,
// the listed values, and the incremental hash against the from-scratch one
// after every kind of edit.

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "core/hash.h"
#include "core/position.h"
#include "core_printing_support.h"
#include "core_reference_support.h"

namespace tovak {
namespace {

Square sq(const char* text) { return *parse_square(text); }
Move mv(const char* text) { return *parse_move(text); }

TEST(HashKeys, EveryKeyEqualsTheMixOfItsSaltedSquare) {
    std::set<std::uint64_t> distinct;
    for (Color c : {Color::White, Color::Black}) {
        for (int i = 0; i < 64; ++i) {
            const Square s = Square::from_index(i);
            ASSERT_EQ(piece_key(c, s), reference::piece_key(c, s)) << i;
            distinct.insert(piece_key(c, s));
        }
        EXPECT_EQ(side_key(c), reference::side_term(c));
    }
    // A repeated key would make two placements collide by construction.
    EXPECT_EQ(distinct.size(), 128u);
    EXPECT_EQ(distinct.count(0), 0u);
    EXPECT_EQ(distinct.count(SIDE_TO_MOVE_KEY), 0u);

    std::mt19937_64 rng(0x5eed0003);
    for (int round = 0; round < 1000; ++round) {
        const std::uint64_t z = rng();
        ASSERT_EQ(splitmix64_mix(z), reference::mix(z)) << z;
    }
}

TEST(HashKeys, ListedValues) {
    EXPECT_EQ(piece_key(Color::White, sq("a1")), 0x2cb0f69f4abea221ULL);
    EXPECT_EQ(piece_key(Color::Black, sq("h8")), 0x0415183981a22c50ULL);
    EXPECT_EQ(reference::piece_key(Color::White, sq("a1")), 0x2cb0f69f4abea221ULL);
    EXPECT_EQ(reference::piece_key(Color::Black, sq("h8")), 0x0415183981a22c50ULL);
    // The two XOR constants of a Black key combine to one.
    EXPECT_EQ(0x94d049bb133111ebULL ^ 0x243f6a8885a308d3ULL, 0xb0ef233396921938ULL);
    EXPECT_EQ(SIDE_TO_MOVE_KEY, 0x9e3779b97f4a7c15ULL);
}

TEST(PositionHash, InitialAndEmptyPositions) {
    const Position initial = Position::initial();
    EXPECT_EQ(initial.hash, 0xf5d7c73a32ad2448ULL);
    EXPECT_EQ(reference::hash(initial), 0xf5d7c73a32ad2448ULL);
    EXPECT_EQ(hash_from_scratch(initial), 0xf5d7c73a32ad2448ULL);
    EXPECT_EQ(initial.white(), 0x000000000000ffffULL);
    EXPECT_EQ(initial.black(), 0xffff000000000000ULL);
    EXPECT_EQ(initial.side_to_move, Color::White);
    EXPECT_EQ(Position{}, initial);

    const Position white = Position::empty(Color::White);
    const Position black = Position::empty(Color::Black);
    EXPECT_EQ(white.hash, 0x9e3779b97f4a7c15ULL);
    EXPECT_EQ(black.hash, 0u);
    EXPECT_EQ(white.occupied() | black.occupied(), 0u);
    EXPECT_EQ(white.side_to_move, Color::White);
    EXPECT_EQ(black.side_to_move, Color::Black);
}

TEST(PositionHash, AfterA1B3EqualsTheSamePlacementBuiltByHand) {
    Position played = Position::initial();
    ASSERT_FALSE(played.apply_move(mv("a1-b3")).has_value());
    EXPECT_EQ(played.side_to_move, Color::Black);
    EXPECT_EQ(played.hash, 0x434c5e4f4fa03ef0ULL);

    Position built = Position::empty(Color::Black);
    for (int i = 1; i < 16; ++i) built.set_piece(Color::White, Square::from_index(i));
    built.set_piece(Color::White, sq("b3"));
    for (int i = 48; i < 64; ++i) built.set_piece(Color::Black, Square::from_index(i));
    EXPECT_EQ(built.hash, 0x434c5e4f4fa03ef0ULL);
    EXPECT_EQ(built, played);
    EXPECT_EQ(reference::hash(played), 0x434c5e4f4fa03ef0ULL);
}

TEST(PositionEdits, SetPieceReplacesAPieceOfTheOtherColour) {
    Position p = Position::empty(Color::White);
    p.set_piece(Color::Black, sq("e4"));
    const Position before = p;
    p.set_piece(Color::White, sq("e4"));
    EXPECT_EQ(p.black(), 0u);
    EXPECT_EQ(p.white(), bit_of(28));
    EXPECT_EQ(p.hash ^ before.hash,
              piece_key(Color::Black, sq("e4")) ^ piece_key(Color::White, sq("e4")));
    EXPECT_EQ(p.piece_at(sq("e4")), Color::White);
    EXPECT_EQ(p.side_to_move, Color::White);
}

TEST(PositionEdits, RepeatedOrEmptyEditsChangeNothing) {
    Position p = Position::initial();
    const Position before = p;
    p.set_piece(Color::White, sq("a1"));  // already White's
    EXPECT_EQ(p, before);
    p.clear_square(sq("e4"));  // already empty
    EXPECT_EQ(p, before);
    p.set_side_to_move(Color::White);
    EXPECT_EQ(p, before);
    p.set_side_to_move(Color::Black);
    EXPECT_EQ(p.hash, before.hash ^ SIDE_TO_MOVE_KEY);
    EXPECT_EQ(p.side_to_move, Color::Black);
    p.clear_square(sq("a8"));
    EXPECT_EQ(p.piece_at(sq("a8")), std::nullopt);
    EXPECT_EQ(p.piece_count(Color::Black), 15);
}

// Random edits of every kind, each followed by a full comparison with the
// literal reading of the board.
TEST(PositionEdits, IncrementalHashEqualsTheFromScratchHashAfterEveryEdit) {
    std::mt19937_64 rng(0x5eed0004);
    auto uniform = [&rng](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    for (int sequence = 0; sequence < 40; ++sequence) {
        Position p = sequence % 2 ? Position::initial()
                                  : Position::empty(sequence % 4 ? Color::White : Color::Black);
        for (int step = 0; step < 400; ++step) {
            const Square s = Square::from_index(uniform(0, 63));
            const int kind = uniform(0, 9);
            if (kind < 5) {
                p.set_piece(kind % 2 ? Color::Black : Color::White, s);
                ASSERT_EQ(p.piece_at(s), kind % 2 ? Color::Black : Color::White);
            } else if (kind < 9) {
                p.clear_square(s);
                ASSERT_EQ(p.piece_at(s), std::nullopt);
            } else {
                p.set_side_to_move(uniform(0, 1) ? Color::Black : Color::White);
            }
            ASSERT_EQ(p.white() & p.black(), 0u);
            ASSERT_EQ(p.hash, reference::hash(p)) << "sequence " << sequence << " step " << step;
            ASSERT_EQ(hash_from_scratch(p), p.hash);
        }
        for (int i = 0; i < 64; ++i) {
            const Square s = Square::from_index(i);
            ASSERT_EQ(p.piece_at(s), reference::owner(p, s));
        }
        for (Color c : {Color::White, Color::Black}) {
            ASSERT_EQ(p.squares_of(c), reference::squares_of(p, c));
            ASSERT_EQ(p.piece_count(c), static_cast<int>(reference::squares_of(p, c).size()));
        }
    }
}

}  // namespace
}  // namespace tovak
