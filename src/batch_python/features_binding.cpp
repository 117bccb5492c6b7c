// The features of one position, from its letters-style diagram: the planes
// and the legal-move mask that tovak.features returns, computed here in one
// pass of the move generator instead of one Python call per square and move.

#include <nanobind/ndarray.h>
#include <nanobind/stl/string_view.h>

#include <cstdint>
#include <string_view>

#include "batch/features.h"
#include "batch/legal_moves.h"
#include "batch_python/bindings.h"
#include "batch_python/board_diagram.h"

namespace tovak::py_batch {

namespace {

using Planes = nb::ndarray<nb::numpy, float, nb::shape<3, 8, 8>>;
using Mask = nb::ndarray<nb::numpy, std::int8_t, nb::shape<4096>>;

struct Viewed {
    Position position;
    Color viewer;
};

Viewed read_arguments(std::string_view diagram, nb::handle side_to_move, nb::handle perspective) {
    const Color side = color_argument(side_to_move, "side_to_move");
    const Color viewer = perspective.is_none() ? side : color_argument(perspective, "perspective");
    const auto position = position_from_diagram(diagram, side);
    if (!position)
        throw nb::value_error(
            "board must be a letters-style diagram, as Position.ascii_board('letters') gives it");
    return Viewed{*position, viewer};
}

// A new array of `count` elements that numpy owns (through a capsule).
template <typename T>
T* new_elements(std::size_t count, nb::capsule& owner) {
    T* data = new T[count];
    owner = nb::capsule(data, [](void* p) noexcept { delete[] static_cast<T*>(p); });
    return data;
}

Planes board_planes(std::string_view diagram, nb::handle side_to_move, nb::handle perspective) {
    const Viewed viewed = read_arguments(diagram, side_to_move, perspective);
    nb::capsule owner;
    float* data = new_elements<float>(PLANES_SIZE, owner);
    write_planes(viewed.position, viewed.viewer, data);
    return Planes(data, {3, 8, 8}, owner);
}

Mask board_legal_mask(std::string_view diagram, nb::handle side_to_move, nb::handle perspective) {
    const Viewed viewed = read_arguments(diagram, side_to_move, perspective);
    LegalMoves moves;
    collect_legal_moves(viewed.position, moves);
    nb::capsule owner;
    std::int8_t* data = new_elements<std::int8_t>(ACTION_COUNT, owner);
    write_legal_mask(viewed.position, moves, viewed.viewer, reinterpret_cast<std::uint8_t*>(data));
    return Mask(data, {ACTION_COUNT}, owner);
}

nb::tuple board_sets(std::string_view diagram) {
    const auto position = position_from_diagram(diagram, Color::White);
    if (!position)
        throw nb::value_error(
            "board must be a letters-style diagram, as Position.ascii_board('letters') gives it");
    return nb::make_tuple(position->white(), position->black());
}

}  // namespace

void bind_features(nb::module_& module) {
    module.def("board_planes", &board_planes, nb::arg("board"), nb::arg("side_to_move"),
               nb::arg("perspective") = nb::none());
    module.def("board_legal_mask", &board_legal_mask, nb::arg("board"), nb::arg("side_to_move"),
               nb::arg("perspective") = nb::none());
    module.def("board_sets", &board_sets, nb::arg("board"));
}

}  // namespace tovak::py_batch
