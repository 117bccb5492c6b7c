#include "python/shared_texts.h"

#include <array>
#include <new>
#include <string_view>

namespace tovak::py {
namespace {

constexpr std::array<std::string_view, 13> KEY_NAMES = {
    "supports",         "file_twice",      "rank_twice", "center_square",
    "best_move",        "score",           "depth",      "principal_variation",
    "root_legal_moves", "completed_depth", "nodes",      "quiescence_nodes",
    "timed_out",
};
static_assert(KEY_NAMES.size() == static_cast<std::size_t>(Key::TimedOut) + 1);

struct SharedTexts {
    std::array<PyObject*, 64> squares{};
    std::array<PyObject*, 64 * 64> moves{};  // by dense_index(move)
    std::array<PyObject*, 2> colors{};
    std::array<PyObject*, KEY_NAMES.size()> keys{};
};

// The one table, published only once complete. Its objects are never
// released: they live as long as the process, like the Position type.
const SharedTexts* table = nullptr;

PyObject* make_text(std::string_view text) {
    PyObject* s = PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    if (s) PyUnicode_InternInPlace(&s);
    return s;
}

// Fills `texts`; on failure the caller releases whatever was made.
bool fill(SharedTexts& texts) {
    for (int i = 0; i < 64; ++i)
        if (!(texts.squares[i] = make_text(square_text(Square::from_index(i)).view())))
            return false;
    for (int from = 0; from < 64; ++from) {
        for (int to = 0; to < 64; ++to) {
            const Move m{Square::from_index(from), Square::from_index(to)};
            if (!(texts.moves[dense_index(m)] = make_text(move_text(m).view()))) return false;
        }
    }
    for (Color c : {Color::White, Color::Black})
        if (!(texts.colors[index_of(c)] = make_text(color_name(c)))) return false;
    for (std::size_t k = 0; k < KEY_NAMES.size(); ++k)
        if (!(texts.keys[k] = make_text(KEY_NAMES[k]))) return false;
    return true;
}

void release_all(SharedTexts& texts) {
    for (PyObject* s : texts.squares) Py_XDECREF(s);
    for (PyObject* s : texts.moves) Py_XDECREF(s);
    for (PyObject* s : texts.colors) Py_XDECREF(s);
    for (PyObject* s : texts.keys) Py_XDECREF(s);
}

}  // namespace

bool ensure_shared_texts() {
    if (table) return true;
    auto* texts = new (std::nothrow) SharedTexts;
    if (!texts) {
        PyErr_NoMemory();
        return false;
    }
    if (!fill(*texts)) {
        release_all(*texts);
        delete texts;
        return false;
    }
    table = texts;
    return true;
}

PyObject* shared_square_text(Square s) { return table->squares[s.index]; }
PyObject* shared_move_text(Move m) {
    return table->moves[static_cast<std::size_t>(dense_index(m))];
}
PyObject* shared_color_text(Color c) {
    return table->colors[static_cast<std::size_t>(index_of(c))];
}
PyObject* shared_key(Key key) { return table->keys[static_cast<std::size_t>(key)]; }

}  // namespace tovak::py
