// Pivots: the listed examples, every pivot and square against the literal
// arithmetic, and the whole-set reflection against the per-square one.

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <vector>

#include "core/bitboard.h"
#include "core/pivot.h"
#include "core/square.h"
#include "core_printing_support.h"
#include "core_reference_support.h"
#include "core_reflection_support.h"

namespace tovak {
namespace {

Square sq(const char* text) { return *parse_square(text); }
constexpr Pivot pivot(int f, int r) {
    return Pivot{static_cast<std::int8_t>(f), static_cast<std::int8_t>(r)};
}

struct ReflectCase {
    const char* a;
    const char* b;
    Pivot expected_pivot;
    std::optional<int> centre;
    const char* reflected;
    std::optional<int> image;
};

class PivotExamples : public ::testing::TestWithParam<ReflectCase> {};

TEST_P(PivotExamples, BetweenCentreAndReflection) {
    const ReflectCase& c = GetParam();
    const Pivot p = Pivot::between(sq(c.a), sq(c.b));
    EXPECT_EQ(p, c.expected_pivot);
    EXPECT_EQ(Pivot::between(sq(c.b), sq(c.a)), p);
    const std::optional<Square> centre = p.center_square();
    ASSERT_EQ(centre.has_value(), c.centre.has_value());
    if (centre) {
        EXPECT_EQ(centre->index, *c.centre);
    }
    const std::optional<Square> image = reference::reflect(p, sq(c.reflected));
    ASSERT_EQ(image.has_value(), c.image.has_value()) << c.reflected;
    if (image) {
        EXPECT_EQ(image->index, *c.image);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Listed, PivotExamples,
    ::testing::Values(ReflectCase{"a1", "c3", pivot(2, 2), 9, "a3", 2},  // a3 -> c1
                      ReflectCase{"a1", "c3", pivot(2, 2), 9, "b2", 9},  // the centre itself
                      ReflectCase{"a1", "b1", pivot(1, 0), {}, "a1", 1},
                      ReflectCase{"a1", "b1", pivot(1, 0), {}, "a2", {}},  // rank -1
                      ReflectCase{"a1", "b2", pivot(1, 1), {}, "a2", 1},
                      ReflectCase{"a1", "h8", pivot(7, 7), {}, "h1", 56},
                      ReflectCase{"h8", "h8", pivot(14, 14), 63, "g8", {}}));

TEST(PivotExamples, HandBuiltPivotOffTheBoardHasNoCentre) {
    EXPECT_FALSE(pivot(-2, 4).center_square().has_value());
    EXPECT_FALSE(pivot(4, 16).center_square().has_value());
    EXPECT_FALSE(pivot(-1, -1).center_square().has_value());
    EXPECT_EQ(pivot(0, 0).center_square(), sq("a1"));
    EXPECT_EQ(pivot(14, 14).center_square(), sq("h8"));
}

TEST(PivotArithmetic, BetweenAgreesWithTheReferenceForAllPairs) {
    for (int a = 0; a < 64; ++a) {
        for (int b = 0; b < 64; ++b) {
            const Square sa = Square::from_index(a), sb = Square::from_index(b);
            const Pivot p = Pivot::between(sa, sb);
            ASSERT_EQ(p, reference::pivot_between(sa, sb));
            ASSERT_EQ(p, Pivot::between(sb, sa));
            // Reflecting one square through the pair's pivot gives the other.
            ASSERT_EQ(reference::reflect(p, sa), sb);
        }
    }
}

// Pivots well beyond the board in every direction and at the ends of the
// byte range: no reflection may wrap back onto the board.
std::vector<int> doubled_coordinates() {
    std::vector<int> values = {-128, -127, -100, 100, 126, 127};
    for (int v = -32; v <= 47; ++v) values.push_back(v);
    return values;
}

TEST(PivotArithmetic, CentreAgreesWithTheReferenceBeyondTheBoard) {
    for (const int f : doubled_coordinates()) {
        for (const int r : doubled_coordinates()) {
            const Pivot p = pivot(f, r);
            ASSERT_EQ(p.center_square(), reference::center_square(p)) << f << "," << r;
        }
    }
}

// The per-square definition of reflecting a whole set.
Bitboard reflect_each(Bitboard b, Pivot p) {
    Bitboard image = 0;
    for (int s = 0; s < 64; ++s) {
        if (!((b >> s) & 1)) continue;
        if (const std::optional<Square> t = reference::reflect(p, Square::from_index(s)))
            image |= bit_of(t->index);
    }
    return image;
}

TEST(ReflectSet, MatchesPerSquareReflectionForAllPivots) {
    std::mt19937_64 rng(0x5eed0002);
    for (int f = 0; f <= 14; ++f) {
        for (int r = 0; r <= 14; ++r) {
            const Pivot p = pivot(f, r);
            for (int s = 0; s < 64; ++s)
                ASSERT_EQ(reflect_set(bit_of(s), p), reflect_each(bit_of(s), p)) << s;
            for (int round = 0; round < 64; ++round) {
                // Sparse, medium and dense sets.
                Bitboard b = rng();
                if (round % 3 == 0) b &= rng() & rng();
                if (round % 3 == 1) b |= rng();
                const Bitboard image = reflect_set(b, p);
                ASSERT_EQ(image, reflect_each(b, p)) << f << "," << r;
                // An involution on the squares that stay on the board.
                ASSERT_EQ(reflect_set(image, p), b & reflect_set(~Bitboard{0}, p));
            }
            ASSERT_EQ(reflect_set(0, p), 0u);
        }
    }
}

TEST(ReflectSet, PivotsBeyondTheBoardReflectEverythingOff) {
    const Pivot outside[] = {pivot(-1, 0),  pivot(0, -1),   pivot(-2, 4),      pivot(15, 7),
                             pivot(7, 15),  pivot(15, 15),  pivot(-128, -128), pivot(127, 127),
                             pivot(127, 0), pivot(-128, 7), pivot(30, 30),     pivot(-15, 3)};
    for (const Pivot p : outside) {
        EXPECT_EQ(reflect_each(~Bitboard{0}, p), 0u);
        EXPECT_EQ(reflect_set(~Bitboard{0}, p), 0u)
            << int{p.file_twice} << "," << int{p.rank_twice};
        EXPECT_EQ(reflect_set(0x0123456789abcdefULL, p), 0u);
    }
}

}  // namespace
}  // namespace tovak
