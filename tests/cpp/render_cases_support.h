#pragma once
// Test positions for the renderer: a compact board
// notation, and the list of golden cases kept in tests/data/render/cases.txt
// (the Python suite reads the same list).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/position.h"

namespace tovak::render_test {

// Ranks 8 to 1 separated by "/", each rank from file a: "W" a White piece,
// "B" a Black piece, a digit 1-8 that many empty squares. None when malformed.
std::optional<Position> parse_board(std::string_view board, Color side_to_move);

Position board(std::string_view text,
               Color side_to_move = Color::White);  // aborts the test when malformed
Move move(std::string_view text);                   // likewise

struct RenderCase {
    std::string name;
    Position position;
    std::optional<Move> highlight;  // none: the bare board, with both diagrams
};
inline void PrintTo(const RenderCase& c, std::ostream* os) { *os << c.name; }

// One case per line: name, board, side to move, move or "-"; "#" starts a comment.
// Throws std::runtime_error naming the line when the file is missing or malformed.
std::vector<RenderCase> load_cases(const std::filesystem::path& manifest);

std::filesystem::path golden_dir();
std::string read_file(const std::filesystem::path& path);  // throws when unreadable
void write_file(const std::filesystem::path& path, std::string_view bytes);

}  // namespace tovak::render_test
