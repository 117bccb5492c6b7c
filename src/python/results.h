#pragma once
// Conversion of results to new Python objects, shared by the method bodies.
// Each returns a new reference, empty with a Python error set on failure.
// Texts that recur (squares, moves, colours, dict keys) come from
// shared_texts.h; lists and dicts are always built new for the call.

#include <Python.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "core/color.h"
#include "core/move.h"
#include "python/ref.h"
#include "python/shared_texts.h"

namespace tovak::py {

// The colour's name, or None.
PyRef optional_color(std::optional<Color> color);

// A new list of the moves' texts, in order.
PyRef move_list(std::span<const Move> moves);

// A new str holding `text` (UTF-8).
PyRef text_object(std::string_view text);

inline PyRef signed_int(std::int32_t value) { return PyRef(PyLong_FromLong(value)); }
inline PyRef unsigned_int(std::uint64_t value) { return PyRef(PyLong_FromUnsignedLongLong(value)); }

// Inserts `value` under `key`; false when `value` is empty (its error stays
// set) or the insertion failed. The dict keeps its own reference.
bool set_item(PyObject* dict, Key key, PyRef value);

}  // namespace tovak::py
