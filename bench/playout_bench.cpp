// Random playouts on the rules core, written as a Python user writes them
// against the module (list the moves, pick one at random, apply it, until
// the outcome is decided), so that bench/python_bench.py can put the
// module's plies per second next to the core's.
//
//   playout_bench [games [ply_cap [seed]]]
//
// A game that reaches ply_cap is cut off (three against three can shuffle
// for ever: the game has no draw). Prints one line:
//   games G plies P seconds S plies_per_second R

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "core/position.h"

namespace {

std::uint64_t argument(int argc, char** argv, int i, std::uint64_t fallback) {
    return argc > i ? std::strtoull(argv[i], nullptr, 10) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t games = argument(argc, argv, 1, 200);
    const std::uint64_t ply_cap = argument(argc, argv, 2, 1000);
    std::mt19937_64 rng(argument(argc, argv, 3, 1));

    std::uint64_t plies = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::uint64_t g = 0; g < games; ++g) {
        tovak::Position p = tovak::Position::initial();
        for (std::uint64_t ply = 0; ply < ply_cap && !p.outcome(); ++ply) {
            const auto moves = p.legal_moves();
            std::uniform_int_distribution<std::size_t> pick(0, moves.size() - 1);
            if (p.apply_move(moves[pick(rng)])) return 1;  // a listed move must be legal
            ++plies;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("games %llu plies %llu seconds %.6f plies_per_second %.0f\n",
                static_cast<unsigned long long>(games), static_cast<unsigned long long>(plies),
                seconds, seconds > 0 ? plies / seconds : 0.0);
    return 0;
}
