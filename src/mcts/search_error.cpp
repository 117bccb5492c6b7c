#include "mcts/search_error.h"

#include <cstdio>

namespace tovak::mcts {
namespace {

std::string format(const char* pattern, auto... args) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

}  // namespace

std::string message(const SearchError& e) {
    switch (e.kind) {
        case SearchErrorKind::WrongRootCount:
            return format("expected %zu roots, one per game, got %zu", e.expected, e.got);
        case SearchErrorKind::NegativePlies:
            return format("the root of game %zu has a negative ply count or ply limit", e.game);
        case SearchErrorKind::NotBegun:
            return "the search has no roots: call begin first";
        case SearchErrorKind::NothingAsked:
            return "no leaves are waiting for an answer: call leaves first";
        case SearchErrorKind::LeavesOutstanding:
            return "leaves are waiting for an answer";
        case SearchErrorKind::NotFinished:
            return "the search is not finished: answer its leaves until none are left";
        case SearchErrorKind::WrongLogitCount:
            return format("expected %zu logits (4096 per leaf), got %zu", e.expected, e.got);
        case SearchErrorKind::WrongValueCount:
            return format("expected %zu values (one per leaf), got %zu", e.expected, e.got);
        case SearchErrorKind::LogitNotFinite:
            return format("the logit of leaf %zu (game %zu) for its legal move %d is %g", e.leaf,
                          e.game, e.move, e.number);
        case SearchErrorKind::ValueNotFinite:
            return format("the value of leaf %zu (game %zu) is %g", e.leaf, e.game, e.number);
        case SearchErrorKind::ValueOutOfRange:
            return format("the value of leaf %zu (game %zu) is %g, outside [-1, 1]", e.leaf, e.game,
                          e.number);
        case SearchErrorKind::BadTemperature:
            return format("temperature must be a finite number at least 0, got %g", e.number);
        case SearchErrorKind::WrongBufferSize:
            return format("expected an output of %zu entries, got %zu", e.expected, e.got);
    }
    return "invalid search call";
}

}  // namespace tovak::mcts
