// tovak._batch.play_selfplay: self-play games played in C++ (without the
// interpreter lock), their rows handed back as numpy arrays that own the
// columns the games were written into (no copy); tovak.runs.batched turns
// them into the dataset's record batches.

#include <nanobind/ndarray.h>
#include <nanobind/stl/string.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "batch/selfplay_games.h"
#include "batch_python/bindings.h"

namespace tovak::py_batch {

namespace {

template <typename T>
using Input = nb::ndarray<const T, nb::ndim<1>, nb::c_contig, nb::device::cpu>;

// A numpy array that takes over `values`' memory.
template <typename T>
nb::object owning_array(std::vector<T>&& values) {
    auto* held = new std::vector<T>(std::move(values));
    nb::capsule owner(held, [](void* p) noexcept { delete static_cast<std::vector<T>*>(p); });
    return nb::cast(nb::ndarray<nb::numpy, T, nb::ndim<1>>(held->data(), {held->size()}, owner));
}

nb::object owning_bytes(std::string&& text) {
    auto* held = new std::string(std::move(text));
    nb::capsule owner(held, [](void* p) noexcept { delete static_cast<std::string*>(p); });
    return nb::cast(nb::ndarray<nb::numpy, std::uint8_t, nb::ndim<1>>(
        reinterpret_cast<std::uint8_t*>(held->data()), {held->size()}, owner));
}

std::vector<SelfPlayOpening> openings(const Input<std::int64_t>& numbers,
                                      const Input<std::uint64_t>& white,
                                      const Input<std::uint64_t>& black,
                                      const Input<std::int8_t>& side,
                                      const Input<std::int32_t>& opening_counts,
                                      const Input<std::int16_t>& opening_moves) {
    const std::size_t count = numbers.shape(0);
    if (white.shape(0) != count || black.shape(0) != count || side.shape(0) != count ||
        opening_counts.shape(0) != count)
        throw nb::value_error("every per-game array needs one entry per game");
    std::vector<SelfPlayOpening> games(count);
    std::size_t next_move = 0;
    for (std::size_t g = 0; g < count; ++g) {
        if (white(g) & black(g))
            throw nb::value_error("a square cannot hold a White and a Black piece");
        if (side(g) != 0 && side(g) != 1)
            throw nb::value_error("side must be 0 (White) or 1 (Black)");
        SelfPlayOpening& game = games[g];
        game.number = numbers(g);
        Position start = Position::empty(side(g) == 0 ? Color::White : Color::Black);
        for (int s = 0; s < 64; ++s) {
            if ((white(g) >> s) & 1) start.set_piece(Color::White, Square::from_index(s));
            if ((black(g) >> s) & 1) start.set_piece(Color::Black, Square::from_index(s));
        }
        game.start = start;
        if (opening_counts(g) < 0 ||
            next_move + static_cast<std::size_t>(opening_counts(g)) > opening_moves.shape(0))
            throw nb::value_error("the opening counts do not match the opening moves");
        Position position = start;
        for (int k = 0; k < opening_counts(g); ++k) {
            const std::int16_t dense = opening_moves(next_move++);
            if (dense < 0 || dense >= 4096) throw nb::value_error("opening move out of range");
            const Move move{Square::from_index(dense / 64), Square::from_index(dense % 64)};
            if (position.outcome() || position.apply_move(move))
                throw nb::value_error("an opening move is not legal in its game");
            game.random_moves.push_back(move);
        }
    }
    if (next_move != opening_moves.shape(0))
        throw nb::value_error("the opening counts do not match the opening moves");
    return games;
}

nb::dict play_selfplay(const Input<std::int64_t>& numbers, const Input<std::uint64_t>& white,
                       const Input<std::uint64_t>& black, const Input<std::int8_t>& side,
                       const Input<std::int32_t>& opening_counts,
                       const Input<std::int16_t>& opening_moves, int depth, std::uint64_t budget_ms,
                       int max_plies, unsigned threads) {
    if (depth < 0 || depth > 255)
        throw nb::value_error(
            ("depth must be from 0 to 255, got " + std::to_string(depth)).c_str());
    if (max_plies < 0) throw nb::value_error("max_plies must be 0 or more");
    if (threads < 1) throw nb::value_error("threads must be at least 1");
    const std::vector<SelfPlayOpening> games =
        openings(numbers, white, black, side, opening_counts, opening_moves);
    const SelfPlayLimits limits{static_cast<std::uint8_t>(depth), budget_ms, max_plies};
    SelfPlayColumns rows;
    {
        nb::gil_scoped_release release;
        rows = play_selfplay_games(games, limits, threads);
    }
    nb::dict out;
    out["game"] = owning_array(std::move(rows.game));
    out["ply"] = owning_array(std::move(rows.ply));
    out["white"] = owning_array(std::move(rows.white));
    out["black"] = owning_array(std::move(rows.black));
    out["side"] = owning_array(std::move(rows.side));
    out["move"] = owning_array(std::move(rows.move));
    out["chosen_by"] = owning_array(std::move(rows.chosen_by));
    out["score"] = owning_array(std::move(rows.score));
    out["depth"] = owning_array(std::move(rows.depth));
    out["nodes"] = owning_array(std::move(rows.nodes));
    out["quiescence_nodes"] = owning_array(std::move(rows.quiescence_nodes));
    out["winner"] = owning_array(std::move(rows.winner));
    out["result"] = owning_array(std::move(rows.result));
    out["end_reason"] = owning_array(std::move(rows.end_reason));
    out["position_offsets"] = owning_array(std::move(rows.position_offsets));
    out["position_text"] = owning_bytes(std::move(rows.position_text));
    out["game_plies"] = owning_array(std::move(rows.game_plies));
    return out;
}

}  // namespace

void bind_selfplay(nb::module_& module) {
    module.def("play_selfplay", &play_selfplay, nb::arg("numbers"), nb::arg("white"),
               nb::arg("black"), nb::arg("side"), nb::arg("opening_counts"),
               nb::arg("opening_moves"), nb::arg("depth"), nb::arg("budget_ms"),
               nb::arg("max_plies"), nb::arg("threads"));
}

}  // namespace tovak::py_batch
