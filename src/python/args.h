#pragma once
// The argument primitives behind every function and method of the module.
// parameters.h composes them into the module's parameters, binding.h runs
// them in stages.
//
// A call goes through three stages, and each stage finishes for all
// parameters before the next begins, so the first error a caller sees is the
// most basic one:
//   1. binding: positional and keyword arguments are matched to parameters
//      (counts, unknown and repeated keywords: TypeError);
//   2. conversion: each bound object becomes a plain value in parameter order
//      (a `str` to its UTF-8 text, an index to a fixed-width integer:
//      TypeError "argument '<name>': ...", OverflowError when out of range);
//   3. interpretation: texts become colours, squares and moves in parameter
//      order (ValueError with the system's message).
// Each function returns an empty optional (or false) with a Python error set
// on failure.

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/color.h"
#include "core/move.h"
#include "core/square.h"
#include "render/text_board.h"

namespace tovak::py {

// The parameters of one function, in order. The first `required` must be
// given; the others default to "absent" (a null slot).
struct Signature {
    const char* function;
    std::span<const char* const> parameters;
    std::size_t required;
};

// Stage 1 for a METH_FASTCALL | METH_KEYWORDS call: fills slots[i] with the
// borrowed argument for parameter i, or null when an optional one is absent.
// `slots` holds one entry per parameter.
// `kwnames` may be null or empty; keyword names are compared by value.
bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots);

// Stage 2. The text's bytes are owned by `value`, which outlives the call.
std::optional<std::string_view> text_argument(PyObject* value, const char* name);
std::optional<std::uint8_t> u8_argument(PyObject* value, const char* name);
std::optional<std::uint64_t> u64_argument(PyObject* value, const char* name);

// Stage 3.
std::optional<Color> interpret_color(std::string_view text);
std::optional<Square> interpret_square(std::string_view text);
std::optional<Move> interpret_move(std::string_view text);
std::optional<render::TextStyle> interpret_style(std::string_view name);

// ValueError whose one argument is `message`.
void raise_value_error(std::string_view message);

}  // namespace tovak::py
