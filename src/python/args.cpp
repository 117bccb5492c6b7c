#include "python/args.h"

#include "python/messages.h"
#include "python/ref.h"
#include "python/style_names.h"
#include "python/type_names.h"

namespace tovak::py {
namespace {

const char* plural(Py_ssize_t n) { return n == 1 ? "" : "s"; }

// Index of the parameter named `name`, or -1.
Py_ssize_t parameter_index(const Signature& signature, PyObject* name) {
    for (std::size_t i = 0; i < signature.parameters.size(); ++i)
        if (PyUnicode_CompareWithASCIIString(name, signature.parameters[i]) == 0)
            return static_cast<Py_ssize_t>(i);
    return -1;
}

// Replaces the pending TypeError by one whose message starts with the
// parameter's name; the original stays reachable as the cause.
void prefix_type_error(const char* name) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyRef original(PyErr_GetRaisedException());
    PyRef text(PyObject_Str(original.get()));
    if (!text) return;
    PyErr_Format(PyExc_TypeError, messages::ARGUMENT_PREFIX_FORMAT, name, text.get());
    PyRef prefixed(PyErr_GetRaisedException());
    PyException_SetCause(prefixed.get(), original.release());
    PyErr_SetRaisedException(prefixed.release());
}

}  // namespace

bool bind_arguments(const Signature& signature, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots) {
    const char* function = signature.function;
    const auto count = static_cast<Py_ssize_t>(signature.parameters.size());
    // The interpreter always passes a tuple (or null) as `kwnames`, so the
    // checked tuple functions cannot fail here.
    const Py_ssize_t keyword_count = kwnames ? PyTuple_Size(kwnames) : 0;
    if (count == 0) {
        if (nargs > 0) {
            PyErr_Format(PyExc_TypeError, messages::TAKES_NO_ARGUMENTS_FORMAT, function, nargs);
            return false;
        }
        if (keyword_count > 0) {
            PyErr_Format(PyExc_TypeError, messages::TAKES_NO_KEYWORDS_FORMAT, function);
            return false;
        }
        return true;
    }
    if (nargs > count) {
        const bool all_required = signature.required == signature.parameters.size();
        PyErr_Format(PyExc_TypeError,
                     all_required ? messages::TAKES_EXACTLY_FORMAT : messages::TAKES_AT_MOST_FORMAT,
                     function, count, plural(count), nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < count; ++i) slots[i] = i < nargs ? args[i] : nullptr;
    for (Py_ssize_t k = 0; k < keyword_count; ++k) {
        PyObject* name = PyTuple_GetItem(kwnames, k);  // borrowed
        if (!PyUnicode_Check(name)) {
            PyErr_SetString(PyExc_TypeError, messages::KEYWORDS_MUST_BE_STRINGS);
            return false;
        }
        const Py_ssize_t i = parameter_index(signature, name);
        if (i < 0) {
            PyErr_Format(PyExc_TypeError, messages::UNEXPECTED_KEYWORD_FORMAT, function, name);
            return false;
        }
        if (i < nargs) {
            PyErr_Format(PyExc_TypeError, messages::GIVEN_BY_NAME_AND_POSITION_FORMAT, function,
                         name, i + 1);
            return false;
        }
        if (slots[i]) {
            PyErr_Format(PyExc_TypeError, messages::REPEATED_KEYWORD_FORMAT, function, name);
            return false;
        }
        slots[i] = args[nargs + k];
    }
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (!slots[i]) {
            PyErr_Format(PyExc_TypeError, messages::MISSING_ARGUMENT_FORMAT, function,
                         signature.parameters[i], static_cast<Py_ssize_t>(i + 1));
            return false;
        }
    }
    return true;
}

std::optional<std::string_view> text_argument(PyObject* value, const char* name) {
    if (!PyUnicode_Check(value)) {
        const PyRef type_name = type_name_in_messages(value);
        const char* type_text =
            type_name ? PyUnicode_AsUTF8AndSize(type_name.get(), nullptr) : nullptr;
        if (type_text)
            PyErr_Format(PyExc_TypeError, messages::EXPECTED_STR_FORMAT, name, type_text);
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    // Fails (UnicodeEncodeError) for a text holding a lone surrogate.
    const char* bytes = PyUnicode_AsUTF8AndSize(value, &size);
    if (!bytes) return std::nullopt;
    return std::string_view(bytes, static_cast<std::size_t>(size));
}

std::optional<std::uint8_t> u8_argument(PyObject* value, const char* name) {
    PyRef index(PyNumber_Index(value));
    if (!index) {
        prefix_type_error(name);
        return std::nullopt;
    }
    const long number = PyLong_AsLong(index.get());
    if (number == -1 && PyErr_Occurred()) return std::nullopt;
    if (number < 0 || number > 255) {
        PyErr_SetString(PyExc_OverflowError,
                        number < 0 ? messages::BYTE_BELOW_MINIMUM : messages::BYTE_ABOVE_MAXIMUM);
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(number);
}

std::optional<std::uint64_t> u64_argument(PyObject* value, const char* name) {
    PyRef index(PyNumber_Index(value));
    if (!index) {
        prefix_type_error(name);
        return std::nullopt;
    }
    const unsigned long long number = PyLong_AsUnsignedLongLong(index.get());
    if (number == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return std::nullopt;
    return static_cast<std::uint64_t>(number);
}

std::optional<Color> interpret_color(std::string_view text) {
    const auto color = parse_color(text);
    if (!color) raise_value_error(messages::COLOR_NOT_RECOGNISED);
    return color;
}

std::optional<Square> interpret_square(std::string_view text) {
    const auto square = parse_square(text);
    if (!square) raise_value_error(message(ParseSquareError::Invalid));
    return square;
}

std::optional<Move> interpret_move(std::string_view text) {
    const auto move = parse_move(text);
    if (!move) {
        raise_value_error(message(move.error()));
        return std::nullopt;
    }
    return *move;
}

std::optional<render::TextStyle> interpret_style(std::string_view name) {
    const auto style = parse_style_name(name);
    if (!style) raise_value_error(messages::STYLE_NOT_RECOGNISED);
    return style;
}

void raise_value_error(std::string_view message) {
    PyRef text(
        PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (text) PyErr_SetObject(PyExc_ValueError, text.get());
}

}  // namespace tovak::py
