#pragma once
// The name of an object's type as the interpreter writes it in its own
// messages ("expected str, got int"), which is the type's tp_name. The
// limited API hides tp_name, so it is rebuilt from __module__ and __name__.

#include <Python.h>

#include "python/ref.h"

namespace tovak::py {

// A new str: "module.name" for a type whose attributes cannot be changed
// (every built-in and extension type) unless its module is builtins, else
// "name" (a class written in Python, whose tp_name is its __name__). Empty
// with a Python error set on failure.
PyRef type_name_in_messages(PyObject* object);

}  // namespace tovak::py
