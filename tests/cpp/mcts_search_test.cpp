// The batched tree search: short forced wins found, the shape of its result,
// agreement with the plain single-tree reference, and reproducibility from the
// seed whatever the threads and the grouping of leaves.

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "batch/features.h"
#include "engine_cases_support.h"
#include "mcts/search.h"
#include "mcts_reference_support.h"

namespace tovak::mcts {
namespace {

// The same placement seen from the other side: ranks turned round, colours
// swapped, the other side to move. Moves map to their mirrors, so a search
// must find the mirrored move (move numbers are the same for both).
Position mirrored(const Position& p) {
    Position m = Position::empty(opponent(p.side_to_move));
    for (int s = 0; s < 64; ++s)
        if (const auto owner = p.piece_at(Square::from_index(s)))
            m.set_piece(opponent(*owner), Square::from_index(s ^ rank_mirror(Color::Black)));
    return m;
}

Move mirrored(Move m) {
    return {Square::from_index(m.from.index ^ rank_mirror(Color::Black)),
            Square::from_index(m.to.index ^ rank_mirror(Color::Black))};
}

reference::Results search_one(const SearchConfig& config, const Root& root, Evaluator evaluator) {
    Search search(config, 1);
    EXPECT_FALSE(search.begin(std::span(&root, 1)));
    EXPECT_FALSE(search.run(evaluator));
    return reference::results_of(search);
}

SearchConfig quiet_config(int simulations) {
    SearchConfig c;
    c.simulations = simulations;
    c.dirichlet_fraction = 0.0;
    return c;
}

struct ForcedWin {
    const char* name;
    const char* white;
    const char* black;
    const char* move;
    int plies;  // 1: wins in one, 2: in two
};

class ForcedWins : public ::testing::TestWithParam<std::tuple<ForcedWin, bool, Evaluator>> {};

TEST_P(ForcedWins, TheSearchPlaysTheWinningMove) {
    const auto& [c, as_black, evaluator] = GetParam();
    Position p = position_from(c.white, c.black, Color::White);
    Move win = move_from(c.move);
    // The premise, by brute force: this move and no other wins that fast.
    if (c.plies == 1) {
        ASSERT_EQ(reference::wins_in_one(p), std::vector<Move>{win});
    } else {
        ASSERT_TRUE(reference::wins_in_one(p).empty());
        ASSERT_EQ(reference::wins_in_two(p), std::vector<Move>{win});
    }
    if (as_black) {
        p = mirrored(p);
        win = mirrored(win);
    }
    // Random playouts are noisy values: they are held to PUCT (and to wins
    // in one, see forced_win_cases).
    const bool rollout = evaluator == Evaluator::Rollout;
    for (const bool gumbel : {false, true}) {
        if (rollout && gumbel) continue;
        SearchConfig config = quiet_config(800);
        config.gumbel = gumbel;
        // Every move considered: with equal priors, Gumbel top-k of fewer
        // than all moves would leave the winning one out by chance.
        config.max_considered = 64;
        const reference::Results r = search_one(config, Root{p, 0, 200}, evaluator);
        ASSERT_EQ(r.action.size(), 1u);
        const int number = action_of(win, p.side_to_move);
        if (gumbel) {
            // The action is the Gumbel sample among the last two considered,
            // which may lose to the noise by one visit; the improved policy
            // is where the search's knowledge goes.
            EXPECT_EQ(std::max_element(r.policy.begin(), r.policy.end()) - r.policy.begin(),
                      number);
        } else {
            EXPECT_EQ(r.action[0], number);
            EXPECT_GT(r.root_value[0], 0.5f);
        }
    }
}

constexpr ForcedWin FORCED_WINS[] = {
    {"CaptureLeavesTwo", "b1 e1 f2 b3 f6 f7 d8", "c1 h3 b4 b8", "f6-b4", 1},
    {"OneCaptureOfMany", "f3 c4 h6 f7 h7", "h1 h3 d7", "f7-h3", 1},
    {"QuietThenCapture", "a2 b2 f3 a4 h5 d7", "d2 d4 e4 d6", "f3-d4", 2},
    {"CaptureThenCapture", "d1 e2 c3 c5 d6 h8", "a3 b4 b8 e8", "e2-b4", 2},
};

// Every case for both colours with the uniform evaluator; the playouts only
// for wins in one (800 noisy playouts do not reliably prove a win in two).
std::vector<std::tuple<ForcedWin, bool, Evaluator>> forced_win_cases() {
    std::vector<std::tuple<ForcedWin, bool, Evaluator>> cases;
    for (const ForcedWin& c : FORCED_WINS)
        for (const bool as_black : {false, true})
            for (const Evaluator e : {Evaluator::Uniform, Evaluator::Rollout})
                if (e == Evaluator::Uniform || c.plies == 1) cases.emplace_back(c, as_black, e);
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Positions, ForcedWins, ::testing::ValuesIn(forced_win_cases()),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param).name) +
                                    (std::get<1>(test.param) ? "AsBlack" : "AsWhite") +
                                    (std::get<2>(test.param) == Evaluator::Uniform ? "Uniform"
                                                                                   : "Rollout");
                         });

// Roots of every kind: the opening, middle games of both colours, a sparse
// ending, and roots one ply before the limit (every child is cut).
std::vector<Root> mixed_roots() {
    std::vector<Root> roots;
    roots.push_back({Position::initial(), 0, 200});
    const std::vector<Position> samples = sample_positions(0x5eed, 4, 9, 3);
    for (std::size_t i = 0; i < samples.size() && roots.size() < 9; ++i)
        if (!samples[i].legal_moves().empty())
            roots.push_back({samples[i], static_cast<int>(i), 200});
    roots.push_back({position_from("a2 b2 f3 a4 h5 d7", "d2 d4 e4 d6", Color::Black), 7, 8});
    return roots;
}

struct Variant {
    const char* name;
    bool gumbel;
    int leaves_per_game;
    double noise;
};

class ResultShape : public ::testing::TestWithParam<Variant> {};

TEST_P(ResultShape, VisitsSumToTheSimulationsAndNothingFallsOffTheLegalMoves) {
    const Variant& v = GetParam();
    SearchConfig config = quiet_config(50);
    config.gumbel = v.gumbel;
    config.leaves_per_game = v.leaves_per_game;
    config.dirichlet_fraction = v.noise;
    config.threads = 2;
    const std::vector<Root> roots = mixed_roots();
    Search search(config, roots.size());
    ASSERT_FALSE(search.begin(roots));
    reference::answer_all(search, reference::varied_evaluation);
    const reference::Results r = reference::results_of(search);
    ASSERT_EQ(r.action.size(), roots.size());
    for (std::size_t g = 0; g < roots.size(); ++g) {
        const Position& p = roots[g].position;
        std::vector<std::uint8_t> legal(ACTION_COUNT);
        write_legal_mask(p.legal_moves(), p.side_to_move, legal.data());
        const auto visits = std::span(r.visits).subspan(g * ACTION_COUNT, ACTION_COUNT);
        const auto policy = std::span(r.policy).subspan(g * ACTION_COUNT, ACTION_COUNT);
        EXPECT_EQ(std::accumulate(visits.begin(), visits.end(), 0), config.simulations) << g;
        double sum = 0.0;
        for (std::size_t a = 0; a < ACTION_COUNT; ++a) {
            sum += policy[a];
            if (!legal[a]) {
                EXPECT_EQ(visits[a], 0) << g;
                EXPECT_EQ(policy[a], 0.0f) << g;
            }
            EXPECT_GE(policy[a], 0.0f);
        }
        EXPECT_NEAR(sum, 1.0, 1e-5) << g;
        ASSERT_GE(r.action[g], 0);
        EXPECT_TRUE(legal[r.action[g]]);
        // The action is a most visited move.
        EXPECT_EQ(visits[r.action[g]], *std::max_element(visits.begin(), visits.end()));
        EXPECT_GE(r.root_value[g], -1.0f);
        EXPECT_LE(r.root_value[g], 1.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, ResultShape,
                         ::testing::Values(Variant{"Puct", false, 1, 0.0},
                                           Variant{"PuctNoise", false, 1, 0.25},
                                           Variant{"VirtualLoss", false, 6, 0.25},
                                           Variant{"Gumbel", true, 1, 0.0},
                                           Variant{"GumbelVirtualLoss", true, 4, 0.0}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(Search, VisitsMatchThePlainReferenceTree) {
    for (const auto& evaluate : {reference::EvaluationFunction(reference::uniform_evaluation),
                                 reference::EvaluationFunction(reference::varied_evaluation)}) {
        const std::vector<Root> roots = mixed_roots();
        SearchConfig config = quiet_config(120);
        config.threads = 3;
        Search search(config, roots.size());
        ASSERT_FALSE(search.begin(roots));
        reference::answer_all(search, evaluate);
        const reference::Results r = reference::results_of(search);
        for (std::size_t g = 0; g < roots.size(); ++g) {
            const std::vector<std::int32_t> expected =
                reference::search_visits(roots[g], config.simulations, config.c_puct, evaluate);
            EXPECT_EQ(std::vector<std::int32_t>(r.visits.begin() + g * ACTION_COUNT,
                                                r.visits.begin() + (g + 1) * ACTION_COUNT),
                      expected)
                << "game " << g;
        }
    }
}

TEST(Search, TheBuiltInEvaluatorBuildsTheTreesThatItsAnswersBuild) {
    const std::vector<Root> roots = mixed_roots();
    for (const int leaves : {1, 5}) {
        for (const bool gumbel : {false, true}) {
            SearchConfig config;
            config.simulations = 60;
            config.leaves_per_game = leaves;
            config.gumbel = gumbel;
            config.seed = 11;
            Search asked(config, roots.size());
            Search run(config, roots.size());
            ASSERT_FALSE(asked.begin(roots));
            ASSERT_FALSE(run.begin(roots));
            reference::answer_all(asked, reference::uniform_evaluation);
            ASSERT_FALSE(run.run(Evaluator::Uniform));
            const reference::Results a = reference::results_of(asked);
            const reference::Results b = reference::results_of(run);
            EXPECT_EQ(a.action, b.action) << leaves << " leaves, gumbel " << gumbel;
            EXPECT_EQ(a.root_value, b.root_value);
            EXPECT_EQ(a.visits, b.visits);
            EXPECT_EQ(a.policy, b.policy);
        }
    }
}

TEST(Search, ResultsDependOnTheSeedAloneNotOnTheThreads) {
    const std::vector<Root> roots = mixed_roots();
    for (const Evaluator evaluator : {Evaluator::Uniform, Evaluator::Rollout}) {
        for (const bool gumbel : {false, true}) {
            std::vector<reference::Results> results;
            std::vector<std::vector<std::int32_t>> selections;
            for (const int threads : {1, 2, 3, 7}) {
                SearchConfig config;
                config.simulations = 40;
                config.leaves_per_game = 3;
                config.gumbel = gumbel;
                config.seed = 99;
                config.threads = threads;
                Search search(config, roots.size());
                // Two searches in a row: the generators carry on.
                for (int round = 0; round < 2; ++round) {
                    ASSERT_FALSE(search.begin(roots));
                    ASSERT_FALSE(search.run(evaluator));
                }
                results.push_back(reference::results_of(search));
                std::vector<std::int32_t> picks(roots.size());
                ASSERT_FALSE(search.select(1.0, picks));
                selections.push_back(picks);
            }
            for (std::size_t i = 1; i < results.size(); ++i) {
                EXPECT_EQ(results[i], results[0]);
                EXPECT_EQ(selections[i], selections[0]);
            }
        }
    }
    // And another seed gives other noise.
    SearchConfig a;
    a.simulations = 40;
    a.seed = 1;
    SearchConfig b = a;
    b.seed = 2;
    EXPECT_NE(search_one(a, roots[0], Evaluator::Uniform).visits,
              search_one(b, roots[0], Evaluator::Uniform).visits);
}

TEST(Search, FinishedAndCutRootsAreScoredWithoutAsking) {
    const std::vector<Root> roots = {
        {position_from("a1 b1 c1", "h8", Color::Black), 5, 200},  // Black has no move: lost
        {Position::initial(), 30, 30},                            // at the ply limit: cut
        {Position::initial(), 0, 1},                              // every child is cut
    };
    Search search(quiet_config(20), roots.size());
    ASSERT_FALSE(search.begin(roots));
    std::vector<float> observation(search.max_leaves() * PLANES_SIZE);
    std::vector<std::uint8_t> mask(search.max_leaves() * ACTION_COUNT);
    std::vector<std::int32_t> game(search.max_leaves());
    std::size_t k = 0;
    ASSERT_FALSE(search.leaves({observation, mask, game}, k));
    ASSERT_EQ(k, 1u);  // the third root's own evaluation only
    EXPECT_EQ(game[0], 2);
    const std::vector<float> logits(ACTION_COUNT, 0.0f);
    const std::vector<float> values = {0.5f};
    ASSERT_FALSE(search.answer(logits, values));
    ASSERT_FALSE(search.leaves({observation, mask, game}, k));
    EXPECT_EQ(k, 0u);  // all 20 simulations end in cut positions
    const reference::Results r = reference::results_of(search);
    EXPECT_EQ(r.action[0], -1);
    EXPECT_EQ(r.action[1], -1);
    EXPECT_EQ(r.root_value[0], -1.0f);
    EXPECT_EQ(r.root_value[1], 0.0f);
    EXPECT_NEAR(r.root_value[2], 0.5f / 21, 1e-6);
    EXPECT_EQ(std::accumulate(r.visits.begin() + 2 * ACTION_COUNT, r.visits.end(), 0), 20);
}

TEST(Search, OneSimulationTakesTheFirstMoveInTheRulesOrder) {
    // With equal priors and no value yet, the tie goes to the first move.
    for (const Root& root : mixed_roots()) {
        const reference::Results r = search_one(quiet_config(1), root, Evaluator::Uniform);
        EXPECT_EQ(r.action[0],
                  action_of(root.position.legal_moves().front(), root.position.side_to_move));
    }
}

TEST(Search, SelectAtTemperatureZeroIsTheActionAndOtherwiseAVisitedMove) {
    const std::vector<Root> roots = mixed_roots();
    SearchConfig config;
    config.simulations = 30;
    Search search(config, roots.size());
    std::vector<std::int32_t> picks(roots.size());
    EXPECT_EQ(search.select(0.0, picks)->kind, SearchErrorKind::NotBegun);
    ASSERT_FALSE(search.begin(roots));
    EXPECT_EQ(search.select(0.0, picks)->kind, SearchErrorKind::NotFinished);
    ASSERT_FALSE(search.run(Evaluator::Uniform));
    const reference::Results r = reference::results_of(search);
    ASSERT_FALSE(search.select(0.0, picks));
    EXPECT_EQ(picks, r.action);
    for (const double t : {0.5, 1.0, 4.0}) {
        ASSERT_FALSE(search.select(t, picks));
        for (std::size_t g = 0; g < roots.size(); ++g)
            EXPECT_GT(r.visits[g * ACTION_COUNT + static_cast<std::size_t>(picks[g])], 0);
    }
    for (const double t : {-1.0, double{INFINITY}, double{NAN}})
        EXPECT_EQ(search.select(t, picks)->kind, SearchErrorKind::BadTemperature);
    std::vector<std::int32_t> short_buffer(roots.size() - 1);
    EXPECT_EQ(search.select(1.0, short_buffer)->kind, SearchErrorKind::WrongBufferSize);
}

}  // namespace
}  // namespace tovak::mcts
