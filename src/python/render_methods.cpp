// The rendering methods of Position: the text diagram, the bare SVG board and
// the SVG board with a move overlay. The binding's one decision here is the
// mapping of style names to the two text styles.
#include <string>

#include "python/args.h"
#include "python/messages.h"
#include "python/methods.h"
#include "python/position_type.h"
#include "python/style_names.h"
#include "render/svg_board.h"
#include "render/text_board.h"

namespace tovak::py {
namespace {

constexpr const char* STYLE[] = {"style"};
constexpr const char* MV[] = {"mv"};
constexpr Signature ASCII_BOARD{"ascii_board", STYLE, 0};
constexpr Signature SVG_BOARD{"svg_board", {}, 0};
constexpr Signature SVG_FOR_MOVE{"svg_for_move", MV, 1};

PyRef text_object(const std::string& text) {
    return PyRef(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

}  // namespace

PyRef position_ascii_board(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(ASCII_BOARD, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    std::optional<render::TextStyle> style = render::TextStyle::Discs;  // None or left out
    if (slots[0] && slots[0] != Py_None) {
        const auto name = text_argument(slots[0], "style");
        if (!name) return {};
        style = parse_style_name(*name);
        if (!style) {
            raise_value_error(messages::STYLE_NOT_RECOGNISED);
            return {};
        }
    }
    return text_object(render::ascii_board_with_style(object.position, *style));
}

PyRef position_svg_board(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    if (!bind_arguments(SVG_BOARD, args, nargs, kwnames, nullptr)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    return text_object(render::svg_board(object.position));
}

PyRef position_svg_for_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(SVG_FOR_MOVE, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    const auto text = text_argument(slots[0], "mv");
    if (!text) return {};
    const auto move = interpret_move(*text);
    if (!move) return {};
    // Never tested for legality: any well-formed move is drawn.
    return text_object(render::svg_for_move(object.position, *move));
}

}  // namespace tovak::py
