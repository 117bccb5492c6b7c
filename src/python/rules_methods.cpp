// The rules methods of Position: reading and editing the board, listing,
// testing and applying moves, the outcome and the supporting pivots. Each
// binds its arguments, takes its access, converts every argument, interprets
// the texts and only then calls the one core operation it exposes, so a call
// that fails leaves the position as it was.
#include "core/movegen.h"
#include "python/args.h"
#include "python/methods.h"
#include "python/position_type.h"
#include "python/shared_texts.h"

namespace tovak::py {
namespace {

constexpr const char* MV[] = {"mv"};
constexpr const char* SQUARE[] = {"square"};
constexpr const char* COLOR[] = {"color"};
constexpr const char* COLOR_AND_SQUARE[] = {"color", "square"};

constexpr Signature SIDE_TO_MOVE{"side_to_move", {}, 0};
constexpr Signature LEGAL_MOVES{"legal_moves", {}, 0};
constexpr Signature IS_LEGAL_MOVE{"is_legal_move", MV, 1};
constexpr Signature APPLY_MOVE{"apply_move", MV, 1};
constexpr Signature PIECE_AT{"piece_at", SQUARE, 1};
constexpr Signature SET_PIECE{"set_piece", COLOR_AND_SQUARE, 2};
constexpr Signature CLEAR_SQUARE{"clear_square", SQUARE, 1};
constexpr Signature PIECE_COUNT{"piece_count", COLOR, 1};
constexpr Signature OUTCOME{"outcome", {}, 0};
constexpr Signature SUPPORTING_PIVOTS{"supporting_pivots", MV, 1};

PyRef optional_color(std::optional<Color> color) {
    return color ? color_text_object(*color) : none();
}

// The move text argument of a one-parameter method (conversion, then interpretation).
std::optional<Move> move_argument(PyObject* value) {
    const auto text = text_argument(value, "mv");
    if (!text) return std::nullopt;
    return interpret_move(*text);
}

std::optional<Square> square_argument(PyObject* value) {
    const auto text = text_argument(value, "square");
    if (!text) return std::nullopt;
    return interpret_square(*text);
}

bool set_item(PyObject* dict, Key key, PyRef value) {
    return value && PyDict_SetItem(dict, shared_key(key), value.get()) == 0;
}

// {"supports": [A, B], "file_twice": f, "rank_twice": r, "center_square": s or None}
PyRef supporting_pivot_dict(const SupportingPivot& entry) {
    PyRef dict(PyDict_New());
    if (!dict) return {};
    PyRef supports(PyList_New(2));
    if (!supports) return {};
    PyList_SET_ITEM(supports.get(), 0, square_text_object(entry.supports[0]).release());
    PyList_SET_ITEM(supports.get(), 1, square_text_object(entry.supports[1]).release());
    const auto centre = entry.pivot.center_square();
    if (!set_item(dict.get(), Key::Supports, std::move(supports)) ||
        !set_item(dict.get(), Key::FileTwice, PyRef(PyLong_FromLong(entry.pivot.file_twice))) ||
        !set_item(dict.get(), Key::RankTwice, PyRef(PyLong_FromLong(entry.pivot.rank_twice))) ||
        !set_item(dict.get(), Key::CenterSquare, centre ? square_text_object(*centre) : none()))
        return {};
    return dict;
}

}  // namespace

PyRef position_side_to_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    if (!bind_arguments(SIDE_TO_MOVE, args, nargs, kwnames, nullptr)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    return color_text_object(object.position.side_to_move);
}

PyRef position_legal_moves(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    if (!bind_arguments(LEGAL_MOVES, args, nargs, kwnames, nullptr)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    MoveList moves;
    generate_legal_moves(object.position, moves);
    PyRef list(PyList_New(static_cast<Py_ssize_t>(moves.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < moves.size(); ++i)
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                        Py_NewRef(shared_move_text(moves[i])));
    return list;
}

PyRef position_is_legal_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(IS_LEGAL_MOVE, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    const auto move = move_argument(slots[0]);
    if (!move) return {};
    return boolean(!object.position.is_legal_move(*move).has_value());
}

PyRef position_apply_move(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(APPLY_MOVE, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const WriteAccess access(object);
    if (!access.granted()) return {};
    const auto move = move_argument(slots[0]);
    if (!move) return {};
    if (const auto error = object.position.apply_move(*move)) {
        raise_value_error(message(*error));
        return {};
    }
    return none();
}

PyRef position_piece_at(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(PIECE_AT, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    const auto square = square_argument(slots[0]);
    if (!square) return {};
    return optional_color(object.position.piece_at(*square));
}

PyRef position_set_piece(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    PyObject* slots[2];
    if (!bind_arguments(SET_PIECE, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const WriteAccess access(object);
    if (!access.granted()) return {};
    // Both texts are converted before either is read, and the colour is read first.
    const auto color_text = text_argument(slots[0], "color");
    if (!color_text) return {};
    const auto square_text = text_argument(slots[1], "square");
    if (!square_text) return {};
    const auto color = interpret_color(*color_text);
    if (!color) return {};
    const auto square = interpret_square(*square_text);
    if (!square) return {};
    object.position.set_piece(*color, *square);
    return none();
}

PyRef position_clear_square(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(CLEAR_SQUARE, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const WriteAccess access(object);
    if (!access.granted()) return {};
    const auto square = square_argument(slots[0]);
    if (!square) return {};
    object.position.clear_square(*square);
    return none();
}

PyRef position_piece_count(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(PIECE_COUNT, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    const auto text = text_argument(slots[0], "color");
    if (!text) return {};
    const auto color = interpret_color(*text);
    if (!color) return {};
    return PyRef(PyLong_FromLong(object.position.piece_count(*color)));
}

PyRef position_outcome(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (!bind_arguments(OUTCOME, args, nargs, kwnames, nullptr)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    return optional_color(object.position.outcome());
}

PyRef position_supporting_pivots(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
    PyObject* slots[1];
    if (!bind_arguments(SUPPORTING_PIVOTS, args, nargs, kwnames, slots)) return {};
    PyPosition& object = as_position(self);
    const ReadAccess access(object);
    if (!access.granted()) return {};
    const auto move = move_argument(slots[0]);
    if (!move) return {};
    const auto entries = object.position.supporting_pivots(object.position.side_to_move, *move);
    PyRef list(PyList_New(static_cast<Py_ssize_t>(entries.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        PyRef dict = supporting_pivot_dict(entries[i]);
        if (!dict) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
    return list;
}

}  // namespace tovak::py
