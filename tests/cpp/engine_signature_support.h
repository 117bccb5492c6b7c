#pragma once
// The engine's bench signature: a fixed list of varied positions with the
// full results of their analyses, checked in as tests/data/engine_signature.json.
// Any change that moves a node count or a result is a behaviour change.
//
// Regenerate (only for an intended behaviour change, and say so):
//   TOVAK_WRITE_ENGINE_SIGNATURE=1 build/<dir>/tests/cpp/engine_tests --gtest_filter='Signature.*'
//
// File layout (read by the C++ and the Python tests):
//   {"description": ..., "budget_ms": 1000000000,
//    "positions": [{"name", "white", "black" (occupancy sets as "0x" + 16 hex
//                   digits, bit i = square i, a1 = 0), "side_to_move" ("white"/"black"),
//                   "analyze_iterative": [{"depth", "result"}] for depths 1..3, the
//                       result holding the keys of Position.analyze_timed(depth, budget_ms),
//                   "best_move": [{"depth", "result"}] for depths 0..3, the result
//                       holding the keys of Position.analyze(depth), or null}]}

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/position.h"
#include "engine/analysis.h"

namespace tovak::signature {

// A JSON value: only what the signature needs (integers, no fractions).
struct Json {
    enum class Kind { Null, Bool, Integer, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    std::int64_t integer = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;  // in file order

    static Json null() { return Json{}; }
    static Json of(bool b);
    static Json of(std::int64_t i);
    static Json of(std::string s);
    static Json array(std::vector<Json> items);
    static Json object(std::vector<std::pair<std::string, Json>> members);

    // The member `key` of an object; a null value when absent.
    const Json& operator[](std::string_view key) const;
    friend bool operator==(const Json&, const Json&) = default;
};

// None when the text is not well-formed (for the subset above).
std::optional<Json> parse_json(std::string_view text);
// Indented with two spaces; short arrays of scalars on one line.
std::string to_text(const Json& value);

struct NamedPosition {
    std::string name;
    Position position;
};
// The signature's positions: the initial position, states of seeded random
// games at several lengths, sparse endgames, random placements and a
// finished position.
std::vector<NamedPosition> signature_positions();

constexpr std::uint64_t BUDGET_MS = 1'000'000'000;
constexpr int MAX_ITERATIVE_DEPTH = 3;
constexpr int MAX_FIXED_DEPTH = 3;

// The dicts of the Python methods for one result.
Json analyze_timed_json(const engine::AnalysisResult& r);
Json analyze_json(const std::optional<engine::RootResult>& r);
// One position's entry, computed now.
Json signature_entry(const NamedPosition& p);
// The whole file, computed now.
Json signature_document();

// The position stored in an entry.
std::optional<Position> position_of(const Json& entry);

std::string signature_path();

}  // namespace tovak::signature
