#pragma once
// The adapter between the interpreter and a C++ function body: the body
// returns an owning reference (empty with a Python error set on failure), the
// adapter hands it to the interpreter and makes sure no C++ exception crosses
// the boundary. The core and the engine throw nothing of their own; an
// allocation failure inside them (std::bad_alloc) becomes MemoryError.

#include <Python.h>

#include <new>

#include "python/messages.h"
#include "python/ref.h"

namespace tovak::py {

// The shape of every METH_FASTCALL | METH_KEYWORDS body; `self` is the
// instance, or null (static methods) or the module (module functions).
using Body = PyRef (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

template <Body body>
PyObject* entry_point(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) noexcept {
    try {
        return body(self, args, nargs, kwnames).release();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, messages::INTERNAL_ERROR);
    }
    return nullptr;
}

// A method table entry for `body`. `doc` is the signature line followed by
// "\n--\n\n": the interpreter reports it as the text signature and the
// docstring as None.
template <Body body>
PyMethodDef method_entry(const char* name, const char* doc, int extra_flags = 0) {
    using Fast = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
    const Fast function = &entry_point<body>;
    return PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)),
                       METH_FASTCALL | METH_KEYWORDS | extra_flags, doc};
}

}  // namespace tovak::py
