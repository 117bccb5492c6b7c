#pragma once
// A slow, literal transcription of the search engine, kept apart from the
// fast engine so that tests and benchmarks can hold one against the other.
//
// Every function follows the engine's rules step by step and in their own
// terms: the evaluation from full move lists of both sides; ordering by a
// stable ascending sort whose comparator recomputes the ordering score, then
// a reversal of the whole list; a fresh vector per call; every move applied
// with the full legality test; a table of optional slots. The rules come
// from the core's literal reference (core_reference_support.h), never from
// the fast core. Only plain value types are shared with the engine (the
// result records, Bound, Duration).
//
// The deadline is a count of tests: it passes at a chosen test (or never),
// and every test can be logged, so a test can pick the exact moment at which
// a search is cut short and replay it on the fast engine with a TickClock.
//
// Obviously correct beats fast: do not optimise this file.

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/move.h"
#include "core/position.h"
#include "engine/analysis.h"
#include "engine/stats.h"
#include "engine/table.h"

namespace tovak::reference_engine {

using engine::AnalysisResult;
using engine::Bound;
using engine::RootResult;
using engine::SearchStats;

constexpr std::int32_t LOSS_SCORE = -100000;
constexpr std::int32_t NO_SCORE = -100001;

// --- Evaluation -------------------------------------------------------------

int centre_distance(Square s);
std::int32_t evaluate(const Position& p);

// --- Ordering -----------------------------------------------------------------

std::int32_t move_ordering_score(const Position& p, Square from, Square to, std::optional<Move> hint);
std::vector<Move> ordered_moves(const Position& p, std::optional<Move> hint);
std::vector<Move> capture_moves(const Position& p, std::optional<Move> hint);

// --- Table ----------------------------------------------------------------------

struct Entry {
    std::uint64_t key = 0;
    std::int32_t score = 0;
    std::uint8_t depth = 0;
    Bound bound = Bound::Exact;
    std::optional<Move> best_move;
    friend bool operator==(const Entry&, const Entry&) = default;
};

struct Table {
    explicit Table(std::size_t bucket_count) : buckets(bucket_count) {}
    std::vector<std::array<std::optional<Entry>, 4>> buckets;
};

const Entry* find(const Table& t, std::uint64_t key);
void insert(Table& t, std::uint64_t key, std::int32_t score, std::uint8_t depth, Bound bound,
            std::optional<Move> best_move);
std::optional<Move> hint_move(const Table& t, std::uint64_t key);

// --- Deadline -------------------------------------------------------------------

// Where a deadline test happened.
enum class TestSite : std::uint8_t {
    RootSearchStart,    // step 1 of the root search
    RootMove,           // before a root move
    NodeEntry,          // on entry to negamax
    NodeMove,           // before a move in negamax
    QuiescenceEntry,    // on entry to quiescence
    QuiescenceCapture,  // before a capture in quiescence
    DriverCheck,        // the driver after a root search
};

struct TestRecord {
    std::uint64_t test = 0;  // 1 for the first test
    TestSite site{};
    std::uint64_t hash = 0;  // the position tested (the root for RootMove and DriverCheck)
};

// No deadline at all (`present` false), or one that passes at test number
// `passes_at` (1-based; never when none).
struct Deadline {
    bool present = false;
    std::optional<std::uint64_t> passes_at;
    std::uint64_t tests = 0;
    std::vector<TestRecord>* log = nullptr;

    static Deadline none() { return Deadline{}; }
    static Deadline at_test(std::optional<std::uint64_t> test, std::vector<TestRecord>* log = nullptr) {
        return Deadline{true, test, 0, log};
    }
    bool passed(TestSite site, std::uint64_t hash);
};

// --- Search -----------------------------------------------------------------------

std::optional<std::int32_t> quiescence(const Position& p, std::int32_t alpha, std::int32_t beta, std::uint8_t ply,
                                       Table& table, Deadline& deadline, SearchStats& stats);
std::optional<std::int32_t> negamax(const Position& p, std::uint8_t depth, std::int32_t alpha, std::int32_t beta,
                                    Table& table, Deadline& deadline, SearchStats& stats);
std::optional<RootResult> best_move_with_table(const Position& p, std::uint8_t depth, Table& table,
                                               Deadline& deadline, SearchStats& stats);

// The analysis driver: `budget` none is the fixed-depth search, otherwise the
// iterative deepening against the given deadline. The table is handed out
// when asked for.
AnalysisResult analyze(const Position& p, std::uint8_t max_depth, std::optional<Deadline> budget,
                       Table* table_out = nullptr);

}  // namespace tovak::reference_engine
