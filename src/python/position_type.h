#pragma once
// The Python class Position: its instance layout, the type object, and the
// access flag that every method takes for the length of its call.

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
    // 0: free; n > 0: n readers; WRITING: one writer.
    std::atomic<std::int32_t> access;
};
inline constexpr std::int32_t WRITING = -1;

// The type object, built on the first call (at the latest while the module
// is initialised) and kept for the life of the process. Null with a Python
// error set if building it failed.
PyTypeObject* position_type();

// A new Position object holding a copy of `position`.
PyRef new_position(const Position& position);

// `self` of a method: the method descriptor has checked its type already.
inline PyPosition& as_position(PyObject* self) { return *reinterpret_cast<PyPosition*>(self); }

// Shared access for a reading method. When `granted()` is false, a
// RuntimeError is set and the method must return at once.
class ReadAccess {
  public:
    explicit ReadAccess(PyPosition& object);
    ~ReadAccess();
    ReadAccess(const ReadAccess&) = delete;
    ReadAccess& operator=(const ReadAccess&) = delete;
    bool granted() const { return object_ != nullptr; }

  private:
    PyPosition* object_;
};

// Exclusive access for set_piece, clear_square and apply_move.
class WriteAccess {
  public:
    explicit WriteAccess(PyPosition& object);
    ~WriteAccess();
    WriteAccess(const WriteAccess&) = delete;
    WriteAccess& operator=(const WriteAccess&) = delete;
    bool granted() const { return object_ != nullptr; }

  private:
    PyPosition* object_;
};

}  // namespace tovak::py
