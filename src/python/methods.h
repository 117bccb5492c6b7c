#pragma once
// The bodies of the functions and methods of the module, by the file that
// defines them. position_type.cpp and module.cpp put them into their tables.
// Each has the `Body` shape of entry_point.h.

#include <Python.h>

#include "python/args.h"
#include "python/ref.h"

namespace tovak::py {

#define TOVAK_BODY(name) \
    PyRef name(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames)

// position_type.cpp: obtaining positions.
TOVAK_BODY(position_initial);
TOVAK_BODY(position_empty);
TOVAK_BODY(position_copy);
// The one implementation of Position.initial and initial_position; the
// signature names the function in argument errors.
PyRef initial_position_for(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames);

// rules_methods.cpp
TOVAK_BODY(position_side_to_move);
TOVAK_BODY(position_legal_moves);
TOVAK_BODY(position_is_legal_move);
TOVAK_BODY(position_apply_move);
TOVAK_BODY(position_piece_at);
TOVAK_BODY(position_set_piece);
TOVAK_BODY(position_clear_square);
TOVAK_BODY(position_piece_count);
TOVAK_BODY(position_outcome);
TOVAK_BODY(position_supporting_pivots);

#ifdef TOVAK_WITH_RENDER
// render_methods.cpp
TOVAK_BODY(position_ascii_board);
TOVAK_BODY(position_svg_board);
TOVAK_BODY(position_svg_for_move);
#endif

#ifdef TOVAK_WITH_ENGINE
// analysis_methods.cpp
TOVAK_BODY(position_best_move);
TOVAK_BODY(position_analyze);
TOVAK_BODY(position_analyze_timed);
TOVAK_BODY(position_evaluate);
#endif

#undef TOVAK_BODY

}  // namespace tovak::py
