#include "mcts_reference_support.h"

#include <cmath>

#include "batch/features.h"

namespace tovak::mcts::reference {

std::vector<Move> wins_in_one(const Position& p) {
    std::vector<Move> wins;
    for (const Move m : p.legal_moves()) {
        Position after = p;
        after.apply_legal_move(m);
        if (after.legal_moves().empty()) wins.push_back(m);
    }
    return wins;
}

std::vector<Move> wins_in_two(const Position& p) {
    std::vector<Move> wins;
    for (const Move m : p.legal_moves()) {
        Position after = p;
        after.apply_legal_move(m);
        const std::vector<Move> replies = after.legal_moves();
        bool forced = !replies.empty();
        for (const Move r : replies) {
            Position next = after;
            next.apply_legal_move(r);
            forced = forced && !wins_in_one(next).empty();
        }
        if (forced) wins.push_back(m);
    }
    return wins;
}

Position oriented(const Position& p) {
    Position o = Position::empty(Color::White);
    const Color mover = p.side_to_move;
    for (int s = 0; s < 64; ++s) {
        const std::optional<Color> owner = p.piece_at(Square::from_index(s));
        if (owner)
            o.set_piece(*owner == mover ? Color::White : Color::Black,
                        Square::from_index(s ^ rank_mirror(mover)));
    }
    return o;
}

Evaluation uniform_evaluation(const Position& p) {
    return {std::vector<float>(ACTION_COUNT, 0.0f), static_value(p)};
}

namespace {

// A fixed scramble of 64 bits (one SplitMix64 step), for logits that vary.
std::uint64_t scramble(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

}  // namespace

Evaluation varied_evaluation(const Position& p) {
    std::vector<float> logits(ACTION_COUNT);
    const std::uint64_t board = p.white() * 31 + p.black();
    for (std::size_t a = 0; a < ACTION_COUNT; ++a)
        logits[a] = static_cast<float>(scramble(board ^ a) % 1000) / 250.0f;
    return {logits, static_value(p)};
}

namespace {

// A node of the plain tree: values from its own side to move's view.
struct PlainNode {
    Position position;
    int plies = 0;
    int visits = 0;
    double value_sum = 0.0;
    bool expanded = false;
    std::vector<Move> moves;
    std::vector<float> priors;
    std::map<std::size_t, std::unique_ptr<PlainNode>> children;  // by edge
};

struct PlainSearch {
    int max_plies;
    double c_puct;
    const EvaluationFunction& evaluate;

    // One simulation below `node`; returns the value for node's side to move.
    double simulate(PlainNode& node) {
        double value;
        if (node.position.legal_moves().empty()) {
            value = -1.0;
        } else if (node.plies >= max_plies) {
            value = 0.0;
        } else if (!node.expanded) {
            const Evaluation e = evaluate(oriented(node.position));
            node.moves = node.position.legal_moves();
            std::vector<float> logits;
            for (const Move m : node.moves)
                logits.push_back(
                    e.logits[static_cast<std::size_t>(action_of(m, node.position.side_to_move))]);
            float top = -INFINITY;
            for (float l : logits) top = std::max(top, l);
            float sum = 0.0f;
            for (float l : logits) node.priors.push_back(std::exp(l - top));
            for (float prior : node.priors) sum += prior;
            for (float& prior : node.priors) prior /= sum;
            node.expanded = true;
            value = static_cast<float>(e.value);  // as an answer carries it
        } else {
            // PUCT, an untried child counting as the node's own mean value;
            // the first best edge wins ties.
            const double mean = node.value_sum / node.visits;
            const double explore = c_puct * std::sqrt(static_cast<double>(node.visits));
            std::size_t best = 0;
            double best_score = -INFINITY;
            for (std::size_t e = 0; e < node.moves.size(); ++e) {
                const auto child = node.children.find(e);
                const int n = child == node.children.end() ? 0 : child->second->visits;
                const double q = n ? -child->second->value_sum / n : mean;
                const double score = q + explore * node.priors[e] / (1 + n);
                if (score > best_score) {
                    best_score = score;
                    best = e;
                }
            }
            std::unique_ptr<PlainNode>& child = node.children[best];
            if (!child) {
                child = std::make_unique<PlainNode>();
                child->position = node.position;
                child->position.apply_legal_move(node.moves[best]);
                child->plies = node.plies + 1;
            }
            value = -simulate(*child);
        }
        node.visits += 1;
        node.value_sum += value;
        return value;
    }
};

}  // namespace

std::vector<std::int32_t> search_visits(const Root& root, int simulations, double c_puct,
                                        const EvaluationFunction& evaluate) {
    PlainSearch search{root.max_plies, c_puct, evaluate};
    PlainNode node;
    node.position = root.position;
    node.plies = root.plies;
    for (int s = 0; s <= simulations; ++s) search.simulate(node);  // the first is the root's own
    std::vector<std::int32_t> visits(ACTION_COUNT, 0);
    for (const auto& [edge, child] : node.children)
        visits[static_cast<std::size_t>(action_of(node.moves[edge], root.position.side_to_move))] =
            child->visits;
    return visits;
}

Results results_of(const Search& search) {
    const std::size_t n = search.games();
    Results r{std::vector<float>(n * ACTION_COUNT), std::vector<std::int32_t>(n * ACTION_COUNT),
              std::vector<float>(n), std::vector<std::int32_t>(n)};
    if (search.result({r.policy, r.visits, r.root_value, r.action})) r.action.clear();
    return r;
}

Position position_of_planes(const float* planes) {
    Position p = Position::empty(Color::White);
    for (int s = 0; s < 64; ++s) {
        if (planes[s] == 1.0f) p.set_piece(Color::White, Square::from_index(s));
        if (planes[64 + s] == 1.0f) p.set_piece(Color::Black, Square::from_index(s));
    }
    return p;
}

void answer_all(Search& search, const EvaluationFunction& evaluate) {
    const std::size_t rows = search.max_leaves();
    std::vector<float> observation(rows * PLANES_SIZE);
    std::vector<std::uint8_t> mask(rows * ACTION_COUNT);
    std::vector<std::int32_t> game(rows);
    std::size_t k = 0;
    while (!search.leaves({observation, mask, game}, k) && k > 0) {
        std::vector<float> logits(k * ACTION_COUNT);
        std::vector<float> values(k);
        for (std::size_t j = 0; j < k; ++j) {
            const Evaluation e = evaluate(position_of_planes(observation.data() + j * PLANES_SIZE));
            for (std::size_t a = 0; a < ACTION_COUNT; ++a)
                // Masked entries are never read: fill them with what a
                // masking network writes there.
                logits[j * ACTION_COUNT + a] = mask[j * ACTION_COUNT + a] ? e.logits[a] : -INFINITY;
            values[j] = static_cast<float>(e.value);
        }
        if (search.answer(logits, values)) return;
    }
}

}  // namespace tovak::mcts::reference
