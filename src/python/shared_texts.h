#pragma once
// The texts the module hands out again and again: the 64 square names, the
// 4096 move texts, the two colour names and the dict keys. Python strings are
// immutable, so one object per text is made when the module is first
// initialised and shared by every result; this makes `legal_moves()` a list
// of new references instead of a list of new strings. The table is built
// once per process and never changed afterwards (only its objects'
// reference counts move). Lists and dicts are still built new for each call.

#include <Python.h>

#include "core/color.h"
#include "core/move.h"
#include "core/square.h"
#include "python/ref.h"

namespace tovak::py {

// The dict keys, one enumerator per key.
enum class Key {
    Supports,
    FileTwice,
    RankTwice,
    CenterSquare,
    BestMove,
    Score,
    Depth,
    PrincipalVariation,
    RootLegalMoves,
    CompletedDepth,
    Nodes,
    QuiescenceNodes,
    TimedOut,
};

// Builds the table the first time; true once it exists, false with a Python
// error set if building it failed (it is then retried on the next call).
bool ensure_shared_texts();

// Borrowed references into the table; valid once ensure_shared_texts()
// has succeeded, which module initialisation guarantees before any method runs.
PyObject* shared_square_text(Square s);
PyObject* shared_move_text(Move m);
PyObject* shared_color_text(Color c);
PyObject* shared_key(Key key);

// New references to the same objects.
inline PyRef square_text_object(Square s) { return PyRef::borrow(shared_square_text(s)); }
inline PyRef move_text_object(Move m) { return PyRef::borrow(shared_move_text(m)); }
inline PyRef color_text_object(Color c) { return PyRef::borrow(shared_color_text(c)); }

}  // namespace tovak::py
