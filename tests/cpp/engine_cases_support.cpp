#include "engine_cases_support.h"

#include <cstdio>
#include <random>
#include <sstream>

#include "core_positions_support.h"

namespace tovak {

Move move_from(std::string_view text) {
    const Expected<Move, ParseMoveError> parsed = parse_move(text);
    EXPECT_TRUE(parsed.has_value()) << text;
    return parsed.has_value() ? parsed.value() : Move{};
}

std::vector<Move> moves_from(std::string_view space_separated) {
    std::vector<Move> out;
    std::istringstream words{std::string(space_separated)};
    for (std::string word; words >> word;) out.push_back(move_from(word));
    return out;
}

Position position_from(std::string_view white, std::string_view black, Color side_to_move) {
    Position p = Position::empty(side_to_move);
    auto place = [&p](std::string_view squares, Color c) {
        std::istringstream words{std::string(squares)};
        for (std::string word; words >> word;) {
            const std::optional<Square> s = parse_square(word);
            EXPECT_TRUE(s.has_value()) << word;
            if (s) p.set_piece(c, *s);
        }
    };
    place(white, Color::White);
    place(black, Color::Black);
    return p;
}

std::vector<Position> sample_positions(std::uint64_t seed, int games, int stride, int placements) {
    std::vector<Position> out;
    for (int g = 0; g < games; ++g) {
        const samples::RandomGame game = samples::random_game(seed + static_cast<std::uint64_t>(g), 200);
        for (std::size_t i = 0; i < game.states.size(); i += static_cast<std::size_t>(stride))
            out.push_back(game.states[i]);
        out.push_back(game.states.back());  // often a finished game
    }
    for (const Position& p : samples::varied_placements(seed ^ 0x5eed, placements)) out.push_back(p);
    return out;
}

std::vector<Position> search_positions(std::uint64_t seed, int games, int min_ply, int stride, int placements) {
    std::vector<Position> out;
    for (int g = 0; g < games; ++g) {
        const samples::RandomGame game = samples::random_game(seed + static_cast<std::uint64_t>(g), 200);
        for (std::size_t i = static_cast<std::size_t>(min_ply); i < game.states.size();
             i += static_cast<std::size_t>(stride))
            out.push_back(game.states[i]);
    }
    std::mt19937_64 rng(seed ^ 0xabcdef);
    for (int i = 0; i < placements; ++i) {
        const int white = 3 + static_cast<int>(rng() % 7);
        const int black = 3 + static_cast<int>(rng() % 7);
        out.push_back(samples::random_placement(rng, white, black, i % 2 == 0 ? Color::White : Color::Black));
    }
    return out;
}

std::string describe(const Position& p) { return samples::describe(p); }

namespace engine {

bool operator==(const RootResult& a, const RootResult& b) {
    return a.principal_variation == b.principal_variation && a.score == b.score && a.best_move == b.best_move &&
           a.depth == b.depth;
}

bool operator==(const SearchStats& a, const SearchStats& b) {
    return a.nodes == b.nodes && a.quiescence_nodes == b.quiescence_nodes &&
           a.root_legal_moves == b.root_legal_moves && a.timed_out == b.timed_out &&
           a.completed_depth == b.completed_depth;
}

void expect_same_tables(const TranspositionTable& fast, const reference_engine::Table& literal,
                        const std::string& context) {
    ASSERT_EQ(fast.bucket_count(), literal.buckets.size()) << context;
    int mismatches = 0;
    for (std::size_t b = 0; b < fast.bucket_count() && mismatches < 5; ++b) {
        for (std::size_t s = 0; s < SLOTS_PER_BUCKET; ++s) {
            const TtEntry& got = fast.slot(b, s);
            const std::optional<reference_engine::Entry>& want = literal.buckets[b][s];
            const bool same = got.empty() ? !want.has_value()
                                          : want.has_value() && got.key == want->key && got.score == want->score &&
                                                got.depth == want->depth && got.bound() == want->bound &&
                                                got.best_move() == want->best_move;
            if (!same) {
                ++mismatches;
                ADD_FAILURE() << context << ": bucket " << b << " slot " << s << " differs"
                              << (got.empty() ? " (fast empty)" : "") << (want ? "" : " (literal empty)");
            }
        }
    }
}

std::size_t occupied_slots(const TranspositionTable& table) {
    std::size_t n = 0;
    for (std::size_t b = 0; b < table.bucket_count(); ++b)
        for (std::size_t s = 0; s < SLOTS_PER_BUCKET; ++s) n += !table.slot(b, s).empty();
    return n;
}

}  // namespace engine
}  // namespace tovak
