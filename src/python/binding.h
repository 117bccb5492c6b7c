#pragma once
// A function or method of the module is declared once, as one row:
//
//     reading_method<"piece_at", position_piece_at, param::Square>()
//
// its Python name, its body and its parameters (parameters.h). The row gives
// the method table entry; from the row come the text signature that the
// docstring carries ("piece_at($self, square)\n--\n\n"), the number of
// argument slots, the keyword names, the name in binding errors, and the order
// of the call's stages:
//   1. bind the arguments to the parameters (args.h);
//   2. for a method, take the receiver's access (access.h);
//   3. convert every argument, in parameter order;
//   4. interpret every converted value, in parameter order;
//   5. call the body with the position and the interpreted values.
// Nothing reaches the position before every argument has passed stage 4.
//
// A body is a plain function that returns a new reference (empty with a
// Python error set on failure) and takes the values its parameters give:
// `PyRef body(Value...)` for a static method or module function,
// `PyRef body(const Position&, Value...)` for a reading method,
// `PyRef body(Position&, Value...)` for a writing one. A row whose
// parameters do not fit its body does not compile.

#include <Python.h>

#include <array>
#include <cstddef>
#include <new>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

#include "python/access.h"
#include "python/args.h"
#include "python/messages.h"
#include "python/parameters.h"
#include "python/position_type.h"
#include "python/ref.h"

namespace tovak::py {

enum class Receiver { None, Reader, Writer };

namespace binding_detail {

// Writes a text signature, or with a null buffer only measures it.
struct TextWriter {
    char* out;
    std::size_t size = 0;
    constexpr void add(std::string_view text) {
        for (const char c : text) {
            if (out) out[size] = c;
            ++size;
        }
    }
};

// "name($self, a, b=None)\n--\n\n": the interpreter reads the first line as
// the text signature and reports no docstring.
template <typename... Params>
constexpr void write_signature(TextWriter& writer, std::string_view name, bool has_self) {
    writer.add(name);
    writer.add("(");
    std::string_view separator;
    if (has_self) {
        writer.add("$self");
        separator = ", ";
    }
    ((writer.add(separator), writer.add(Params::NAME), writer.add(Params::DEFAULT_TEXT),
      separator = ", "),
     ...);
    writer.add(")\n--\n\n");
}

template <FixedName name, bool has_self, typename... Params>
inline constexpr auto SIGNATURE_DOC = [] {
    constexpr std::size_t length = [] {
        TextWriter counter{nullptr};
        write_signature<Params...>(counter, name.view(), has_self);
        return counter.size;
    }();
    std::array<char, length + 1> text{};  // the last stays '\0'
    TextWriter writer{text.data()};
    write_signature<Params...>(writer, name.view(), has_self);
    return text;
}();

// Stages 3 to 5 on the bound slots: every conversion, then every
// interpretation, then the call.
template <typename... Params, typename Call, std::size_t... I>
PyRef convert_interpret_call(PyObject* const* slots, const Call& call, std::index_sequence<I...>) {
    std::tuple<std::optional<typename Params::Converted>...> converted;
    if (!((std::get<I>(converted) = Params::convert(slots[I], Params::NAME)) && ...)) return {};
    std::tuple<std::optional<typename Params::Value>...> values;
    if (!((std::get<I>(values) = Params::interpret(*std::get<I>(converted))) && ...)) return {};
    return call(*std::get<I>(values)...);
}

template <FixedName name, auto body, Receiver receiver, typename... Params>
struct Method {
    static constexpr std::size_t COUNT = sizeof...(Params);
    static constexpr std::array<const char*, COUNT> PARAMETER_NAMES{Params::NAME...};
    static constexpr std::array<bool, COUNT> REQUIRED{Params::REQUIRED...};
    static constexpr std::size_t REQUIRED_COUNT = (std::size_t{0} + ... + Params::REQUIRED);
    static_assert(
        [] {
            for (std::size_t i = 0; i < COUNT; ++i)
                if (REQUIRED[i] != (i < REQUIRED_COUNT)) return false;
            return true;
        }(),
        "optional parameters come after the required ones");
    static constexpr Signature SIGNATURE{name.text, PARAMETER_NAMES, REQUIRED_COUNT};

    static PyRef call(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        std::array<PyObject*, COUNT> slots{};
        if (!bind_arguments(SIGNATURE, args, nargs, kwnames, slots.data())) return {};
        constexpr auto order = std::index_sequence_for<Params...>{};
        if constexpr (receiver == Receiver::None) {
            return convert_interpret_call<Params...>(
                slots.data(), [](const auto&... values) { return body(values...); }, order);
        } else {
            // The method descriptor has checked the receiver's type already.
            PyPosition& object = *reinterpret_cast<PyPosition*>(self);
            constexpr bool writes = receiver == Receiver::Writer;
            const Access<writes ? AccessMode::Exclusive : AccessMode::Shared> access(object);
            if (!access.granted()) return {};
            if constexpr (writes) {
                return convert_interpret_call<Params...>(
                    slots.data(),
                    [&object](const auto&... values) { return body(object.position, values...); },
                    order);
            } else {
                const Position& position = object.position;
                return convert_interpret_call<Params...>(
                    slots.data(),
                    [&position](const auto&... values) { return body(position, values...); },
                    order);
            }
        }
    }

    // What the interpreter calls: the body's reference handed over, and no
    // C++ exception let through. The core and the engine throw nothing of
    // their own; an allocation failure (std::bad_alloc) becomes MemoryError.
    static PyObject* entry_point(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) noexcept {
        try {
            return call(self, args, nargs, kwnames).release();
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (...) {
            PyErr_SetString(PyExc_SystemError, messages::INTERNAL_ERROR);
        }
        return nullptr;
    }

    static PyMethodDef definition(int extra_flags) {
        using Fast = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);
        const Fast function = &entry_point;
        return PyMethodDef{
            name.text,
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function)),
            METH_FASTCALL | METH_KEYWORDS | extra_flags,
            SIGNATURE_DOC<name, receiver != Receiver::None, Params...>.data(),
        };
    }
};

}  // namespace binding_detail

// The rows. A method table holds the PyMethodDef each returns; the table, and
// so the entry, lives as long as the type or function made from it.

// A method that only reads its Position (shared access).
template <FixedName name, auto body, typename... Params>
PyMethodDef reading_method() {
    return binding_detail::Method<name, body, Receiver::Reader, Params...>::definition(0);
}

// A method that changes its Position (exclusive access).
template <FixedName name, auto body, typename... Params>
PyMethodDef writing_method() {
    return binding_detail::Method<name, body, Receiver::Writer, Params...>::definition(0);
}

// A static method of a class, callable on the class and on an instance.
template <FixedName name, auto body, typename... Params>
PyMethodDef static_method() {
    return binding_detail::Method<name, body, Receiver::None, Params...>::definition(METH_STATIC);
}

// A function of the module.
template <FixedName name, auto body, typename... Params>
PyMethodDef module_function() {
    return binding_detail::Method<name, body, Receiver::None, Params...>::definition(0);
}

}  // namespace tovak::py
