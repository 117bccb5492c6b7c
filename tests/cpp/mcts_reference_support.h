#pragma once
// Slow, obviously correct counterparts of the batched search for the tests:
// brute-force solvers for short forced wins, and a single-tree PUCT search
// written the plain way (one simulation at a time, recursive, children in a
// map), with the same selection rule, values and tie-breaking as the fast
// search, so that their visit counts must agree exactly.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "core/move.h"
#include "core/position.h"
#include "mcts/search.h"

namespace tovak::mcts::reference {

// The moves after which the opponent has no legal move.
std::vector<Move> wins_in_one(const Position& p);
// The moves after which the opponent has a move, and every one of its moves
// leaves the mover a win in one.
std::vector<Move> wins_in_two(const Position& p);

// The position as its side to move sees it: for Black to move, the board
// turned round along the ranks with the colours swapped, White to move. This
// is all a network sees of a leaf (its planes).
Position oriented(const Position& p);

// A leaf's evaluation, from its oriented position: a logit per move number
// (ACTION_COUNT, only the legal moves' are read) and a value for the side to
// move.
struct Evaluation {
    std::vector<float> logits;
    double value;
};
using EvaluationFunction = std::function<Evaluation(const Position& oriented)>;

// The uniform evaluator: zero logits, the squashed static evaluation.
Evaluation uniform_evaluation(const Position& p);
// Logits that differ from move to move (a fixed function of the move number
// and the board) and the static value: exercises the priors' plumbing.
Evaluation varied_evaluation(const Position& p);

// Visit counts of the root's children, by move number, after `simulations`
// simulations of plain PUCT (no noise) from `root`.
std::vector<std::int32_t> search_visits(const Root& root, int simulations, double c_puct,
                                        const EvaluationFunction& evaluate);

// All result arrays of a finished search.
struct Results {
    std::vector<float> policy;
    std::vector<std::int32_t> visits;
    std::vector<float> root_value;
    std::vector<std::int32_t> action;
    friend bool operator==(const Results&, const Results&) = default;
};
Results results_of(const Search& search);

// Drives the ask-and-answer loop to the end, answering each leaf with
// `evaluate` applied to the position rebuilt from the leaf's planes.
void answer_all(Search& search, const EvaluationFunction& evaluate);

// The oriented position described by a leaf's planes.
Position position_of_planes(const float* planes);

}  // namespace tovak::mcts::reference
