#pragma once
// Self-play games played here, many in one call, written straight into the
// columns of the dataset's rows (one row per ply): the engine against itself
// as the package's self-play plays it, each engine ply the engine's own
// analyze_iterative at the run's depth and budget, so the rows equal those of
// the one-game-at-a-time path.
//
// The random opening plies are drawn by the caller (the package draws them
// from its own per-game generator) and handed in as moves; this side plays
// them first, then the engine until the side to move has no move or the
// game reaches max_plies.
//
// One player keeps one transposition table for all its searches and empties
// only what the last analysis wrote before the next one: every analysis
// starts from an empty table, as a fresh one would, without the cost of a
// fresh megabyte per ply.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/move.h"
#include "core/position.h"
#include "engine/analysis.h"
#include "engine/clock.h"
#include "engine/table.h"

namespace tovak {

// The budget the package hands the engine for a search without a time limit.
constexpr std::uint64_t NO_TIME_LIMIT_MS = UINT64_MAX;

struct SelfPlayLimits {
    std::uint8_t depth = 1;
    std::uint64_t budget_ms = NO_TIME_LIMIT_MS;  // per search
    int max_plies = 200;
};

// One game to play: its number, where it starts and its opening moves (legal
// in turn from the start, as many as were drawn: fewer than asked when the
// game ended or hit max_plies first).
struct SelfPlayOpening {
    std::int64_t number = 0;
    Position start = Position::initial();
    std::vector<Move> random_moves;
};

// Codes of the small text columns; NONE where the row has no value.
constexpr std::int8_t NONE = -1;
enum class ChosenBy : std::int8_t { Random = 0, Engine = 1 };
enum class EndReason : std::int8_t { NoLegalMove = 0, PlyLimit = 1 };

// The rows of the games played, game after game in the order given, ply
// after ply. A game without a ply (max_plies 0) is one row of ply 0 with the
// start position and no move. Colours are Color's index (White 0); the
// engine's figures are meaningful only in rows chosen by the engine; `move`
// is the dense index of the move (NONE for no move); `result` is +1 when the
// row's side won, -1 when it lost, 0 without a winner.
struct SelfPlayColumns {
    std::vector<std::int64_t> game;
    std::vector<std::int32_t> ply;
    std::vector<std::uint64_t> white;
    std::vector<std::uint64_t> black;
    std::vector<std::int8_t> side;
    std::vector<std::int16_t> move;
    std::vector<std::int8_t> chosen_by;
    std::vector<std::int32_t> score;
    std::vector<std::int16_t> depth;
    std::vector<std::int64_t> nodes;
    std::vector<std::int64_t> quiescence_nodes;
    std::vector<std::int8_t> winner;
    std::vector<std::int8_t> result;
    std::vector<std::int8_t> end_reason;
    // The position texts (as tovak.notation.to_text writes them), row r in
    // position_text[position_offsets[r], position_offsets[r + 1]).
    std::vector<std::int32_t> position_offsets{0};
    std::string position_text;
    // Plies played by each game, in the order given (0 for a game without a ply).
    std::vector<std::int32_t> game_plies;

    std::size_t rows() const { return game.size(); }
    // Appends the rows of `other` after these.
    void append(const SelfPlayColumns& other);
};

// The canonical text of a position: "W:a1,b1 B:a8 w" ("-" for no piece).
void append_position_text(const Position& position, std::string& out);

class SelfPlayer {
  public:
    explicit SelfPlayer(SelfPlayLimits limits);

    // Plays `game` to its end and appends its rows to `out`. The opening's
    // moves must be legal in turn.
    void play(const SelfPlayOpening& game, SelfPlayColumns& out);

  private:
    engine::AnalysisResult analyze(const Position& position, engine::Duration budget);

    SelfPlayLimits limits_;
    engine::TranspositionTable table_;
};

// Plays `games` on `threads` threads (contiguous ranges of games, each range
// with a player of its own) and returns their rows in the order given.
SelfPlayColumns play_selfplay_games(std::span<const SelfPlayOpening> games, SelfPlayLimits limits,
                                    unsigned threads);

}  // namespace tovak
