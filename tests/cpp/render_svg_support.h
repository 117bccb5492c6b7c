#pragma once
// Reads the renderer's one-line SVG back: its elements in order, their names
// and attributes, and the board that its piece discs show. Deliberately naive
// (no entities, no nesting beyond the root): that is all the picture uses, and
// anything else in it makes these readers fail the test.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/position.h"

namespace tovak::render_test {

// Each "<...>" of the text in order; text between elements is a test failure.
std::vector<std::string_view> svg_elements(std::string_view svg);

// "rect" for `<rect .../>`, "/svg" for `</svg>`.
std::string_view element_name(std::string_view element);

// The value of name="value", or none.
std::optional<std::string_view> attribute(std::string_view element, std::string_view name);
std::optional<int> int_attribute(std::string_view element, std::string_view name);

// The pieces drawn by the discs (r="20") of a picture, read back from their
// centres and fills; side to move White.
Position board_drawn(std::string_view svg);

// The text of the elements with the given name and `r` attribute ("" for any r).
std::vector<std::string_view> circles_with_radius(std::string_view svg, std::string_view r);

}  // namespace tovak::render_test
