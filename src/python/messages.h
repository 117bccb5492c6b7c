#pragma once
// Every message text the binding itself raises, in one place. The core's
// error enums carry their own texts (`message(...)` in core/square.h,
// core/move.h, core/position.h); those are passed through unchanged.
//
// Texts ending in _FORMAT are PyErr_Format templates. The argument-binding
// ones follow the interpreter's own wording for its built-in functions, so a
// caller sees the same kind of message as from any other C function.

namespace tovak::py::messages {

// The system's own ValueError texts.
inline constexpr const char COLOR_NOT_RECOGNISED[] = "color must be 'white' or 'black'";
inline constexpr const char STYLE_NOT_RECOGNISED[] = "style must be 'discs' or 'letters'";

// Access flag (RuntimeError).
inline constexpr const char ALREADY_MUTABLY_BORROWED[] = "Already mutably borrowed";
inline constexpr const char ALREADY_BORROWED[] = "Already borrowed";

// Conversion failures: the parameter's name, then the interpreter's text.
inline constexpr const char ARGUMENT_PREFIX_FORMAT[] = "argument '%s': %U";
inline constexpr const char EXPECTED_STR_FORMAT[] = "argument '%s': expected str, got %.200s";
// Unsigned 8-bit range, in the interpreter's wording for an unsigned byte.
inline constexpr const char BYTE_BELOW_MINIMUM[] = "unsigned byte integer is less than minimum";
inline constexpr const char BYTE_ABOVE_MAXIMUM[] = "unsigned byte integer is greater than maximum";

// Argument binding (TypeError); %s is the function's name.
inline constexpr const char TAKES_NO_ARGUMENTS_FORMAT[] = "%s() takes no arguments (%zd given)";
inline constexpr const char TAKES_NO_KEYWORDS_FORMAT[] = "%s() takes no keyword arguments";
inline constexpr const char TAKES_EXACTLY_FORMAT[] =
    "%s() takes exactly %zd positional argument%s (%zd given)";
inline constexpr const char TAKES_AT_MOST_FORMAT[] =
    "%s() takes at most %zd positional argument%s (%zd given)";
inline constexpr const char UNEXPECTED_KEYWORD_FORMAT[] =
    "%s() got an unexpected keyword argument '%U'";
inline constexpr const char GIVEN_BY_NAME_AND_POSITION_FORMAT[] =
    "argument for %s() given by name ('%U') and position (%zd)";
inline constexpr const char REPEATED_KEYWORD_FORMAT[] =
    "%s() got multiple values for argument '%U'";
inline constexpr const char MISSING_ARGUMENT_FORMAT[] =
    "%s() missing required argument '%s' (pos %zd)";
inline constexpr const char KEYWORDS_MUST_BE_STRINGS[] = "keywords must be strings";
inline constexpr const char CONSTRUCTOR_TAKES_NO_ARGUMENTS[] = "Position() takes no arguments";

// Module frame.
inline constexpr const char NOT_A_MODULE[] = "tovak_python must be initialised on a module object";
inline constexpr const char ALL_IS_NOT_A_LIST[] = "__all__ must be a list";

// A C++ exception reached an entry point (the core and engine throw nothing
// but std::bad_alloc, which becomes MemoryError).
inline constexpr const char INTERNAL_ERROR[] = "internal error in tovak_python";

}  // namespace tovak::py::messages
