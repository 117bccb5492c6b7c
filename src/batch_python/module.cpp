// tovak._batch: games in batches for reinforcement learning, the tree search
// over them, and the features of one position, for the tovak package (which
// documents them: tovak.vector, tovak.mcts and tovak.features). Unlike tovak_python it releases the
// interpreter lock in its long calls and runs threads of its own.

#include <string>

#include "batch_python/bindings.h"

namespace tovak::py_batch {

Color color_argument(nb::handle value, std::string_view what) {
    if (nb::isinstance<nb::str>(value)) {
        const std::string_view text = nb::borrow<nb::str>(value).c_str();
        if (text == "white") return Color::White;
        if (text == "black") return Color::Black;
    }
    throw nb::value_error(
        (std::string(what) + " must be 'white' or 'black', got " + nb::repr(value).c_str())
            .c_str());
}

}  // namespace tovak::py_batch

NB_MODULE(_batch, module) {
    tovak::py_batch::bind_features(module);
    tovak::py_batch::bind_games(module);
    tovak::py_batch::bind_selfplay(module);
    tovak::py_batch::bind_search(module);
}
