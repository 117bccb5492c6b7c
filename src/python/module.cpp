// Module frame: multi-phase initialisation of tovak_python and its two
// module functions. The module has no state of its own: the Position type
// and the shared texts are built once per process and kept.
#include <Python.h>

#include "python/args.h"
#include "python/entry_point.h"
#include "python/messages.h"
#include "python/methods.h"
#include "python/position_type.h"
#include "python/shared_texts.h"

namespace tovak::py {
namespace {

constexpr const char* MV[] = {"mv"};
constexpr Signature PARSE_MOVE_STRING{"parse_move_string", MV, 1};
constexpr Signature INITIAL_POSITION{"initial_position", {}, 0};

// Notation only: the canonical text of a well-formed move, legal or not.
PyRef parse_move_string(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(PARSE_MOVE_STRING, args, nargs, kwnames, slots)) return {};
    const auto text = text_argument(slots[0], "mv");
    if (!text) return {};
    const auto move = interpret_move(*text);
    if (!move) return {};
    return move_text_object(*move);
}

PyRef initial_position(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return initial_position_for(INITIAL_POSITION, args, nargs, kwnames);
}

// Referenced by the function objects for as long as they live.
PyMethodDef PARSE_MOVE_STRING_DEF =
    method_entry<parse_move_string>("parse_move_string", "parse_move_string(mv)\n--\n\n");
PyMethodDef INITIAL_POSITION_DEF =
    method_entry<initial_position>("initial_position", "initial_position()\n--\n\n");

// Appends `name` to the module's __all__ (made empty first if missing), then
// sets the attribute.
bool add_exported(PyObject* module, const char* name, PyObject* value) {
    PyObject* dict = PyModule_GetDict(module);  // borrowed
    PyObject* all =
        PyDict_GetItemString(dict, "__all__");  // borrowed; the module has no other code
    PyRef created;
    if (!all) {
        created = PyRef(PyList_New(0));
        if (!created || PyDict_SetItemString(dict, "__all__", created.get()) < 0) return false;
        all = created.get();
    }
    if (!PyList_Check(all)) {
        PyErr_SetString(PyExc_TypeError, messages::ALL_IS_NOT_A_LIST);
        return false;
    }
    PyRef text(PyUnicode_FromString(name));
    if (!text || PyList_Append(all, text.get()) < 0) return false;
    return PyModule_AddObjectRef(module, name, value) == 0;
}

bool add_function(PyObject* module, PyMethodDef* def) {
    PyRef module_name(PyModule_GetNameObject(module));
    if (!module_name) return false;
    PyRef function(PyCMethod_New(def, module, module_name.get(), nullptr));
    return function && add_exported(module, def->ml_name, function.get());
}

int exec_module(PyObject* module) noexcept {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, messages::NOT_A_MODULE);
        return -1;
    }
    if (!ensure_shared_texts()) return -1;
    PyTypeObject* type = position_type();
    if (!type) return -1;
    if (!add_exported(module, "Position", reinterpret_cast<PyObject*>(type))) return -1;
    if (!add_function(module, &PARSE_MOVE_STRING_DEF)) return -1;
    if (!add_function(module, &INITIAL_POSITION_DEF)) return -1;
    return 0;
}

PyModuleDef_Slot MODULE_SLOTS[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    // The type object and the shared texts belong to the whole process, so
    // they cannot be handed to a second interpreter.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#ifdef Py_mod_gil
    {Py_mod_gil, Py_MOD_GIL_USED},
#endif
    {0, nullptr},
};

PyModuleDef MODULE_DEF = {
    PyModuleDef_HEAD_INIT, "tovak_python", "", 0, nullptr, MODULE_SLOTS, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace tovak::py

PyMODINIT_FUNC PyInit_tovak_python(void) { return PyModuleDef_Init(&tovak::py::MODULE_DEF); }
