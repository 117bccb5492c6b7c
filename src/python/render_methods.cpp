// The rendering methods of Position: the text diagram, the bare SVG board and
// the SVG board with a move overlay. The style names are read by the style
// parameter (parameters.h).
#include "python/methods.h"
#include "python/results.h"
#include "render/svg_board.h"
#include "render/text_board.h"

namespace tovak::py {

PyRef position_ascii_board(const Position& position, render::TextStyle style) {
    return text_object(render::ascii_board_with_style(position, style));
}

PyRef position_svg_board(const Position& position) {
    return text_object(render::svg_board(position));
}

// Never tested for legality: any well-formed move is drawn.
PyRef position_svg_for_move(const Position& position, Move move) {
    return text_object(render::svg_for_move(position, move));
}

}  // namespace tovak::py
