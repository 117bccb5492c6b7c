#include "python/type_names.h"

namespace tovak::py {

// The interpreter's tp_name is "module.name" for a type defined in C and
// outside builtins (a static type spells it so; a heap type is
// named so where it is declared), and the bare __name__ for a class statement's type,
// which is never immutable. So the immutable flag tells the two apart.
PyRef type_name_in_messages(PyObject* object) {
    PyTypeObject* type = Py_TYPE(object);
    PyRef name(PyType_GetName(type));
    if (!name || !(PyType_GetFlags(type) & Py_TPFLAGS_IMMUTABLETYPE)) return name;
    PyRef module(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
    if (!module) return {};
    if (!PyUnicode_Check(module.get()) ||
        PyUnicode_CompareWithASCIIString(module.get(), "builtins") == 0)
        return name;
    return PyRef(PyUnicode_FromFormat("%U.%U", module.get(), name.get()));
}

}  // namespace tovak::py
