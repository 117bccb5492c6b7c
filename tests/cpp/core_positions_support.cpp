#include "core_positions_support.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <numeric>

#include "core/move_list.h"
#include "core/movegen.h"

namespace tovak::samples {

RandomGame random_game(std::uint64_t seed, int ply_cap) {
    std::mt19937_64 rng(seed);
    RandomGame game{{Position::initial()}, {}};
    MoveList moves;
    for (int ply = 0; ply < ply_cap; ++ply) {
        Position next = game.states.back();
        generate_legal_moves(next, moves);
        if (moves.empty()) break;
        const Move pick =
            moves[std::uniform_int_distribution<std::size_t>(0, moves.size() - 1)(rng)];
        next.apply_legal_move(pick);
        game.states.push_back(next);
        game.moves.push_back(pick);
    }
    return game;
}

std::vector<Position> game_samples(std::uint64_t first_seed, int games, int ply_cap, std::size_t stride) {
    std::vector<Position> out;
    for (int g = 0; g < games; ++g) {
        const RandomGame game = random_game(first_seed + static_cast<std::uint64_t>(g), ply_cap);
        for (std::size_t i = 0; i < game.states.size(); i += stride) out.push_back(game.states[i]);
    }
    return out;
}

Position random_placement(std::mt19937_64& rng, int white_count, int black_count,
                          Color side_to_move) {
    std::array<int, 64> squares;
    std::iota(squares.begin(), squares.end(), 0);
    std::shuffle(squares.begin(), squares.end(), rng);
    Position p = Position::empty(side_to_move);
    for (int i = 0; i < white_count; ++i) p.set_piece(Color::White, Square::from_index(squares[i]));
    for (int i = 0; i < black_count; ++i)
        p.set_piece(Color::Black, Square::from_index(squares[white_count + i]));
    return p;
}

std::vector<Position> varied_placements(std::uint64_t seed, int count) {
    std::mt19937_64 rng(seed);
    auto uniform = [&rng](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    std::vector<Position> out;
    out.reserve(static_cast<std::size_t>(count) * 2);
    for (int i = 0; i < count; ++i) {
        int white = 0, black = 0;
        switch (i % 4) {
            case 0:  // at least one side with at most three pieces
                white = uniform(0, 3);
                black = uniform(0, 20);
                if (uniform(0, 1)) std::swap(white, black);
                break;
            case 1:  // an ordinary game's material
                white = uniform(4, 16);
                black = uniform(4, 16);
                break;
            case 2:  // crowded, possibly lopsided
                white = uniform(10, 40);
                black = uniform(std::max(0, 44 - white), 64 - white);
                break;
            default:  // anything at all
                white = uniform(0, 64);
                black = uniform(0, 64 - white);
                break;
        }
        const Position p = random_placement(rng, white, black, Color::White);
        Position q = p;
        q.set_side_to_move(Color::Black);
        out.push_back(p);
        out.push_back(q);
    }
    return out;
}

std::uint64_t perft(const Position& p, int depth) {
    if (depth == 0) return 1;
    MoveList moves;
    generate_legal_moves(p, moves);
    if (depth == 1) return moves.size();
    std::uint64_t leaves = 0;
    for (const Move m : moves) {
        Position child = p;
        child.apply_legal_move(m);
        leaves += perft(child, depth - 1);
    }
    return leaves;
}

std::string describe(const Position& p) {
    char text[80];
    std::snprintf(text, sizeof text, "white=0x%016llx black=0x%016llx %s to move",
                  static_cast<unsigned long long>(p.white()),
                  static_cast<unsigned long long>(p.black()),
                  p.side_to_move == Color::White ? "white" : "black");
    return text;
}

}  // namespace tovak::samples
