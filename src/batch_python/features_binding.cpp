// The features of one position, from its letters-style diagram: the planes
// and the legal-move mask that tovak.features returns, computed here in one
// pass of the move generator instead of one Python call per square and move.
//
// Both take an optional `out`, an array of the right type and size that the
// caller made (numpy's np.empty): written through the buffer protocol, it
// costs a fraction of a new array handed over through nanobind's ndarray,
// which matters when one position is asked for at a time.

#include <nanobind/ndarray.h>
#include <nanobind/stl/string_view.h>

#include <cstdint>
#include <string>
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

// The writable C-contiguous buffer of `out`, checked to hold `count`
// elements of `format` (the struct-module code numpy gives: "f", "b").
class OutBuffer {
  public:
    OutBuffer(nb::handle out, std::size_t count, std::size_t item_size, char format,
              const char* what) {
        if (PyObject_GetBuffer(out.ptr(), &view_,
                               PyBUF_WRITABLE | PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0)
            throw nb::python_error();
        const bool fits = view_.itemsize == static_cast<Py_ssize_t>(item_size) &&
                          view_.len == static_cast<Py_ssize_t>(count * item_size) &&
                          view_.format != nullptr && view_.format[0] == format &&
                          view_.format[1] == '\0';
        if (!fits) {
            PyBuffer_Release(&view_);
            throw nb::value_error((std::string("out must be a writable C-contiguous array of ") +
                                   std::to_string(count) + " " + what)
                                      .c_str());
        }
    }
    OutBuffer(const OutBuffer&) = delete;
    OutBuffer& operator=(const OutBuffer&) = delete;
    ~OutBuffer() { PyBuffer_Release(&view_); }
    void* data() const { return view_.buf; }

  private:
    Py_buffer view_{};
};

nb::object board_planes(std::string_view diagram, nb::handle side_to_move, nb::handle perspective,
                        nb::handle out) {
    const Viewed viewed = read_arguments(diagram, side_to_move, perspective);
    if (!out.is_none()) {
        const OutBuffer buffer(out, PLANES_SIZE, sizeof(float), 'f', "float32");
        write_planes(viewed.position, viewed.viewer, static_cast<float*>(buffer.data()));
        return nb::borrow(out);
    }
    nb::capsule owner;
    float* data = new_elements<float>(PLANES_SIZE, owner);
    write_planes(viewed.position, viewed.viewer, data);
    return nb::cast(Planes(data, {3, 8, 8}, owner));
}

nb::object board_legal_mask(std::string_view diagram, nb::handle side_to_move,
                            nb::handle perspective, nb::handle out) {
    const Viewed viewed = read_arguments(diagram, side_to_move, perspective);
    LegalMoves moves;
    collect_legal_moves(viewed.position, moves);
    if (!out.is_none()) {
        const OutBuffer buffer(out, ACTION_COUNT, sizeof(std::int8_t), 'b', "int8");
        write_legal_mask(viewed.position, moves, viewed.viewer,
                         static_cast<std::uint8_t*>(buffer.data()));
        return nb::borrow(out);
    }
    nb::capsule owner;
    std::int8_t* data = new_elements<std::int8_t>(ACTION_COUNT, owner);
    write_legal_mask(viewed.position, moves, viewed.viewer, reinterpret_cast<std::uint8_t*>(data));
    return nb::cast(Mask(data, {ACTION_COUNT}, owner));
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
               nb::arg("perspective") = nb::none(), nb::arg("out") = nb::none());
    module.def("board_legal_mask", &board_legal_mask, nb::arg("board"), nb::arg("side_to_move"),
               nb::arg("perspective") = nb::none(), nb::arg("out") = nb::none());
    module.def("board_sets", &board_sets, nb::arg("board"));
}

}  // namespace tovak::py_batch
