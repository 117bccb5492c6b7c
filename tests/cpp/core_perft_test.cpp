// Move-path counts from the initial position: every move at every ply is
// generated and applied, so any generation or application fault shows here.

#include <gtest/gtest.h>

#include <cstdint>

#include "core/position.h"
#include "core_positions_support.h"
#include "core_reference_support.h"

namespace tovak {
namespace {

struct PerftCase {
    int depth;
    std::uint64_t leaves;
};

class InitialPerft : public ::testing::TestWithParam<PerftCase> {};

TEST_P(InitialPerft, FastCoreCountsTheListedLeaves) {
    EXPECT_EQ(samples::perft(Position::initial(), GetParam().depth), GetParam().leaves);
}

TEST_P(InitialPerft, LiteralReferenceCountsTheListedLeaves) {
    EXPECT_EQ(reference::perft(Position::initial(), GetParam().depth), GetParam().leaves);
}

INSTANTIATE_TEST_SUITE_P(Listed, InitialPerft,
                         ::testing::Values(PerftCase{0, 1}, PerftCase{1, 62}, PerftCase{2, 3844},
                                           PerftCase{3, 520552}));

}  // namespace
}  // namespace tovak
