#include "render_svg_support.h"

#include <gtest/gtest.h>

#include <charconv>

namespace tovak::render_test {

std::vector<std::string_view> svg_elements(std::string_view svg) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < svg.size()) {
        if (svg[at] != '<') {
            ADD_FAILURE() << "text outside an element at offset " << at;
            return out;
        }
        const std::size_t end = svg.find('>', at);
        if (end == std::string_view::npos) {
            ADD_FAILURE() << "unterminated element at offset " << at;
            return out;
        }
        out.push_back(svg.substr(at, end - at + 1));
        at = end + 1;
    }
    return out;
}

std::string_view element_name(std::string_view element) {
    const std::size_t end = element.find_first_of(" />", 2);
    return element.substr(1, end - 1);
}

std::optional<std::string_view> attribute(std::string_view element, std::string_view name) {
    std::string key(1, ' ');
    key.append(name).append("=\"");
    const std::size_t start = element.find(key);
    if (start == std::string_view::npos) return std::nullopt;
    const std::size_t value_start = start + key.size();
    const std::size_t value_end = element.find('"', value_start);
    if (value_end == std::string_view::npos) return std::nullopt;
    return element.substr(value_start, value_end - value_start);
}

std::optional<int> int_attribute(std::string_view element, std::string_view name) {
    const std::optional<std::string_view> text = attribute(element, name);
    if (!text) return std::nullopt;
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (ec != std::errc{} || ptr != text->data() + text->size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> circles_with_radius(std::string_view svg, std::string_view r) {
    std::vector<std::string_view> out;
    for (const std::string_view e : svg_elements(svg)) {
        if (element_name(e) == "circle" && (r.empty() || attribute(e, "r") == r)) out.push_back(e);
    }
    return out;
}

Position board_drawn(std::string_view svg) {
    Position p = Position::empty(Color::White);
    for (const std::string_view disc : circles_with_radius(svg, "20")) {
        const std::optional<int> cx = int_attribute(disc, "cx");
        const std::optional<int> cy = int_attribute(disc, "cy");
        const std::optional<std::string_view> fill = attribute(disc, "fill");
        if (!cx || !cy || !fill || (*cx - 32) % 64 != 0 || (*cy - 32) % 64 != 0) {
            ADD_FAILURE() << "disc off any square centre: " << disc;
            continue;
        }
        const auto square = Square::from_coords((*cx - 32) / 64, 7 - (*cy - 32) / 64);
        if (!square || p.piece_at(*square)) {
            ADD_FAILURE() << "disc off the board or drawn twice: " << disc;
            continue;
        }
        if (*fill == "#fffdf7") {
            p.set_piece(Color::White, *square);
        } else if (*fill == "#1f1f1f") {
            p.set_piece(Color::Black, *square);
        } else {
            ADD_FAILURE() << "disc of no side's colour: " << disc;
        }
    }
    return p;
}

}  // namespace tovak::render_test
