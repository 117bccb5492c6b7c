#pragma once
// Locale-free ASCII helpers. User texts are folded for A-Z only: a non-ASCII
// letter that Unicode would lower-case to a match must not match.

namespace tovak {

constexpr char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace tovak
