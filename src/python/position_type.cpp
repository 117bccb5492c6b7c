// The class Position: type object, construction, copying and the method
// table.
#include "python/position_type.h"

#include <new>

#include "python/binding.h"
#include "python/messages.h"
#include "python/methods.h"
#include "python/parameters.h"

namespace tovak::py {
namespace {

PyObject* allocate(PyTypeObject* type, const Position& position) {
    PyPosition* object = PyObject_New(PyPosition, type);  // also takes a reference to the heap type
    if (!object) return nullptr;
    new (&object->position) Position(position);
    new (&object->access) std::atomic<std::int32_t>(0);
    return reinterpret_cast<PyObject*>(object);
}

// Position(): the creation slot. It takes no arguments at all.
PyObject* position_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    if (PyTuple_GET_SIZE(args) != 0 || (kwargs && PyDict_GET_SIZE(kwargs) != 0)) {
        PyErr_SetString(PyExc_TypeError, messages::CONSTRUCTOR_TAKES_NO_ARGUMENTS);
        return nullptr;
    }
    return allocate(type, Position::initial());
}

void position_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    type->tp_free(self);
    Py_DECREF(type);
}

// The class's methods, one row each (binding.h), registered in this order;
// the order is visible in the class's namespace. Adding a method: its body
// in the file of its kind (declared in methods.h), its row here.
PyMethodDef METHODS[] = {
    static_method<"initial", initial_position>(),
    static_method<"empty", position_empty, param::SideToMove>(),
    reading_method<"copy", position_copy>(),
    reading_method<"side_to_move", position_side_to_move>(),
    reading_method<"legal_moves", position_legal_moves>(),
    reading_method<"is_legal_move", position_is_legal_move, param::Mv>(),
    writing_method<"apply_move", position_apply_move, param::Mv>(),
    reading_method<"piece_at", position_piece_at, param::Square>(),
    writing_method<"set_piece", position_set_piece, param::Color, param::Square>(),
    writing_method<"clear_square", position_clear_square, param::Square>(),
    reading_method<"piece_count", position_piece_count, param::Color>(),
    reading_method<"ascii_board", position_ascii_board, param::Style>(),
    reading_method<"svg_board", position_svg_board>(),
    reading_method<"svg_for_move", position_svg_for_move, param::Mv>(),
    reading_method<"best_move", position_best_move, param::Depth>(),
    reading_method<"analyze", position_analyze, param::Depth>(),
    reading_method<"analyze_timed", position_analyze_timed, param::Depth, param::BudgetMs>(),
    reading_method<"evaluate", position_evaluate>(),
    reading_method<"outcome", position_outcome>(),
    reading_method<"supporting_pivots", position_supporting_pivots, param::Mv>(),
    PyMethodDef{nullptr, nullptr, 0, nullptr},
};

char CLASS_DOC[] = "Position()\n--\n\n";

PyTypeObject* create_position_type() {
    PyType_Slot slots[] = {
        {Py_tp_doc, CLASS_DOC},
        {Py_tp_new, reinterpret_cast<void*>(position_new)},
        {Py_tp_dealloc, reinterpret_cast<void*>(position_dealloc)},
        {Py_tp_methods, METHODS},
        {0, nullptr},
    };
    // The "builtins." prefix gives the class the module "builtins" without a
    // warning; a name without a dot would leave __module__ missing.
    PyType_Spec spec = {
        "builtins.Position",
        static_cast<int>(sizeof(PyPosition)),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,  // no Py_TPFLAGS_BASETYPE: no subclasses
        slots,
    };
    PyRef type(PyType_FromSpec(&spec));
    if (!type) return nullptr;
    auto* type_object = reinterpret_cast<PyTypeObject*>(type.get());
    // The doc slot's text after the signature is empty, which the interpreter
    // reports as "", not None; replace it before anyone sees the class.
    PyRef dict(PyType_GetDict(type_object));
    if (!dict || PyDict_SetItemString(dict.get(), "__doc__", Py_None) < 0) return nullptr;
    // The interpreter spells a class of "builtins" by its tp_name in reprs and
    // messages, as it does for int; drop the prefix that only PyType_Spec needed.
    // (The name buffer copied from the PyType_Spec is still freed with the type.)
    type_object->tp_name = "Position";
    PyType_Modified(type_object);
    return reinterpret_cast<PyTypeObject*>(type.release());
}

}  // namespace

PyTypeObject* position_type() {
    // Built once per process and never changed afterwards; the interpreter
    // lock serialises the first calls.
    static PyTypeObject* type = nullptr;
    if (!type) type = create_position_type();
    return type;
}

PyRef new_position(const Position& position) {
    PyTypeObject* type = position_type();
    if (!type) return {};
    return PyRef(allocate(type, position));
}

PyRef initial_position() { return new_position(Position::initial()); }

PyRef position_empty(Color side_to_move) { return new_position(Position::empty(side_to_move)); }

PyRef position_copy(const Position& position) { return new_position(position); }

}  // namespace tovak::py
