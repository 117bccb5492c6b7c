#pragma once
// The parameters of the module's functions and methods, each declared once:
// its name (the keyword a caller may use, the word in the text signature and
// in argument errors) and its kind, which says how a bound argument becomes a
// plain value (conversion) and how that value becomes what a method body
// receives (interpretation). binding.h derives everything else from them.
//
// A kind provides
//   Converted          the plain value of the conversion stage;
//   Value              the value of the interpretation stage, handed to the body;
//   convert(object, name) -> std::optional<Converted>
//   interpret(converted)  -> std::optional<Value>
//                      both empty with a Python error set on failure;
//   DEFAULT_TEXT       what the text signature shows after the name: empty for
//                      a required parameter, "=<default>" for an optional one,
//                      whose absent argument reaches convert() as null.

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/color.h"
#include "core/move.h"
#include "core/square.h"
#include "python/args.h"
#include "render/text_board.h"

namespace tovak::py {

// A name given as a template argument ("mv"): a string literal's characters,
// null-terminated, usable wherever a constant `const char*` is needed.
template <std::size_t N>
struct FixedName {
    char text[N]{};
    constexpr FixedName(const char (&name)[N]) {
        for (std::size_t i = 0; i < N; ++i) text[i] = name[i];
    }
    constexpr std::string_view view() const { return {text, N - 1}; }
};

// A required text read by one of the interpreters of args.h.
template <typename T, std::optional<T> (*interpret_text)(std::string_view)>
struct TextKind {
    using Converted = std::string_view;
    using Value = T;
    static constexpr std::string_view DEFAULT_TEXT = "";
    static std::optional<std::string_view> convert(PyObject* object, const char* name) {
        return text_argument(object, name);
    }
    static std::optional<T> interpret(std::string_view text) { return interpret_text(text); }
};

// A required integer of a fixed width; its range is checked by the conversion,
// so there is nothing left to interpret.
template <typename Int, std::optional<Int> (*convert_index)(PyObject*, const char*)>
struct IntegerKind {
    using Converted = Int;
    using Value = Int;
    static constexpr std::string_view DEFAULT_TEXT = "";
    static std::optional<Int> convert(PyObject* object, const char* name) {
        return convert_index(object, name);
    }
    static std::optional<Int> interpret(Int value) { return value; }
};

// The style of the text diagram: optional, None when left out, and None reads
// as the name "discs".
struct StyleKind {
    using Converted = std::string_view;
    using Value = render::TextStyle;
    static constexpr std::string_view DEFAULT_TEXT = "=None";
    static std::optional<std::string_view> convert(PyObject* object, const char* name) {
        if (!object || object == Py_None) return std::string_view("discs");
        return text_argument(object, name);
    }
    static std::optional<render::TextStyle> interpret(std::string_view name) {
        return interpret_style(name);
    }
};

using MoveKind = TextKind<Move, interpret_move>;
using SquareKind = TextKind<Square, interpret_square>;
using ColorKind = TextKind<Color, interpret_color>;
using ByteKind = IntegerKind<std::uint8_t, u8_argument>;
using U64Kind = IntegerKind<std::uint64_t, u64_argument>;

// One named parameter of a function or method.
template <FixedName parameter_name, typename Kind>
struct Parameter : Kind {
    static constexpr const char* NAME = parameter_name.text;
    static constexpr bool REQUIRED = Kind::DEFAULT_TEXT.empty();
};

// Every parameter of the module.
namespace param {
using Mv = Parameter<"mv", MoveKind>;
using Square = Parameter<"square", SquareKind>;
using Color = Parameter<"color", ColorKind>;
using SideToMove = Parameter<"side_to_move", ColorKind>;
using Style = Parameter<"style", StyleKind>;
using Depth = Parameter<"depth", ByteKind>;
using BudgetMs = Parameter<"budget_ms", U64Kind>;
}  // namespace param

}  // namespace tovak::py
