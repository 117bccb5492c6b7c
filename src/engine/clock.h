#pragma once
// Instants, clocks and the deadline of a time-budgeted analysis.
//
// The search reads time through exactly one narrow interface: a Clock is any
// type with `Instant now()`. The engine's search functions are templates over
// it and are built for two clocks: the system's monotonic clock, and a tick
// clock whose every read advances by one second, so that tests can make a
// deadline pass at an exactly chosen read.

#include <compare>
#include <cstdint>
#include <ctime>
#include <optional>

#include "engine/stats.h"

namespace tovak::engine {

// A point of a monotonic clock with nanosecond resolution (seconds compared
// first, then nanoseconds).
struct Instant {
    std::uint64_t seconds = 0;
    std::uint32_t nanoseconds = 0;  // 0..999'999'999
    friend constexpr auto operator<=>(const Instant&, const Instant&) = default;
};

constexpr std::uint32_t NANOSECONDS_PER_SECOND = 1'000'000'000;

// The instant `span` after `at`; none when it lies beyond the range of Instant.
// Nanoseconds of either argument above one second carry into the seconds.
constexpr std::optional<Instant> add(Instant at, Duration span) {
    const std::uint64_t nanoseconds = std::uint64_t{at.nanoseconds} + span.nanoseconds;
    const std::uint64_t carry = nanoseconds / NANOSECONDS_PER_SECOND;
    std::uint64_t seconds = 0;
    if (__builtin_add_overflow(at.seconds, span.seconds, &seconds)) return std::nullopt;
    if (__builtin_add_overflow(seconds, carry, &seconds)) return std::nullopt;
    return Instant{seconds, static_cast<std::uint32_t>(nanoseconds % NANOSECONDS_PER_SECOND)};
}

// The system's monotonic clock.
struct SteadyClock {
    Instant now() const {
        timespec t;
        clock_gettime(CLOCK_MONOTONIC, &t);
        return Instant{static_cast<std::uint64_t>(t.tv_sec), static_cast<std::uint32_t>(t.tv_nsec)};
    }
};

// A clock that makes deadlines reproducible: the n-th read (counting from 0)
// returns `start` + n seconds. A deadline set k seconds ahead (k >= 1) at one
// read has passed at exactly the k-th read after it; set 0 seconds ahead it
// has passed at the first. `reads` tells how often the clock was read.
struct TickClock {
    std::uint64_t start = 0;
    std::uint64_t reads = 0;
    Instant now() { return Instant{start + reads++, 0}; }
};

// An optional instant of one clock. It has passed when it is present and the
// clock reads at or after it; without an instant the clock is never read.
// The clock is borrowed and must outlive the deadline.
template <typename Clock>
class Deadline {
public:
    // No deadline: never passes.
    Deadline() = default;

    // The clock's current instant plus the budget; no deadline when that sum
    // overflows. Reads the clock once.
    static Deadline after(Clock& clock, Duration budget) {
        Deadline d;
        d.clock_ = &clock;
        d.at_ = add(clock.now(), budget);
        return d;
    }

    bool present() const { return at_.has_value(); }

    bool passed() const { return at_.has_value() && clock_->now() >= *at_; }

private:
    Clock* clock_ = nullptr;
    std::optional<Instant> at_;
};

}  // namespace tovak::engine
