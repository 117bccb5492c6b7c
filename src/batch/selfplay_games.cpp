#include "batch/selfplay_games.h"

#include <bit>
#include <optional>

#include "batch/thread_pool.h"
#include "core/square.h"
#include "engine/analysis.h"
#include "engine/clock.h"

namespace tovak {

namespace {

template <typename T>
void append_all(std::vector<T>& to, const std::vector<T>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

void append_squares(Bitboard set, std::string& out) {
    if (set == 0) {
        out += '-';
        return;
    }
    bool first = true;
    for (; set != 0; set &= set - 1) {
        if (!first) out += ',';
        first = false;
        const SquareText text = square_text(Square::from_index(
            static_cast<std::uint8_t>(std::countr_zero(static_cast<std::uint64_t>(set)))));
        out.append(text.chars, 2);
    }
}

// The module's reading of a budget in milliseconds: every value is a real
// budget, and one beyond the clock's range means no deadline.
engine::Duration budget_of(std::uint64_t budget_ms) {
    return engine::Duration{budget_ms / 1000,
                            static_cast<std::uint32_t>((budget_ms % 1000) * 1'000'000)};
}

// One row's columns apart from the engine's figures and the game's result,
// which are filled in once known.
void start_row(const Position& position, std::int64_t number, std::int32_t ply,
               SelfPlayColumns& out) {
    out.game.push_back(number);
    out.ply.push_back(ply);
    out.white.push_back(position.white());
    out.black.push_back(position.black());
    out.side.push_back(static_cast<std::int8_t>(index_of(position.side_to_move)));
    append_position_text(position, out.position_text);
    out.position_offsets.push_back(static_cast<std::int32_t>(out.position_text.size()));
}

void engine_figures(SelfPlayColumns& out, std::int32_t score, std::int16_t depth,
                    std::int64_t nodes, std::int64_t quiescence_nodes) {
    out.score.push_back(score);
    out.depth.push_back(depth);
    out.nodes.push_back(nodes);
    out.quiescence_nodes.push_back(quiescence_nodes);
}

}  // namespace

void SelfPlayColumns::append(const SelfPlayColumns& other) {
    append_all(game, other.game);
    append_all(ply, other.ply);
    append_all(white, other.white);
    append_all(black, other.black);
    append_all(side, other.side);
    append_all(move, other.move);
    append_all(chosen_by, other.chosen_by);
    append_all(score, other.score);
    append_all(depth, other.depth);
    append_all(nodes, other.nodes);
    append_all(quiescence_nodes, other.quiescence_nodes);
    append_all(winner, other.winner);
    append_all(result, other.result);
    append_all(end_reason, other.end_reason);
    const auto base = static_cast<std::int32_t>(position_text.size());
    for (std::size_t r = 1; r < other.position_offsets.size(); ++r)
        position_offsets.push_back(base + other.position_offsets[r]);
    position_text += other.position_text;
    append_all(game_plies, other.game_plies);
}

void append_position_text(const Position& position, std::string& out) {
    out += "W:";
    append_squares(position.white(), out);
    out += " B:";
    append_squares(position.black(), out);
    out += position.side_to_move == Color::White ? " w" : " b";
}

SelfPlayer::SelfPlayer(SelfPlayLimits limits) : limits_(limits), table_(engine::TABLE_BUCKETS) {}

engine::AnalysisResult SelfPlayer::analyze(const Position& position, engine::Duration budget) {
    if (limits_.budget_ms == NO_TIME_LIMIT_MS) {
        // The package's budget for no time limit: a deadline some 584
        // million years ahead, which no search lives to see. A clock that
        // counts its reads reaches it no sooner, so the search is the same,
        // without a read of the system clock at every node.
        engine::TickClock clock;
        return engine::analyze_in_table(position, limits_.depth, budget, clock, table_);
    }
    engine::SteadyClock clock;
    return engine::analyze_in_table(position, limits_.depth, budget, clock, table_);
}

void SelfPlayer::play(const SelfPlayOpening& game, SelfPlayColumns& out) {
    const std::size_t first_row = out.rows();
    Position position = game.start;
    std::int32_t plies = 0;
    std::optional<Color> winner;
    EndReason reason = EndReason::NoLegalMove;
    const engine::Duration budget = budget_of(limits_.budget_ms);
    while (true) {
        winner = position.outcome();
        if (winner) break;
        if (plies >= limits_.max_plies) {
            reason = EndReason::PlyLimit;
            break;
        }
        start_row(position, game.number, plies + 1, out);
        Move move;
        if (static_cast<std::size_t>(plies) < game.random_moves.size()) {
            move = game.random_moves[static_cast<std::size_t>(plies)];
            out.chosen_by.push_back(static_cast<std::int8_t>(ChosenBy::Random));
            engine_figures(out, 0, 0, 0, 0);
        } else {
            const engine::AnalysisResult analysis = analyze(position, budget);
            table_.clear();
            // The game has a move here (its outcome is open), and the engine
            // always gives one then.
            const engine::RootResult& best = *analysis.best;
            move = best.best_move;
            out.chosen_by.push_back(static_cast<std::int8_t>(ChosenBy::Engine));
            engine_figures(out, best.score, analysis.stats.completed_depth,
                           static_cast<std::int64_t>(analysis.stats.nodes),
                           static_cast<std::int64_t>(analysis.stats.quiescence_nodes));
        }
        out.move.push_back(static_cast<std::int16_t>(dense_index(move)));
        position.apply_legal_move(move);
        ++plies;
    }
    if (plies == 0) {
        start_row(position, game.number, 0, out);
        out.move.push_back(NONE);
        out.chosen_by.push_back(NONE);
        engine_figures(out, 0, 0, 0, 0);
    }
    const std::size_t rows = out.rows() - first_row;
    const std::int8_t winner_code = winner ? static_cast<std::int8_t>(index_of(*winner)) : NONE;
    out.winner.insert(out.winner.end(), rows, winner_code);
    out.end_reason.insert(out.end_reason.end(), rows, static_cast<std::int8_t>(reason));
    for (std::size_t r = first_row; r < out.rows(); ++r)
        out.result.push_back(!winner ? 0 : out.side[r] == winner_code ? 1 : -1);
    out.game_plies.push_back(plies);
}

SelfPlayColumns play_selfplay_games(std::span<const SelfPlayOpening> games, SelfPlayLimits limits,
                                    unsigned threads) {
    if (threads < 1) threads = 1;
    if (threads > games.size())
        threads = games.size() > 0 ? static_cast<unsigned>(games.size()) : 1;
    std::vector<SelfPlayColumns> parts(threads);
    auto task = [&](unsigned part) {
        const PartRange range = part_range(games.size(), threads, part);
        SelfPlayer player(limits);
        for (std::size_t g = range.begin; g < range.end; ++g) player.play(games[g], parts[part]);
    };
    ThreadPool pool(threads);
    pool.run(task);
    SelfPlayColumns all = std::move(parts[0]);
    for (unsigned part = 1; part < threads; ++part) all.append(parts[part]);
    return all;
}

}  // namespace tovak
