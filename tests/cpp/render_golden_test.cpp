// Golden pictures and diagrams: every case of tests/data/render/cases.txt
// rendered and compared byte for byte with its files. Run with
// TOVAK_UPDATE_GOLDEN=1 to rewrite the files instead (see the README there).

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "render/svg_board.h"
#include "render/text_board.h"
#include "render_cases_support.h"

namespace tovak::render {
namespace {

using render_test::RenderCase;

struct GoldenFile {
    std::string file_name;
    std::string rendered;
};

// A bare board has both diagrams and the picture; a case with a move only its
// picture with the overlay.
std::vector<GoldenFile> rendered_files(const RenderCase& c) {
    if (c.highlight) return {{c.name + ".svg", svg_for_move(c.position, *c.highlight)}};
    return {{c.name + ".discs.txt", ascii_board_with_style(c.position, TextStyle::Discs)},
            {c.name + ".letters.txt", ascii_board_with_style(c.position, TextStyle::Letters)},
            {c.name + ".svg", svg_board(c.position)}};
}

std::vector<RenderCase> all_cases() {
    return render_test::load_cases(render_test::golden_dir() / "cases.txt");
}

bool updating() {
    const char* flag = std::getenv("TOVAK_UPDATE_GOLDEN");
    return flag != nullptr && std::string_view(flag) == "1";
}

class Golden : public ::testing::TestWithParam<RenderCase> {};

TEST_P(Golden, MatchesItsFilesByteForByte) {
    for (const GoldenFile& f : rendered_files(GetParam())) {
        const std::filesystem::path path = render_test::golden_dir() / f.file_name;
        if (updating()) {
            render_test::write_file(path, f.rendered);
            continue;
        }
        ASSERT_TRUE(std::filesystem::exists(path))
            << path << " is missing; regenerate with TOVAK_UPDATE_GOLDEN=1";
        const std::string expected = render_test::read_file(path);
        EXPECT_EQ(f.rendered, expected) << f.file_name;
    }
    if (updating()) GTEST_SKIP() << "rewrote the golden files of " << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(all_cases()),
                         [](const auto& param_info) {
                             std::string name = param_info.param.name;
                             for (char& ch : name) {
                                 if (ch == '-') ch = '_';
                             }
                             return name;
                         });

TEST(GoldenSet, CoversTheListedSituations) {
    const std::vector<RenderCase> cases = all_cases();
    int with_move = 0, black_to_move = 0, empty = 0;
    std::set<std::string> names;
    for (const RenderCase& c : cases) {
        EXPECT_TRUE(names.insert(c.name).second) << "duplicate case " << c.name;
        with_move += c.highlight.has_value();
        black_to_move += c.position.side_to_move == Color::Black;
        empty += c.position.occupied() == 0;
    }
    EXPECT_GE(cases.size(), 8u);
    EXPECT_GE(with_move, 4);
    EXPECT_GE(black_to_move, 1);
    EXPECT_GE(empty, 1);
}

// A golden file that no case produces would never be checked again.
TEST(GoldenSet, HoldsNoStaleFiles) {
    std::set<std::string> produced{"cases.txt", "README.md"};
    for (const RenderCase& c : all_cases()) {
        for (const GoldenFile& f : rendered_files(c)) produced.insert(f.file_name);
    }
    for (const auto& entry : std::filesystem::directory_iterator(render_test::golden_dir())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(produced.count(name)) << "stale golden file " << name;
    }
}

}  // namespace
}  // namespace tovak::render
