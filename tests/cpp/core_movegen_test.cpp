// The fast move generation against the literal rules, on the states of seeded
// random games, on random placements of every density and on a few shapes
// built to be extreme. Same moves in the same order, the same destinations of
// every piece, the same verdict and error for every from/to pair, and the same
// position (hash included) after every move. (The counts the evaluation takes
// from the destinations are checked with it, in engine_side_moves_test.cpp.)

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

#include "core/movegen.h"
#include "core/position.h"
#include "core_positions_support.h"
#include "core_printing_support.h"
#include "core_reference_support.h"

namespace tovak {
namespace {

std::vector<Move> as_vector(const MoveList& list) {
    return std::vector<Move>(list.begin(), list.end());
}

// The destinations of each own piece as for_each_piece hands them out (0 for
// the other squares), and that it visits the own squares in ascending order.
std::array<Bitboard, 64> piece_destinations(Bitboard own) {
    std::array<Bitboard, 64> out{};
    Bitboard visited = 0;
    const bool finished = for_each_piece(own, [&](Square from, Bitboard destinations) {
        EXPECT_EQ(visited >> from.index, 0u) << "out of order at " << int{from.index};
        visited |= bit_of(from.index);
        out[from.index] = destinations;
        return true;
    });
    EXPECT_TRUE(finished);
    EXPECT_EQ(visited, own);
    return out;
}

// Everything derived from the move list of one position.
void check_generation(const Position& p) {
    SCOPED_TRACE(samples::describe(p));
    const std::vector<Move> expected = reference::legal_moves(p);
    ASSERT_LE(expected.size(), MAX_MOVES);

    MoveList list;
    list.push_back(Move{});  // must be cleared, not appended to
    generate_legal_moves(p, list);
    ASSERT_EQ(as_vector(list), expected);
    ASSERT_EQ(p.legal_moves(), expected);

    // Each piece's destinations, which the search takes its moves from.
    std::array<Bitboard, 64> expected_destinations{};
    for (const Move m : expected) expected_destinations[m.from.index] |= bit_of(m.to.index);
    ASSERT_EQ(piece_destinations(p.pieces(p.side_to_move)), expected_destinations);

    ASSERT_EQ(has_legal_move(p), !expected.empty());
    ASSERT_EQ(p.outcome(),
              expected.empty() ? std::optional<Color>(opponent(p.side_to_move)) : std::nullopt);

    ASSERT_EQ(p.hash, reference::hash(p));
    for (Color c : {Color::White, Color::Black})
        ASSERT_EQ(p.squares_of(c), reference::squares_of(p, c));
}

// Every one of the 4096 from/to pairs: the verdict agrees with the move list
// and the reference's error (and so do the pieces' destinations); a failed apply_move changes nothing and a
// successful one gives the reference's position.
void check_every_pair(const Position& p) {
    SCOPED_TRACE(samples::describe(p));
    const Bitboard own = p.pieces(p.side_to_move);
    const std::array<Bitboard, 64> destinations = piece_destinations(own);
    std::array<bool, 64 * 64> listed{};
    for (const Move m : reference::legal_moves(p))
        listed[static_cast<std::size_t>(dense_index(m))] = true;
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            const Move m{Square::from_index(from), Square::from_index(to)};
            const std::optional<MoveError> error = p.is_legal_move(m);
            ASSERT_EQ(!error.has_value(), listed[static_cast<std::size_t>(dense_index(m))])
                << to_string(m);
            ASSERT_EQ(error, reference::is_legal_move(p, m)) << to_string(m);
            ASSERT_EQ((own & bit_of(from)) && (destinations[m.from.index] & bit_of(to)), !error.has_value())
                << to_string(m);

            Position fast = p;
            ASSERT_EQ(fast.apply_move(m), error) << to_string(m);
            if (error) {
                ASSERT_EQ(fast, p) << to_string(m);
                continue;
            }
            Position slow = p;
            ASSERT_FALSE(reference::apply_move(slow, m).has_value());
            ASSERT_EQ(fast, slow) << to_string(m);
            ASSERT_EQ(fast.hash, reference::hash(fast)) << to_string(m);
            Position unchecked = p;
            unchecked.apply_legal_move(m);
            ASSERT_EQ(unchecked, fast) << to_string(m);
        }
    }
}

// supporting_pivots for both colours and every pair, no rule checked; for the
// side to move it is non-empty exactly when the first three tests pass and the
// fourth does too.
void check_supporting_pivots(const Position& p) {
    SCOPED_TRACE(samples::describe(p));
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            const Move m{Square::from_index(from), Square::from_index(to)};
            for (Color c : {Color::White, Color::Black}) {
                const std::vector<SupportingPivot> pivots = p.supporting_pivots(c, m);
                ASSERT_EQ(pivots, reference::supporting_pivots(p, c, m))
                    << to_string(m) << " " << color_name(c);
                if (c != p.side_to_move) continue;
                const std::optional<MoveError> error = p.is_legal_move(m);
                if (!error) {
                    ASSERT_FALSE(pivots.empty()) << to_string(m);
                } else if (*error == MoveError::NoSupportingPivot) {
                    ASSERT_TRUE(pivots.empty()) << to_string(m);
                }
            }
        }
    }
}

// --- random games -------------------------------------------------------------

constexpr int GAME_COUNT = 30;
constexpr int PLY_CAP = 400;

class RandomGames : public ::testing::TestWithParam<int> {};

TEST_P(RandomGames, EveryStateAgreesWithTheReference) {
    const samples::RandomGame game = samples::random_game(0x9a3e0000u + GetParam(), PLY_CAP);
    for (std::size_t i = 0; i < game.states.size(); ++i) {
        const Position& p = game.states[i];
        ASSERT_NO_FATAL_FAILURE(check_generation(p)) << "ply " << i;
        if (i % 32 == 0) {
            ASSERT_NO_FATAL_FAILURE(check_every_pair(p)) << "ply " << i;
        }
        if (i % 128 == 0) {
            ASSERT_NO_FATAL_FAILURE(check_supporting_pivots(p)) << "ply " << i;
        }
    }
    // The game is a chain of legal moves, each passing the turn and keeping
    // the hash equal to the from-scratch value.
    for (std::size_t i = 0; i < game.moves.size(); ++i) {
        const Position& before = game.states[i];
        const Position& after = game.states[i + 1];
        ASSERT_EQ(after.side_to_move, opponent(before.side_to_move));
        Position played = before;
        ASSERT_EQ(played.apply_move(game.moves[i]), std::nullopt) << "ply " << i;
        ASSERT_EQ(played, after);
        Position literal = before;
        ASSERT_EQ(reference::apply_move(literal, game.moves[i]), std::nullopt);
        ASSERT_EQ(literal, after) << "ply " << i;
        ASSERT_EQ(after.piece_count(after.side_to_move) +
                      (reference::owner(before, game.moves[i].to) ? 1 : 0),
                  before.piece_count(after.side_to_move));
    }
    if (game.moves.size() < static_cast<std::size_t>(PLY_CAP)) {
        const Position& last = game.states.back();
        EXPECT_EQ(last.outcome(), opponent(last.side_to_move));
    }
}

INSTANTIATE_TEST_SUITE_P(Seeded, RandomGames, ::testing::Range(0, GAME_COUNT));

// Random games must actually reach the situations that matter, or agreeing on
// them proves little: captures, finished games, and small sides.
TEST(RandomGamesCoverage, GamesReachCapturesAndEndings) {
    int captures = 0, finished = 0, small_sides = 0;
    for (int seed = 0; seed < GAME_COUNT; ++seed) {
        const samples::RandomGame game = samples::random_game(0x9a3e0000u + seed, PLY_CAP);
        for (std::size_t i = 0; i < game.moves.size(); ++i)
            captures += reference::owner(game.states[i], game.moves[i].to).has_value();
        finished += game.moves.size() < static_cast<std::size_t>(PLY_CAP);
        const Position& last = game.states.back();
        small_sides += last.piece_count(last.side_to_move) < 3;
    }
    EXPECT_GT(captures, 100);
    EXPECT_GT(finished, GAME_COUNT / 4);
    EXPECT_GT(small_sides, 0);
}

// --- random placements -----------------------------------------------------------

class RandomPlacements : public ::testing::TestWithParam<int> {};

TEST_P(RandomPlacements, EveryPlacementAgreesWithTheReference) {
    const std::vector<Position> positions =
        samples::varied_placements(0x71ace000u + GetParam(), 250);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        ASSERT_NO_FATAL_FAILURE(check_generation(positions[i])) << "placement " << i;
        if (i % 50 == 0) {
            ASSERT_NO_FATAL_FAILURE(check_every_pair(positions[i])) << "placement " << i;
        }
        if (i % 250 == 0) {
            ASSERT_NO_FATAL_FAILURE(check_supporting_pivots(positions[i])) << "placement " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Seeded, RandomPlacements, ::testing::Range(0, 4));

// --- extreme shapes ---------------------------------------------------------------

struct Shape {
    const char* name;
    Bitboard own;
    Bitboard enemy;
};

class ExtremeShapes : public ::testing::TestWithParam<Shape> {};

TEST_P(ExtremeShapes, AgreeWithTheReference) {
    const Shape& shape = GetParam();
    for (Color side : {Color::White, Color::Black}) {
        Position p = Position::empty(side);
        for (int i = 0; i < 64; ++i) {
            if ((shape.own >> i) & 1) p.set_piece(side, Square::from_index(i));
            if ((shape.enemy >> i) & 1) p.set_piece(opponent(side), Square::from_index(i));
        }
        ASSERT_NO_FATAL_FAILURE(check_generation(p));
        ASSERT_NO_FATAL_FAILURE(check_every_pair(p));
    }
}

constexpr Bitboard LOWER_HALF = 0x00000000ffffffffULL;
constexpr Bitboard LIGHT = 0x55aa55aa55aa55aaULL;
constexpr Bitboard EDGES = 0xff818181818181ffULL;
constexpr Bitboard DIAGONALS = 0x8142241818244281ULL;
constexpr Bitboard ALTERNATE_FILES = 0x5555555555555555ULL;
// Each of these 32 pieces reaches each of the 32 other squares.
constexpr Bitboard FULL_REACH = 0xefd181628381c1ffULL;

INSTANTIATE_TEST_SUITE_P(
    Built, ExtremeShapes,
    ::testing::Values(Shape{"lower_half", LOWER_HALF, 0},
                      Shape{"lower_half_v_upper", LOWER_HALF, ~LOWER_HALF},
                      Shape{"light_squares", LIGHT, 0}, Shape{"light_v_dark", LIGHT, ~LIGHT},
                      Shape{"alternate_files", ALTERNATE_FILES, 0}, Shape{"edges", EDGES, ~EDGES},
                      Shape{"diagonals", DIAGONALS, 0}, Shape{"full_board_one_gap", ~bit_of(27), 0},
                      Shape{"corners", 0x8100000000000081ULL, ~0x8100000000000081ULL},
                      Shape{"three_in_a_row", 0x7, 0}, Shape{"full_reach", FULL_REACH, ~FULL_REACH},
                      Shape{"three_far_apart", bit_of(0) | bit_of(7) | bit_of(63), 0}),
    [](const ::testing::TestParamInfo<Shape>& shape) { return std::string(shape.param.name); });

// The move list's proved capacity is met exactly by FULL_REACH, so it must
// not be any smaller.

TEST(ExtremeShapes, EveryPieceReachingEveryOtherSquareFillsTheMoveList) {
    for (const Bitboard enemy : {Bitboard{0}, ~FULL_REACH}) {
        Position p = Position::empty(Color::White);
        for (int i = 0; i < 64; ++i) {
            if ((FULL_REACH >> i) & 1) p.set_piece(Color::White, Square::from_index(i));
            if ((enemy >> i) & 1) p.set_piece(Color::Black, Square::from_index(i));
        }
        ASSERT_EQ(reference::legal_moves(p).size(), MAX_MOVES);
        ASSERT_NO_FATAL_FAILURE(check_generation(p));
        int captures = 0;
        for (const Bitboard destinations : piece_destinations(p.white())) captures += popcount(destinations & enemy);
        EXPECT_EQ(captures, enemy ? 1024 : 0);
    }
}

}  // namespace
}  // namespace tovak
