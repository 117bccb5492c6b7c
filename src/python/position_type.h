#pragma once
// The Python class Position: its instance layout and the type object. The
// access flag is taken through access.h; the methods are listed in
// position_type.cpp.

#include <Python.h>

#include <atomic>
#include <cstdint>

#include "core/position.h"
#include "python/ref.h"

namespace tovak::py {

// One instance: a core position held by value and the access flag. Nothing
// else, in particular no reference to another Python object.
struct PyPosition {
    PyObject ob_base;  // what PyObject_HEAD declares
    Position position;
    // 0: free; n > 0: n readers; WRITING: one writer (access.h).
    std::atomic<std::int32_t> access;
};
inline constexpr std::int32_t WRITING = -1;

// The type object, built on the first call (at the latest while the module
// is initialised) and kept for the life of the process. Null with a Python
// error set if building it failed.
PyTypeObject* position_type();

// A new Position object holding a copy of `position`.
PyRef new_position(const Position& position);

}  // namespace tovak::py
