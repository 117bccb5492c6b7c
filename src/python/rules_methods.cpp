// The rules methods of Position: reading and editing the board, listing,
// testing and applying moves, the outcome and the supporting pivots. Each
// calls the one core operation it exposes, or reads the position's fields.
#include <span>

#include "core/movegen.h"
#include "python/args.h"
#include "python/methods.h"
#include "python/results.h"
#include "python/shared_texts.h"

namespace tovak::py {
namespace {

// {"supports": [A, B], "file_twice": f, "rank_twice": r, "center_square": s or None}
PyRef supporting_pivot_dict(const SupportingPivot& entry) {
    PyRef dict(PyDict_New());
    if (!dict) return {};
    PyRef supports(PyList_New(2));
    if (!supports) return {};
    PyList_SetItem(supports.get(), 0, square_text_object(entry.supports[0]).release());
    PyList_SetItem(supports.get(), 1, square_text_object(entry.supports[1]).release());
    const auto centre = entry.pivot.center_square();
    if (!set_item(dict.get(), Key::Supports, std::move(supports)) ||
        !set_item(dict.get(), Key::FileTwice, signed_int(entry.pivot.file_twice)) ||
        !set_item(dict.get(), Key::RankTwice, signed_int(entry.pivot.rank_twice)) ||
        !set_item(dict.get(), Key::CenterSquare, centre ? square_text_object(*centre) : none()))
        return {};
    return dict;
}

}  // namespace

PyRef position_side_to_move(const Position& position) {
    return color_text_object(position.side_to_move);
}

PyRef position_legal_moves(const Position& position) {
    MoveList moves;
    generate_legal_moves(position, moves);
    return move_list(moves);
}

PyRef position_is_legal_move(const Position& position, Move move) {
    return boolean(!position.is_legal_move(move).has_value());
}

PyRef position_apply_move(Position& position, Move move) {
    if (const auto error = position.apply_move(move)) {
        raise_value_error(message(*error));
        return {};
    }
    return none();
}

PyRef position_piece_at(const Position& position, Square square) {
    return optional_color(position.piece_at(square));
}

PyRef position_set_piece(Position& position, Color color, Square square) {
    position.set_piece(color, square);
    return none();
}

PyRef position_clear_square(Position& position, Square square) {
    position.clear_square(square);
    return none();
}

PyRef position_piece_count(const Position& position, Color color) {
    return PyRef(PyLong_FromLong(position.piece_count(color)));
}

PyRef position_outcome(const Position& position) { return optional_color(position.outcome()); }

PyRef position_supporting_pivots(const Position& position, Move move) {
    const auto entries = position.supporting_pivots(position.side_to_move, move);
    PyRef list(PyList_New(static_cast<Py_ssize_t>(entries.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        PyRef dict = supporting_pivot_dict(entries[i]);
        if (!dict) return {};
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
    return list;
}

}  // namespace tovak::py
