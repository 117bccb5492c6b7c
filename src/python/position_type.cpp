// The class Position: type object, construction, copying, the access flag
// and the method table.
#include "python/position_type.h"

#include <new>

#include "python/args.h"
#include "python/entry_point.h"
#include "python/messages.h"
#include "python/methods.h"

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

// Registered in this order; the order is visible in the class's namespace.
PyMethodDef METHODS[] = {
    method_entry<position_initial>("initial", "initial()\n--\n\n", METH_STATIC),
    method_entry<position_empty>("empty", "empty(side_to_move)\n--\n\n", METH_STATIC),
    method_entry<position_copy>("copy", "copy($self)\n--\n\n"),
    method_entry<position_side_to_move>("side_to_move", "side_to_move($self)\n--\n\n"),
    method_entry<position_legal_moves>("legal_moves", "legal_moves($self)\n--\n\n"),
    method_entry<position_is_legal_move>("is_legal_move", "is_legal_move($self, mv)\n--\n\n"),
    method_entry<position_apply_move>("apply_move", "apply_move($self, mv)\n--\n\n"),
    method_entry<position_piece_at>("piece_at", "piece_at($self, square)\n--\n\n"),
    method_entry<position_set_piece>("set_piece", "set_piece($self, color, square)\n--\n\n"),
    method_entry<position_clear_square>("clear_square", "clear_square($self, square)\n--\n\n"),
    method_entry<position_piece_count>("piece_count", "piece_count($self, color)\n--\n\n"),
#ifdef TOVAK_WITH_RENDER
    method_entry<position_ascii_board>("ascii_board", "ascii_board($self, style=None)\n--\n\n"),
    method_entry<position_svg_board>("svg_board", "svg_board($self)\n--\n\n"),
    method_entry<position_svg_for_move>("svg_for_move", "svg_for_move($self, mv)\n--\n\n"),
#endif
#ifdef TOVAK_WITH_ENGINE
    method_entry<position_best_move>("best_move", "best_move($self, depth)\n--\n\n"),
    method_entry<position_analyze>("analyze", "analyze($self, depth)\n--\n\n"),
    method_entry<position_analyze_timed>("analyze_timed",
                                         "analyze_timed($self, depth, budget_ms)\n--\n\n"),
    method_entry<position_evaluate>("evaluate", "evaluate($self)\n--\n\n"),
#endif
    method_entry<position_outcome>("outcome", "outcome($self)\n--\n\n"),
    method_entry<position_supporting_pivots>("supporting_pivots",
                                             "supporting_pivots($self, mv)\n--\n\n"),
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

constexpr const char* SIDE_TO_MOVE_PARAMETERS[] = {"side_to_move"};
constexpr Signature INITIAL{"initial", {}, 0};
constexpr Signature EMPTY{"empty", SIDE_TO_MOVE_PARAMETERS, 1};
constexpr Signature COPY{"copy", {}, 0};

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

ReadAccess::ReadAccess(PyPosition& object) : object_(&object) {
    std::int32_t current = object.access.load(std::memory_order_relaxed);
    do {
        if (current == WRITING) {
            PyErr_SetString(PyExc_RuntimeError, messages::ALREADY_MUTABLY_BORROWED);
            object_ = nullptr;
            return;
        }
    } while (!object.access.compare_exchange_weak(current, current + 1, std::memory_order_acquire,
                                                  std::memory_order_relaxed));
}

ReadAccess::~ReadAccess() {
    if (object_) object_->access.fetch_sub(1, std::memory_order_release);
}

WriteAccess::WriteAccess(PyPosition& object) : object_(&object) {
    std::int32_t expected = 0;
    if (!object.access.compare_exchange_strong(expected, WRITING, std::memory_order_acquire,
                                               std::memory_order_relaxed)) {
        PyErr_SetString(PyExc_RuntimeError, messages::ALREADY_BORROWED);
        object_ = nullptr;
    }
}

WriteAccess::~WriteAccess() {
    if (object_) object_->access.store(0, std::memory_order_release);
}

PyRef initial_position_for(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    if (!bind_arguments(signature, args, nargs, kwnames, nullptr)) return {};
    return new_position(Position::initial());
}

PyRef position_initial(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return initial_position_for(INITIAL, args, nargs, kwnames);
}

PyRef position_empty(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(EMPTY, args, nargs, kwnames, slots)) return {};
    const auto text = text_argument(slots[0], "side_to_move");
    if (!text) return {};
    const auto side = interpret_color(*text);
    if (!side) return {};
    return new_position(Position::empty(*side));
}

PyRef position_copy(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (!bind_arguments(COPY, args, nargs, kwnames, nullptr)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    return new_position(object.position);
}

}  // namespace tovak::py
