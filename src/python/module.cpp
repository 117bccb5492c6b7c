// Module frame: multi-phase initialisation of tovak_python and its two
// module functions. The module has no state of its own: the Position type
// and the shared texts are built once per process and kept.
#include <Python.h>

#include "python/binding.h"
#include "python/messages.h"
#include "python/methods.h"
#include "python/parameters.h"
#include "python/position_type.h"
#include "python/shared_texts.h"

namespace tovak::py {
namespace {

// Notation only: the canonical text of a well-formed move, legal or not.
PyRef parse_move_string(Move move) { return move_text_object(move); }

// The module's functions, one row each (binding.h), added in this order.
// Referenced by the function objects for as long as they live.
PyMethodDef FUNCTIONS[] = {
    module_function<"parse_move_string", parse_move_string, param::Mv>(),
    module_function<"initial_position", initial_position>(),
};

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
    for (PyMethodDef& function : FUNCTIONS)
        if (!add_function(module, &function)) return -1;
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
