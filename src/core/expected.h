#pragma once
// A value or a small error enum: the core's way of failing (it never throws).
// C++20 has no std::expected, and this is all the core needs of one.

#include <cassert>
#include <type_traits>

namespace tovak {

template <typename T, typename E>
class Expected {
    static_assert(std::is_trivially_copyable_v<T> && std::is_enum_v<E>);

  public:
    constexpr Expected(T value) : value_(value), ok_(true) {}
    constexpr Expected(E error) : error_(error), ok_(false) {}

    constexpr bool has_value() const { return ok_; }
    constexpr explicit operator bool() const { return ok_; }
    constexpr const T& value() const {
        assert(ok_);
        return value_;
    }
    constexpr const T& operator*() const { return value(); }
    constexpr E error() const {
        assert(!ok_);
        return error_;
    }

  private:
    T value_{};
    E error_{};
    bool ok_;
};

}  // namespace tovak
