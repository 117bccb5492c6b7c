#pragma once
// Owning references to Python objects.
//
// `PyRef` holds one strong reference, or none. It is made from a *new*
// reference (the result of a C API call that returns one, possibly null after
// an error), gives it back on `release()` (the caller takes the reference) and
// drops it in its destructor, so every early return of a function frees what
// it had built. A function that returns a new reference returns a `PyRef`;
// a plain `PyObject*` parameter or result is always borrowed.

#include <Python.h>

#include <utility>

namespace tovak::py {

class PyRef {
  public:
    PyRef() = default;
    // Takes over a new reference (null is allowed: "no object, an error is set").
    explicit PyRef(PyObject* new_reference) : object_(new_reference) {}
    // Adds a reference of its own to a borrowed object.
    static PyRef borrow(PyObject* borrowed) { return PyRef(Py_XNewRef(borrowed)); }

    PyRef(PyRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        PyRef dropped(std::move(*this));
        object_ = std::exchange(other.object_, nullptr);
        return *this;
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    ~PyRef() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    // Hands the reference to the caller (for example back to the interpreter).
    [[nodiscard]] PyObject* release() { return std::exchange(object_, nullptr); }

  private:
    PyObject* object_ = nullptr;
};

inline PyRef none() { return PyRef(Py_NewRef(Py_None)); }
inline PyRef boolean(bool value) { return PyRef(Py_NewRef(value ? Py_True : Py_False)); }

}  // namespace tovak::py
