#pragma once
// Durations, instants, clocks and the deadline of a time-budgeted analysis.
//
// The search reads time through exactly one narrow interface: a Clock is any
// type with `Instant now()`. The engine's search functions are templates over
// it and are built for two clocks: the system's monotonic clock, and a tick
// clock whose every read advances by one second, so that tests can make a
// deadline pass at an exactly chosen read.

#include <compare>
#include <cstdint>
#include <optional>

#include "core/platform.h"

namespace tovak::engine {

// A span of time with nanosecond resolution: a time budget.
struct Duration {
    std::uint64_t seconds = 0;
    std::uint32_t nanoseconds = 0;  // 0..999'999'999
};

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
    if (platform::add_overflows(at.seconds, span.seconds, seconds)) return std::nullopt;
    if (platform::add_overflows(seconds, carry, seconds)) return std::nullopt;
    return Instant{seconds, static_cast<std::uint32_t>(nanoseconds % NANOSECONDS_PER_SECOND)};
}

// How far `later` lies after `earlier`, in nanoseconds (as a double: only
// used for estimates, and spans beyond 2^53 ns are centuries).
constexpr double nanoseconds_between(Instant earlier, Instant later) {
    return (static_cast<double>(later.seconds) - static_cast<double>(earlier.seconds)) *
               NANOSECONDS_PER_SECOND +
           (static_cast<double>(later.nanoseconds) - static_cast<double>(earlier.nanoseconds));
}

// The system's monotonic clock. Its deadlines may consult the processor's
// cycle counter before reading it (see Deadline).
struct SteadyClock {
    static constexpr bool HAS_CYCLE_COUNTER = true;
    Instant now() const {
        const platform::MonotonicReading reading = platform::read_monotonic_clock();
        return Instant{reading.seconds, reading.nanoseconds};
    }
};

// A clock that makes deadlines reproducible: the n-th read (counting from 0)
// returns `start` + n seconds. A deadline set k seconds ahead (k >= 1) at one
// read has passed at exactly the k-th read after it; set 0 seconds ahead it
// has passed at the first. `reads` tells how often the clock was read. Its
// deadlines read it at every test.
struct TickClock {
    static constexpr bool HAS_CYCLE_COUNTER = false;
    std::uint64_t start = 0;
    std::uint64_t reads = 0;
    Instant now() { return Instant{start + reads++, 0}; }
};

// An optional instant of one clock. It has passed when it is present and the
// clock reads at or after it; without an instant the clock is never read.
// The clock is borrowed and must outlive the deadline.
//
// The search tests the deadline on entry to every node and before every
// move, and a read of the monotonic clock costs as much as a small node. So a
// deadline of a clock with a cycle counter first asks the counter, which
// costs a few cycles: each read of the clock that finds the deadline ahead
// also tells how many cycles surely fit before it, and until the counter
// reaches that many the deadline cannot have passed. Every test still
// answers exactly: at or after the deadline it reports it passed. The
// counter's rate is measured against the clock over the analysis itself
// (from the read that set the deadline to the latest read), and only half
// the remaining time is trusted, so an estimate off by less than a factor of
// two can only cause an early read, never a late answer. Where the
// processor has no invariant cycle counter every test reads the clock.
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
        const Instant start = clock.now();
        d.at_ = add(start, budget);
        if constexpr (Clock::HAS_CYCLE_COUNTER) {
            // The counter read after the clock: a delay between the two can
            // only make the measured rate lower, that is, safer.
            if (d.at_ && platform::has_invariant_cycle_counter())
                d.calibration_ = Calibration{start, platform::read_cycle_counter(), 0};
        }
        return d;
    }

    bool passed() const {
        if (!at_) return false;
        std::uint64_t cycles = 0;
        if constexpr (Clock::HAS_CYCLE_COUNTER) {
            if (calibration_) {
                cycles = platform::read_cycle_counter();
                if (cycles < calibration_->quiet_until) return false;
            }
        }
        const Instant now = clock_->now();
        if (now >= *at_) return true;
        if constexpr (Clock::HAS_CYCLE_COUNTER) {
            if (calibration_) calibration_->learn(cycles, now, *at_);
        }
        return false;
    }

  private:
    // The counter against the clock: where both stood when the deadline was
    // set, and the counter value before which the deadline is surely ahead.
    struct Calibration {
        Instant start;
        std::uint64_t start_cycles;
        std::uint64_t quiet_until;  // 0 until the rate is known

        // The clock read `now`, still ahead of the deadline, just after the
        // counter read `cycles`. The counter was read first, so the rate it
        // gives errs low and the window it opens starts early.
        void learn(std::uint64_t cycles, Instant now, Instant deadline) {
            const double elapsed = nanoseconds_between(start, now);
            // A rate measured over too short a span is mostly noise.
            if (elapsed < MIN_CALIBRATION_NANOSECONDS || cycles <= start_cycles) return;
            const double cycles_per_nanosecond =
                static_cast<double>(cycles - start_cycles) / elapsed;
            const double trusted = 0.5 * nanoseconds_between(now, deadline) * cycles_per_nanosecond;
            quiet_until = cycles + static_cast<std::uint64_t>(
                                       trusted < MAX_QUIET_CYCLES ? trusted : MAX_QUIET_CYCLES);
        }
    };
    static constexpr double MIN_CALIBRATION_NANOSECONDS = 100'000;  // 0.1 ms
    static constexpr double MAX_QUIET_CYCLES = 0x1p60;              // keeps the sum in range

    Clock* clock_ = nullptr;
    std::optional<Instant> at_;
    // The analysis's own calibration: none for clocks without a counter and
    // on processors without an invariant one.
    mutable std::optional<Calibration> calibration_;
};

}  // namespace tovak::engine
