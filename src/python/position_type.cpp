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
    // The interpreter passes a tuple and a dict (or null), so the sizes
    // cannot fail.
    if (PyTuple_Size(args) != 0 || (kwargs && PyDict_Size(kwargs) != 0)) {
        PyErr_SetString(PyExc_TypeError, messages::CONSTRUCTOR_TAKES_NO_ARGUMENTS);
        return nullptr;
    }
    return allocate(type, Position::initial());
}

void position_dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    const auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
    free_slot(self);
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

// Only a placeholder, see create_position_type.
PyGetSetDef MODULE_PLACEHOLDER[] = {
    {"__module__", nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject* create_position_type() {
    PyType_Slot slots[] = {
        {Py_tp_doc, CLASS_DOC},
        {Py_tp_new, reinterpret_cast<void*>(position_new)},
        {Py_tp_dealloc, reinterpret_cast<void*>(position_dealloc)},
        {Py_tp_methods, METHODS},
        {Py_tp_getset, MODULE_PLACEHOLDER},
        {0, nullptr},
    };
    // The class belongs to the module "builtins", and the interpreter names a
    // class of builtins by its tp_name in reprs and messages, as it does int:
    // so the type is declared with the bare name "Position". A declared name
    // without a module would leave __module__ unset (with a DeprecationWarning) unless the new
    // class's namespace already holds the name; the placeholder descriptor puts
    // it there, and is replaced by "builtins" below.
    PyType_Spec spec = {
        "Position",
        static_cast<int>(sizeof(PyPosition)),
        0,
        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,  // no Py_TPFLAGS_BASETYPE: no subclasses
        slots,
    };
    PyRef type(PyType_FromSpec(&spec));
    if (!type) return nullptr;
    // The namespace of an immutable class can only be written through its
    // dict itself, which the generic attribute dict gives for a heap type.
    // The doc slot's text after the signature is empty, which the interpreter
    // reports as "", not None; both are replaced before anyone sees the class.
    PyRef dict(PyObject_GenericGetDict(type.get(), nullptr));
    PyRef builtins(PyUnicode_InternFromString("builtins"));
    if (!dict || !builtins || PyDict_SetItemString(dict.get(), "__module__", builtins.get()) < 0 ||
        PyDict_SetItemString(dict.get(), "__doc__", Py_None) < 0)
        return nullptr;
    auto* type_object = reinterpret_cast<PyTypeObject*>(type.release());
    PyType_Modified(type_object);
    return type_object;
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
