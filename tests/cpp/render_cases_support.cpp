#include "render_cases_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <numeric>
#include <sstream>
#include <stdexcept>

namespace tovak::render_test {

std::optional<Position> parse_board(std::string_view board, Color side_to_move) {
    Position p = Position::empty(side_to_move);
    int rank = 7;
    int file = 0;
    for (const char c : board) {
        if (c == '/') {
            if (file != 8 || rank == 0) return std::nullopt;
            --rank;
            file = 0;
        } else if (c >= '1' && c <= '8') {
            file += c - '0';
            if (file > 8) return std::nullopt;
        } else if (c == 'W' || c == 'B') {
            if (file > 7) return std::nullopt;
            p.set_piece(c == 'W' ? Color::White : Color::Black, *Square::from_coords(file, rank));
            ++file;
        } else {
            return std::nullopt;
        }
    }
    if (rank != 0 || file != 8) return std::nullopt;
    return p;
}

Position board(std::string_view text, Color side_to_move) {
    const std::optional<Position> p = parse_board(text, side_to_move);
    if (!p) {
        ADD_FAILURE() << "malformed board " << text;
        return Position::empty(side_to_move);
    }
    return *p;
}

Move move(std::string_view text) {
    const auto m = parse_move(text);
    if (!m) {
        ADD_FAILURE() << "malformed move " << text;
        return Move{};
    }
    return *m;
}

std::vector<RenderCase> load_cases(const std::filesystem::path& manifest) {
    std::istringstream lines(read_file(manifest));
    std::vector<RenderCase> cases;
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string name, board_text, side_text, move_text, extra;
        const auto fail = [&](std::string_view why) {
            return std::runtime_error(manifest.string() + ":" + std::to_string(number) + ": " +
                                      std::string(why));
        };
        if (!(fields >> name >> board_text >> side_text >> move_text) || (fields >> extra)) {
            throw fail("expected four fields");
        }
        const std::optional<Color> side = parse_color(side_text);
        if (!side) throw fail("bad side to move");
        const std::optional<Position> position = parse_board(board_text, *side);
        if (!position) throw fail("bad board");
        std::optional<Move> highlight;
        if (move_text != "-") {
            const auto m = parse_move(move_text);
            if (!m) throw fail("bad move");
            highlight = *m;
        }
        cases.push_back(RenderCase{name, *position, highlight});
    }
    return cases;
}

std::filesystem::path golden_dir() { return std::filesystem::path(TOVAK_TEST_DATA_DIR) / "render"; }

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace tovak::render_test
