#include "python/results.h"

namespace tovak::py {

PyRef optional_color(std::optional<Color> color) {
    return color ? color_text_object(*color) : none();
}

PyRef move_list(std::span<const Move> moves) {
    PyRef list(PyList_New(static_cast<Py_ssize_t>(moves.size())));
    if (!list) return {};
    // The shared texts exist once the module is initialised, so no null test
    // per entry: this loop is the whole cost of legal_moves() beyond generation.
    // Setting an in-range item of a new list cannot fail.
    for (std::size_t i = 0; i < moves.size(); ++i)
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i),
                       Py_NewRef(shared_move_text(moves[i])));
    return list;
}

PyRef text_object(std::string_view text) {
    return PyRef(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

bool set_item(PyObject* dict, Key key, PyRef value) {
    return value && PyDict_SetItem(dict, shared_key(key), value.get()) == 0;
}

}  // namespace tovak::py
