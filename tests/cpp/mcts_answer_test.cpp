// The ask-and-answer loop: bad answers refused with what is wrong and the
// search answerable afterwards, virtual losses spreading a round's leaves,
// noise on the root alone, and the planes and masks a network is shown.

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <set>

#include "batch/features.h"
#include "batch/legal_moves.h"
#include "batch/thread_pool.h"
#include "engine_cases_support.h"
#include "mcts/search.h"
#include "mcts_reference_support.h"

namespace tovak::mcts {
namespace {

struct Buffers {
    explicit Buffers(const Search& s)
        : observation(s.max_leaves() * PLANES_SIZE),
          mask(s.max_leaves() * ACTION_COUNT),
          game(s.max_leaves()) {}
    LeafBuffers view() { return {observation, mask, game}; }
    std::vector<float> observation;
    std::vector<std::uint8_t> mask;
    std::vector<std::int32_t> game;
};

std::vector<Root> two_roots() {
    return {{Position::initial(), 0, 200},
            {position_from("a2 b2 f3 a4 h5 d7", "d2 d4 e4 d6", Color::Black), 3, 200}};
}

struct BadAnswer {
    const char* name;
    SearchErrorKind kind;
    // Spoils a correct answer (logits k x 4096, values k, masks of the leaves).
    void (*spoil)(std::vector<float>& logits, std::vector<float>& values,
                  const std::vector<std::uint8_t>& mask);
    const char* message_part;
};

std::size_t first_legal(const std::vector<std::uint8_t>& mask, std::size_t leaf) {
    std::size_t a = 0;
    while (!mask[leaf * ACTION_COUNT + a]) ++a;
    return leaf * ACTION_COUNT + a;
}

class BadAnswers : public ::testing::TestWithParam<BadAnswer> {};

TEST_P(BadAnswers, AreRefusedAndTheSearchCanStillBeAnswered) {
    const BadAnswer& bad = GetParam();
    SearchConfig config;
    config.simulations = 30;
    config.leaves_per_game = 3;
    config.seed = 5;
    const std::vector<Root> roots = two_roots();
    Search search(config, roots.size());
    Search clean(config, roots.size());
    ASSERT_FALSE(search.begin(roots));
    ASSERT_FALSE(clean.begin(roots));
    Buffers buffers(search);
    std::size_t k = 0;
    // Spoil the answer of the third round (after the roots' round and one
    // of simulations), then answer everything correctly.
    int round = 0;
    while (!search.leaves(buffers.view(), k) && k > 0) {
        std::vector<float> logits(k * ACTION_COUNT, 0.0f);
        std::vector<float> values(k, 0.25f);
        if (++round == 3) {
            std::vector<float> bad_logits = logits;
            std::vector<float> bad_values = values;
            bad.spoil(bad_logits, bad_values, buffers.mask);
            const std::optional<SearchError> e = search.answer(bad_logits, bad_values);
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind, bad.kind);
            EXPECT_NE(message(*e).find(bad.message_part), std::string::npos) << message(*e);
            // Asking again hands out the same leaves.
            std::size_t again = 0;
            std::vector<float> before = buffers.observation;
            ASSERT_FALSE(search.leaves(buffers.view(), again));
            EXPECT_EQ(again, k);
            EXPECT_EQ(buffers.observation, before);
        }
        ASSERT_FALSE(search.answer(logits, values));
    }
    // The clean twin, answered the same way without the refused call.
    Buffers clean_buffers(clean);
    while (!clean.leaves(clean_buffers.view(), k) && k > 0)
        ASSERT_FALSE(
            clean.answer(std::vector<float>(k * ACTION_COUNT, 0.0f), std::vector<float>(k, 0.25f)));
    EXPECT_EQ(reference::results_of(search), reference::results_of(clean));
    EXPECT_EQ(search.answer({}, {})->kind, SearchErrorKind::NothingAsked);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BadAnswers,
    ::testing::Values(
        BadAnswer{"TooFewLogits", SearchErrorKind::WrongLogitCount,
                  [](auto& l, auto&, const auto&) { l.pop_back(); }, "logits (4096 per leaf)"},
        BadAnswer{"TooManyValues", SearchErrorKind::WrongValueCount,
                  [](auto&, auto& v, const auto&) { v.push_back(0.0f); }, "values (one per leaf)"},
        BadAnswer{"NaNLogitOnALegalMove", SearchErrorKind::LogitNotFinite,
                  [](auto& l, auto&, const auto& m) { l[first_legal(m, 1)] = NAN; }, "leaf 1"},
        BadAnswer{"InfiniteLogitOnALegalMove", SearchErrorKind::LogitNotFinite,
                  [](auto& l, auto&, const auto& m) { l[first_legal(m, 0)] = INFINITY; }, "is inf"},
        BadAnswer{"NaNValue", SearchErrorKind::ValueNotFinite,
                  [](auto&, auto& v, const auto&) { v.back() = NAN; }, "is nan"},
        BadAnswer{"InfiniteValue", SearchErrorKind::ValueNotFinite,
                  [](auto&, auto& v, const auto&) { v[0] = -INFINITY; }, "leaf 0"},
        BadAnswer{"ValueAboveOne", SearchErrorKind::ValueOutOfRange,
                  [](auto&, auto& v, const auto&) { v[1] = 1.5f; }, "outside [-1, 1]"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Answers, AreRefusedWhenNothingWasAsked) {
    Search search(SearchConfig{}, 1);
    EXPECT_EQ(search.answer({}, {})->kind, SearchErrorKind::NotBegun);
    Buffers buffers(search);
    std::size_t k = 0;
    EXPECT_EQ(search.leaves(buffers.view(), k)->kind, SearchErrorKind::NotBegun);
    const Root root{Position::initial(), 0, 200};
    ASSERT_FALSE(search.begin(std::span(&root, 1)));
    EXPECT_EQ(search.answer({}, {})->kind, SearchErrorKind::NothingAsked);
    EXPECT_EQ(search.begin({})->kind, SearchErrorKind::WrongRootCount);
    ASSERT_FALSE(search.leaves(buffers.view(), k));
    EXPECT_EQ(search.run(Evaluator::Uniform)->kind, SearchErrorKind::LeavesOutstanding);
    EXPECT_EQ(
        search.leaves({std::span(buffers.observation).first(10), buffers.mask, buffers.game}, k)
            ->kind,
        SearchErrorKind::WrongBufferSize);
}

TEST(Answers, MaskedLogitsAreNotRead) {
    // Infinite and NaN logits off the legal moves change nothing.
    const std::vector<Root> roots = two_roots();
    SearchConfig config;
    config.simulations = 20;
    Search masked(config, roots.size());
    Search plain(config, roots.size());
    for (Search* s : {&masked, &plain}) {
        ASSERT_FALSE(s->begin(roots));
        Buffers b(*s);
        std::size_t k = 0;
        while (!s->leaves(b.view(), k) && k > 0) {
            std::vector<float> logits(k * ACTION_COUNT, 0.0f);
            if (s == &masked)
                for (std::size_t i = 0; i < logits.size(); ++i)
                    if (!b.mask[i]) logits[i] = i % 2 ? -INFINITY : NAN;
            ASSERT_FALSE(s->answer(logits, std::vector<float>(k, 0.0f)));
        }
    }
    EXPECT_EQ(reference::results_of(masked), reference::results_of(plain));
}

TEST(VirtualLoss, SpreadsARoundOverDistinctLeaves) {
    SearchConfig config;
    config.simulations = 200;
    config.leaves_per_game = 8;
    const std::vector<Root> roots = two_roots();
    Search search(config, roots.size());
    ASSERT_FALSE(search.begin(roots));
    Buffers buffers(search);
    std::size_t k = 0;
    int rounds = 0;
    std::size_t most = 0;
    while (!search.leaves(buffers.view(), k) && k > 0) {
        ++rounds;
        // Within a game, every leaf of the round is a different position.
        std::set<std::pair<std::int32_t, std::vector<float>>> seen;
        for (std::size_t j = 0; j < k; ++j)
            seen.insert({buffers.game[j],
                         std::vector<float>(buffers.observation.begin() + j * PLANES_SIZE,
                                            buffers.observation.begin() + (j + 1) * PLANES_SIZE)});
        EXPECT_EQ(seen.size(), k);
        most = std::max(most, k);
        ASSERT_FALSE(
            search.answer(std::vector<float>(k * ACTION_COUNT, 0.0f), std::vector<float>(k, 0.0f)));
    }
    EXPECT_EQ(most, 16u);  // full rounds of 8 leaves in each game
    EXPECT_LT(rounds, 60);
    const reference::Results r = reference::results_of(search);
    EXPECT_EQ(std::accumulate(r.visits.begin(), r.visits.begin() + ACTION_COUNT, 0), 200);
}

TEST(Noise, GoesOnTheRootsPriorsOnly) {
    const std::vector<Root> roots = two_roots();
    SearchConfig config;
    config.simulations = 100;
    config.dirichlet_fraction = 0.25;
    Search search(config, roots.size());
    ASSERT_FALSE(search.begin(roots));
    ASSERT_FALSE(search.run(Evaluator::Uniform));
    for (std::size_t g = 0; g < roots.size(); ++g) {
        const Tree& tree = search.game(g).tree();
        int expanded = 0;
        for (NodeIndex i = 0; i < static_cast<NodeIndex>(tree.size()); ++i) {
            if (tree.node(i).state != NodeState::Expanded) continue;
            const std::span<const float> priors = tree.priors(i);
            const float uniform = 1.0f / static_cast<float>(priors.size());
            float sum = 0.0f;
            int off_uniform = 0;
            for (const float p : priors) {
                sum += p;
                off_uniform += p != uniform;
            }
            EXPECT_NEAR(sum, 1.0f, 1e-5f);
            if (i == ROOT) {
                EXPECT_GT(off_uniform, static_cast<int>(priors.size()) / 2);
            } else {
                EXPECT_EQ(off_uniform, 0) << "node " << i;
            }
            ++expanded;
        }
        EXPECT_GT(expanded, 10);
    }
}

TEST(Encoding, TheSearchsMaskFromListsIsTheBatchsMask) {
    // The search writes masks from its move lists, the batch from its
    // destination sets: the two must number every move alike, for either
    // side to move (Black's squares turned round).
    for (const Position& p :
         {position_from("a1 b1 c1 d2", "h8 g8 e5", Color::White),
          position_from("h1 c4", "a8 b8 c8 d7", Color::Black), Position::initial()}) {
        LegalMoves moves;
        collect_legal_moves(p, moves);
        std::vector<std::uint8_t> from_sets(ACTION_COUNT, 7), from_list(ACTION_COUNT, 7);
        write_legal_mask(p, moves, p.side_to_move, from_sets.data());
        write_legal_mask(p.legal_moves(), p.side_to_move, from_list.data());
        EXPECT_EQ(from_list, from_sets);
        EXPECT_EQ(std::accumulate(from_list.begin(), from_list.end(), std::size_t{0}),
                  p.legal_moves().size());
    }
}

TEST(Pool, ForEachRangeCoversEveryGameOnceWhateverTheSplit) {
    for (const unsigned threads : {1u, 2u, 3u, 5u}) {
        ThreadPool pool(threads);
        for (const std::size_t count : {0u, 1u, 2u, 3u, 7u, 100u}) {
            std::vector<int> hits(count, 0);
            for (int repeat = 0; repeat < 3; ++repeat)
                for_each_range(pool, count, [&](std::size_t begin, std::size_t end) {
                    for (std::size_t i = begin; i < end; ++i) ++hits[i];
                });
            EXPECT_EQ(hits, std::vector<int>(count, 3)) << threads << " threads, " << count;
        }
    }
}

}  // namespace
}  // namespace tovak::mcts
