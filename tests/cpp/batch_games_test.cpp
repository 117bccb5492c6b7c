// The batched games against the literal model of batch_reference_support,
// field by field after every call, for each autoreset convention and
// several thread counts; and the refusals of bad steps.

#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "batch/features.h"
#include "batch/games.h"
#include "batch_reference_support.h"

namespace tovak {
namespace {

using batch_test::ReferenceGames;
using batch_test::State;

// A start where games end soon: few pieces a side, so that endings,
// resets and both rewards come up in a short run.
Position sparse_start() {
    Position p = Position::empty(Color::White);
    for (int s : {0, 1, 2, 9, 10}) p.set_piece(Color::White, Square::from_index(s));
    for (int s : {63, 62, 61, 54, 53}) p.set_piece(Color::Black, Square::from_index(s));
    return p;
}

struct BatchSetup {
    AutoReset autoreset;
    unsigned threads;
    bool sparse;
    int random_plies;
    bool random_opponent;
};

class BatchAgainstReference : public testing::TestWithParam<BatchSetup> {};

TEST_P(BatchAgainstReference, EveryFieldOfEveryStepMatches) {
    const BatchSetup setup = GetParam();
    GamesConfig config;
    config.num_games = 7;
    config.threads = setup.threads;
    config.seed = 12345;
    config.start = setup.sparse ? sparse_start() : Position::initial();
    config.random_plies = setup.random_plies;
    config.max_plies = setup.sparse ? 40 : 12;
    config.autoreset = setup.autoreset;
    if (setup.random_opponent) {
        config.opponent = Opponent{Opponent::Kind::Random, 1};
        config.agent_color = AgentColor::Alternate;
    }
    Games games(config);
    ReferenceGames reference(config);
    State state(config.num_games);
    games.write_state(state.buffers());
    ASSERT_EQ(state, reference.state());

    std::mt19937_64 choose(7);
    int endings = 0;
    for (int step = 0; step < 300; ++step) {
        std::vector<std::int64_t> actions(config.num_games);
        if (step % 2 == 0) {
            games.sample_actions(actions);
            ASSERT_EQ(actions, reference.sample_actions()) << "step " << step;
        } else {
            // Actions of our own: any legal move, so sampling is not all
            // that is exercised.
            for (std::size_t i = 0; i < config.num_games; ++i) {
                const std::vector<Move> moves = games.position(i).legal_moves();
                if (games.ended(i) || moves.empty()) continue;
                const Move m = moves[choose() % moves.size()];
                actions[i] = action_of(m, games.position(i).side_to_move);
            }
        }
        // Mostly into the same buffers again, written only where they change.
        const auto error = games.step(actions, state.buffers(step % 3 != 0));
        ASSERT_FALSE(error) << message(*error, config.num_games);
        reference.step(actions);
        ASSERT_EQ(state, reference.state()) << "step " << step;
        for (std::size_t i = 0; i < config.num_games; ++i) {
            ASSERT_EQ(games.position(i), reference.position(i));
            endings += state.terminated[i] + state.truncated[i];
        }
    }
    EXPECT_GT(endings, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Conventions, BatchAgainstReference,
    testing::Values(BatchSetup{AutoReset::NextStep, 1, true, 0, false},
                    BatchSetup{AutoReset::NextStep, 2, true, 2, false},
                    BatchSetup{AutoReset::NextStep, 3, false, 4, false},
                    BatchSetup{AutoReset::SameStep, 1, true, 0, false},
                    BatchSetup{AutoReset::SameStep, 2, false, 3, false},
                    BatchSetup{AutoReset::SameStep, 3, true, 1, false},
                    BatchSetup{AutoReset::NextStep, 2, true, 0, true},
                    BatchSetup{AutoReset::SameStep, 3, true, 2, true}));

// Under Disabled the reference cannot follow partial resets, so the batch
// is checked against itself: an ended game refuses a step and a partial
// reset restarts exactly the games asked for.
TEST(BatchDisabled, EndedGameRefusesStepsUntilItIsReset) {
    GamesConfig config;
    config.num_games = 5;
    config.seed = 3;
    config.start = sparse_start();
    config.max_plies = 6;
    config.autoreset = AutoReset::Disabled;
    Games games(config);
    State state(config.num_games);
    std::vector<std::int64_t> actions(config.num_games);
    for (int step = 0; !games.ended(2); ++step) {
        ASSERT_LT(step, 6) << "game 2 should have been cut off at 6 plies";
        games.sample_actions(actions);
        ASSERT_FALSE(games.step(actions, state.buffers()));
    }
    std::vector<Position> before;
    for (std::size_t i = 0; i < config.num_games; ++i) before.push_back(games.position(i));
    games.sample_actions(actions);
    const auto error = games.step(actions, state.buffers());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, StepErrorKind::GameOver);
    for (std::size_t i = 0; i < config.num_games; ++i) {
        EXPECT_EQ(games.position(i), before[i]);
        if (games.ended(i)) {
            EXPECT_EQ(error->game, i);  // the first ended game is named
            break;
        }
    }
    std::vector<std::uint8_t> which(config.num_games, 0);
    which[2] = 1;
    games.reset_games(which, state.buffers());
    EXPECT_EQ(games.position(2), config.start);
    EXPECT_EQ(state.plies[2], 0);
    for (std::size_t i = 0; i < config.num_games; ++i)
        if (i != 2) {
            EXPECT_EQ(games.position(i), before[i]);
        }
}

TEST(BatchThreads, SameSeedGivesSameStatesWhateverTheThreads) {
    std::vector<State> finals;
    for (unsigned threads : {1u, 2u, 3u, 5u}) {
        GamesConfig config;
        config.num_games = 13;
        config.threads = threads;
        config.seed = 99;
        config.random_plies = 6;
        config.max_plies = 30;
        config.opponent = Opponent{Opponent::Kind::Random, 1};
        config.agent_color = AgentColor::Alternate;
        Games games(config);
        State state(config.num_games);
        std::vector<std::int64_t> actions(config.num_games);
        for (int step = 0; step < 100; ++step) {
            games.sample_actions(actions);
            ASSERT_FALSE(games.step(actions, state.buffers()));
        }
        finals.push_back(state);
    }
    for (const State& state : finals) EXPECT_EQ(state, finals[0]);
}

TEST(BatchSeeds, ResetWithSeedRepeatsAndOtherSeedsDiffer) {
    GamesConfig config;
    config.num_games = 4;
    config.random_plies = 8;
    config.seed = 1;
    Games games(config);
    State first(4), again(4), other(4);
    games.reset(5, first.buffers());
    games.reset(std::nullopt, other.buffers());
    EXPECT_NE(first, other);  // the generators went on
    games.reset(5, again.buffers());
    EXPECT_EQ(first, again);
    // Games of one batch open differently from each other.
    EXPECT_NE(games.position(0), games.position(1));
}

struct BadStep {
    const char* name;
    std::size_t game;
    std::int64_t action;
    StepErrorKind kind;
    const char* text;
};

class BatchRefusals : public testing::TestWithParam<BadStep> {};

// Game 1 has Black to move (it played a1-b3 first): its numbers are from
// Black's view, so the number of White's b6... move a8-b6 is legal there.
TEST_P(BatchRefusals, BadActionLeavesEveryGameAsItWas) {
    const BadStep bad = GetParam();
    GamesConfig config;
    config.num_games = 3;
    config.threads = 2;
    Games games(config);
    State state(3);
    std::vector<std::int64_t> first{17, 17, 17};  // a1-b3 everywhere
    ASSERT_FALSE(games.step(first, state.buffers()));
    const State before = state;
    std::vector<Position> positions{games.position(0), games.position(1), games.position(2)};

    std::vector<std::int64_t> actions{17, 17, 17};  // a8-b6 for Black: legal
    if (bad.kind == StepErrorKind::WrongCount) actions.pop_back();
    else actions[bad.game] = bad.action;
    const auto error = games.step(actions, state.buffers());
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind, bad.kind);
    EXPECT_EQ(message(*error, 3), bad.text);
    EXPECT_EQ(state, before);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(games.position(i), positions[i]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchRefusals,
    testing::Values(
        BadStep{"TooFew", 0, 0, StepErrorKind::WrongCount, "expected 3 actions, one per game, got 2"},
        BadStep{"Negative", 2, -1, StepErrorKind::OutOfRange,
                "game 2: action -1 is not a move number (0 to 4095)"},
        BadStep{"PastTheEnd", 1, 4096, StepErrorKind::OutOfRange,
                "game 1: action 4096 is not a move number (0 to 4095)"},
        // a1-a4 from Black's view is a8-a5: no pivot supports it.
        BadStep{"NoPivot", 1, 0 * 64 + 24, StepErrorKind::IllegalMove,
                "game 1: action 24 (a8-a5) is not a legal move for black"},
        // a7-a6 from Black's view is a2-a3 on the board: a White piece.
        BadStep{"UnturnedNumber", 2, 48 * 64 + 40, StepErrorKind::IllegalMove,
                "game 2: action 3112 (a2-a3) is not a legal move for black"}),
    [](const testing::TestParamInfo<BadStep>& param) { return param.param.name; });

TEST(BatchOpponent, AgentIsToMoveAfterEveryStepAndOpponentOpensForBlack) {
    GamesConfig config;
    config.num_games = 6;
    config.seed = 8;
    config.max_plies = 500;
    config.opponent = Opponent{Opponent::Kind::Random, 1};
    config.agent_color = AgentColor::Black;
    Games games(config);
    State state(config.num_games);
    games.write_state(state.buffers());
    for (std::size_t i = 0; i < config.num_games; ++i) {
        EXPECT_EQ(state.plies[i], 1);
        EXPECT_EQ(state.current_player[i], 1);
    }
    std::vector<std::int64_t> actions(config.num_games);
    for (int step = 0; step < 50; ++step) {
        games.sample_actions(actions);
        ASSERT_FALSE(games.step(actions, state.buffers()));
        for (std::size_t i = 0; i < config.num_games; ++i)
            if (!state.terminated[i]) {
                EXPECT_EQ(state.current_player[i], 1);
            }
    }
}

TEST(BatchConfig, InvalidSettingsAreNamed) {
    GamesConfig config;
    EXPECT_FALSE(check(config));
    config.num_games = 0;
    EXPECT_EQ(check(config), ConfigError::NoGames);
    config.num_games = 1;
    config.max_plies = 0;
    EXPECT_EQ(check(config), ConfigError::NoPlyAllowed);
    config.max_plies = 1;
    config.opponent = Opponent{Opponent::Kind::Engine, 0};
    EXPECT_EQ(check(config), ConfigError::EngineDepthZero);
}

}  // namespace
}  // namespace tovak
