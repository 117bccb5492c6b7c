// The pool runs each part exactly once per call, on distinct threads, and
// stays usable over many calls; the generators are reproducible and
// spread their numbers evenly.

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "batch/game_random.h"
#include "batch/thread_pool.h"

namespace tovak {
namespace {

class PoolSizes : public testing::TestWithParam<unsigned> {};

TEST_P(PoolSizes, EveryPartRunsOncePerCallOnItsOwnThread) {
    const unsigned threads = GetParam();
    ThreadPool pool(threads);
    ASSERT_EQ(pool.threads(), threads);
    std::vector<std::atomic<int>> calls(threads);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::thread::id> ids(threads);
        auto task = [&](unsigned part) {
            calls[part].fetch_add(1);
            ids[part] = std::this_thread::get_id();
        };
        pool.run(task);
        ASSERT_EQ(std::set<std::thread::id>(ids.begin(), ids.end()).size(), threads);
        ASSERT_EQ(ids[0], std::this_thread::get_id());
    }
    for (auto& count : calls) EXPECT_EQ(count.load(), 2000);
}

INSTANTIATE_TEST_SUITE_P(Threads, PoolSizes, testing::Values(1u, 2u, 3u, 8u));

TEST(PartRanges, CoverEveryGameOnceInOrder) {
    for (std::size_t count : {0u, 1u, 5u, 1024u, 1025u})
        for (unsigned parts : {1u, 2u, 3u, 7u}) {
            std::size_t next = 0;
            for (unsigned part = 0; part < parts; ++part) {
                const PartRange range = part_range(count, parts, part);
                ASSERT_EQ(range.begin, next);
                ASSERT_LE(range.end - range.begin, count / parts + 1);
                next = range.end;
            }
            ASSERT_EQ(next, count);
        }
}

TEST(GameRandomTest, StreamsDependOnSeedAndGameOnly) {
    GameRandom a(1, 0), b(1, 0), other_game(1, 1), other_seed(2, 0);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(a.next(), b.next());
    EXPECT_NE(GameRandom(1, 0).next(), other_game.next());
    EXPECT_NE(GameRandom(1, 0).next(), other_seed.next());
}

TEST(GameRandomTest, BelowIsUniformOverSmallRanges) {
    GameRandom random(42, 7);
    for (std::uint32_t n : {1u, 3u, 62u}) {
        std::vector<int> counts(n);
        const int draws = 6200 * static_cast<int>(n);
        for (int i = 0; i < draws; ++i) {
            const std::uint32_t k = random.below(n);
            ASSERT_LT(k, n);
            ++counts[k];
        }
        for (int c : counts) EXPECT_NEAR(c, 6200, 6200 * 0.1);
    }
}

}  // namespace
}  // namespace tovak
