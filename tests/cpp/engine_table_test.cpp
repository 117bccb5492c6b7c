// Transposition table: the replacement rule, the cut-off test, hints, and
// agreement with the literal table over long random insert sequences.

#include <gtest/gtest.h>

#include <array>
#include <random>

#include "engine/table.h"
#include "engine_cases_support.h"
#include "engine_reference_support.h"

namespace tovak::engine {
namespace {

// A slot written as (key, depth, score); key 0 means empty. All keys of a
// case share bucket 0 of a one-bucket table.
struct SlotLayout {
    std::uint64_t key = 0;
    int depth = 0;
    int score = 0;
};
using BucketLayout = std::array<SlotLayout, 4>;

struct ReplacementCase {
    const char* name;
    BucketLayout before;
    SlotLayout inserted;
    BucketLayout after;
};

TtEntry entry_of(const SlotLayout& s) {
    return TtEntry::make(s.key, s.score, static_cast<std::uint8_t>(s.depth), Bound::Exact, std::nullopt);
}

class Replacement : public ::testing::TestWithParam<ReplacementCase> {};

TEST_P(Replacement, FollowsTheRule) {
    const ReplacementCase& c = GetParam();
    TranspositionTable table(1);
    for (std::size_t i = 0; i < 4; ++i)
        if (c.before[i].key != 0) table.place(0, i, entry_of(c.before[i]));
    table.insert(c.inserted.key, entry_of(c.inserted));
    for (std::size_t i = 0; i < 4; ++i) {
        const TtEntry& got = table.slot(0, i);
        if (c.after[i].key == 0) {
            EXPECT_TRUE(got.empty()) << "slot " << i;
        } else {
            EXPECT_EQ(got, entry_of(c.after[i])) << "slot " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Listed, Replacement,
    ::testing::Values(
        ReplacementCase{"SameKeySmallerDepthIsDropped", {{{7, 3, 10}}}, {7, 2, 20}, {{{7, 3, 10}}}},
        ReplacementCase{"SameKeyEqualDepthReplaces", {{{7, 3, 10}}}, {7, 3, 20}, {{{7, 3, 20}}}},
        ReplacementCase{"SameKeyGreaterDepthReplaces", {{{7, 3, 10}}}, {7, 4, 20}, {{{7, 4, 20}}}},
        ReplacementCase{"KeyInSlotTwoIsUpdatedInPlace",
                        {{{}, {5, 1, 1}, {7, 2, 10}, {}}}, {7, 2, 20}, {{{}, {5, 1, 1}, {7, 2, 20}, {}}}},
        ReplacementCase{"KeyInSlotTwoKeepsItsPlaceWhenDropped",
                        {{{}, {5, 1, 1}, {7, 2, 10}, {}}}, {7, 1, 20}, {{{}, {5, 1, 1}, {7, 2, 10}, {}}}},
        ReplacementCase{"NewKeyTakesTheLowestEmptySlot",
                        {{{}, {5, 1, 1}, {}, {6, 1, 1}}}, {7, 0, 20}, {{{7, 0, 20}, {5, 1, 1}, {}, {6, 1, 1}}}},
        ReplacementCase{"FullBucketReplacesTheFirstShallowest",
                        {{{1, 3, 1}, {2, 1, 2}, {3, 1, 3}, {4, 2, 4}}}, {7, 1, 20},
                        {{{1, 3, 1}, {7, 1, 20}, {3, 1, 3}, {4, 2, 4}}}},
        ReplacementCase{"FullBucketDeeperEntryAlsoTakesTheShallowest",
                        {{{1, 3, 1}, {2, 1, 2}, {3, 1, 3}, {4, 2, 4}}}, {7, 5, 20},
                        {{{1, 3, 1}, {7, 5, 20}, {3, 1, 3}, {4, 2, 4}}}},
        ReplacementCase{"FullBucketDropsAShallowerEntry",
                        {{{1, 3, 1}, {2, 1, 2}, {3, 1, 3}, {4, 2, 4}}}, {7, 0, 20},
                        {{{1, 3, 1}, {2, 1, 2}, {3, 1, 3}, {4, 2, 4}}}},
        ReplacementCase{"QuiescenceEntryReplacesOnlyADepthZeroSlot",
                        {{{1, 3, 1}, {2, 1, 2}, {3, 0, 3}, {4, 0, 4}}}, {7, 0, 20},
                        {{{1, 3, 1}, {2, 1, 2}, {7, 0, 20}, {4, 0, 4}}}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Table, WriteReplacesEveryFieldIncludingTheBestMove) {
    TranspositionTable table(TABLE_BUCKETS);
    table.insert(99, TtEntry::make(99, 5, 2, Bound::LowerBound, move_from("a1-b3")));
    ASSERT_EQ(table.hint_move(99), move_from("a1-b3"));
    table.insert(99, TtEntry::make(99, -7, 2, Bound::UpperBound, std::nullopt));
    const TtEntry* e = table.find(99);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->score, -7);
    EXPECT_EQ(e->bound(), Bound::UpperBound);
    EXPECT_EQ(e->best_move(), std::nullopt);
    EXPECT_EQ(table.hint_move(99), std::nullopt);
}

TEST(Table, KeysSharingABucketDoNotDisturbEachOther) {
    TranspositionTable table(TABLE_BUCKETS);
    const std::uint64_t a = 12345;
    const std::uint64_t b = a + TABLE_BUCKETS;  // same low 14 bits
    ASSERT_EQ(table.bucket_index(a), table.bucket_index(b));
    table.insert(a, TtEntry::make(a, 1, 4, Bound::Exact, move_from("a1-b3")));
    table.insert(b, TtEntry::make(b, 2, 1, Bound::LowerBound, move_from("h1-g3")));
    EXPECT_EQ(table.find(a)->score, 1);
    EXPECT_EQ(table.find(b)->score, 2);
    EXPECT_EQ(table.hint_move(a), move_from("a1-b3"));
    EXPECT_EQ(table.hint_move(b), move_from("h1-g3"));
    EXPECT_EQ(table.find(a + 1), nullptr);
    EXPECT_EQ(occupied_slots(table), 2u);
}

TEST(Table, BucketOfAKeyIsItsRemainder) {
    EXPECT_EQ(TranspositionTable(TABLE_BUCKETS).bucket_index(0xfedcba9876543210ULL), 0x3210u & 0x3fffu);
    EXPECT_EQ(TranspositionTable(10).bucket_index(1234567), 7u);
    EXPECT_EQ(TranspositionTable(1).bucket_index(~0ULL), 0u);
}

struct ProbeCase {
    const char* name;
    std::optional<SlotLayout> stored;  // key 1
    Bound bound;
    int depth;
    int alpha;
    int beta;
    std::optional<int> score;  // the cut-off, if any
    int alpha_after;
    int beta_after;
};

class Probe : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(Probe, AnswersOrNarrows) {
    const ProbeCase& c = GetParam();
    TranspositionTable table(TABLE_BUCKETS);
    if (c.stored)
        table.insert(1, TtEntry::make(1, c.stored->score, static_cast<std::uint8_t>(c.stored->depth), c.bound,
                                      std::nullopt));
    const ProbeOutcome got = table.probe(1, static_cast<std::uint8_t>(c.depth), c.alpha, c.beta);
    EXPECT_EQ(got.score, c.score);
    if (!c.score) {
        EXPECT_EQ(got.alpha, c.alpha_after);
        EXPECT_EQ(got.beta, c.beta_after);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Listed, Probe,
    ::testing::Values(
        ProbeCase{"NoEntry", std::nullopt, Bound::Exact, 2, -5, 5, std::nullopt, -5, 5},
        ProbeCase{"ShallowerExactGivesNothing", SlotLayout{1, 1, 3}, Bound::Exact, 2, -5, 5, std::nullopt, -5, 5},
        ProbeCase{"ExactAnswersEvenOutsideTheWindow", SlotLayout{1, 2, 9}, Bound::Exact, 2, -5, 5, 9, 0, 0},
        ProbeCase{"DeeperEntryAnswers", SlotLayout{1, 6, 3}, Bound::Exact, 2, -5, 5, 3, 0, 0},
        ProbeCase{"LowerBoundAtBetaCuts", SlotLayout{1, 2, 5}, Bound::LowerBound, 2, -5, 5, 5, 0, 0},
        ProbeCase{"LowerBoundInsideRaisesAlpha", SlotLayout{1, 2, 1}, Bound::LowerBound, 2, -5, 5, std::nullopt, 1, 5},
        ProbeCase{"LowerBoundBelowAlphaChangesNothing", SlotLayout{1, 2, -9}, Bound::LowerBound, 2, -5, 5,
                  std::nullopt, -5, 5},
        ProbeCase{"UpperBoundAtAlphaCuts", SlotLayout{1, 2, -5}, Bound::UpperBound, 2, -5, 5, -5, 0, 0},
        ProbeCase{"UpperBoundInsideLowersBeta", SlotLayout{1, 3, 2}, Bound::UpperBound, 2, -5, 5, std::nullopt, -5, 2},
        ProbeCase{"UpperBoundAboveBetaChangesNothing", SlotLayout{1, 3, 8}, Bound::UpperBound, 2, -5, 5, std::nullopt,
                  -5, 5}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Table, ShallowEntryStillGivesItsHint) {
    TranspositionTable table(TABLE_BUCKETS);
    table.insert(42, TtEntry::make(42, 100, 1, Bound::Exact, move_from("c1-c3")));
    EXPECT_EQ(table.probe(42, 5, -10, 10).score, std::nullopt);
    EXPECT_EQ(table.hint_move(42), move_from("c1-c3"));
}

TEST(Table, MatchesTheLiteralTableOverRandomInserts) {
    std::mt19937_64 rng(29);
    for (const std::size_t buckets : {1u, 3u, 8u}) {
        TranspositionTable fast(buckets);
        reference_engine::Table literal(buckets);
        for (int i = 0; i < 4000; ++i) {
            const std::uint64_t key = rng() % 40;
            const auto depth = static_cast<std::uint8_t>(rng() % 6);
            const auto score = static_cast<std::int32_t>(rng() % 2001) - 1000;
            const auto bound = static_cast<Bound>(rng() % 3);
            std::optional<Move> best;
            if (rng() % 3 != 0) best = Move{Square::from_index(static_cast<int>(rng() % 64)), Square::from_index(0)};
            if (best && best->from.index == 0) best->to = Square::from_index(1);
            fast.insert(key, TtEntry::make(key, score, depth, bound, best));
            reference_engine::insert(literal, key, score, depth, bound, best);
        }
        expect_same_tables(fast, literal, "buckets " + std::to_string(buckets));
    }
}

TEST(Table, EntryIsSixteenBytesAndZeroIsEmpty) {
    static_assert(sizeof(TtEntry) == 16);
    EXPECT_TRUE(TtEntry{}.empty());
    const TtEntry e = TtEntry::make(0, 0, 0, Bound::Exact, std::nullopt);
    EXPECT_FALSE(e.empty());  // key 0 with score 0 is a real entry
    EXPECT_EQ(e.bound(), Bound::Exact);
}

}  // namespace
}  // namespace tovak::engine
