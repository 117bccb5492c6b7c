#pragma once
// What a search call can refuse, with the details that say exactly what was
// wrong. A refused call changes nothing: the search can be called again.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tovak::mcts {

enum class SearchErrorKind : std::uint8_t {
    WrongRootCount,     // begin: not one root per game
    NegativePlies,      // begin: a root with plies or max_plies below 0
    NotBegun,           // leaves, answer, run, result or select before begin
    NothingAsked,       // answer with no leaves outstanding
    LeavesOutstanding,  // run or result while leaves wait for their answer
    NotFinished,        // result or select before every tree has its simulations
    WrongLogitCount,    // answer: logits are not leaves x 4096
    WrongValueCount,    // answer: values are not one per leaf
    LogitNotFinite,     // answer: a legal move's logit is NaN or infinite
    ValueNotFinite,     // answer: a value is NaN or infinite
    ValueOutOfRange,    // answer: a value outside [-1, 1]
    BadTemperature,     // select: temperature negative or not finite
    WrongBufferSize,    // result or select: an output is not sized for the games
};

struct SearchError {
    SearchErrorKind kind;
    std::size_t expected = 0;  // the size wanted (counts and buffer sizes)
    std::size_t got = 0;       // the size given
    std::size_t leaf = 0;      // the leaf of a bad answer
    std::size_t game = 0;      // that leaf's game, or the root of a bad begin
    int move = -1;             // the move number of a bad logit
    double number = 0.0;       // the bad value or temperature
};

// One English sentence, without a final full stop.
std::string message(const SearchError& e);

}  // namespace tovak::mcts
