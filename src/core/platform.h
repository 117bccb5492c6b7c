#pragma once
// Everything the code asks of the compiler and the operating system beyond
// standard C++20, in one place: a port to another compiler or system starts
// and ends here. GCC and Clang on Linux provide all of it; the cycle counter
// is x86-64's, and elsewhere there is none (the deadline then reads the
// clock at every test).

#include <cstdint>
#include <ctime>

#if defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace tovak::platform {

// The bytes of `x` in reverse order (std::byteswap arrives with C++23).
constexpr std::uint64_t byte_swap(std::uint64_t x) { return __builtin_bswap64(x); }

// An unsigned 128-bit integer: two 64-bit words shifted and masked as one.
__extension__ typedef unsigned __int128 Uint128;

// Starts loading the cache line holding `address`; never faults, whatever
// the address.
inline void prefetch(const void* address) { __builtin_prefetch(address); }

// Whether a + b overflows; when it does not, `sum` holds it.
constexpr bool add_overflows(std::uint64_t a, std::uint64_t b, std::uint64_t& sum) {
    return __builtin_add_overflow(a, b, &sum);
}

// A reading of the system's monotonic clock.
struct MonotonicReading {
    std::uint64_t seconds;
    std::uint32_t nanoseconds;  // 0..999'999'999
};
inline MonotonicReading read_monotonic_clock() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return MonotonicReading{static_cast<std::uint64_t>(t.tv_sec),
                            static_cast<std::uint32_t>(t.tv_nsec)};
}

// The processor's cycle counter, where it can stand in for a clock: a
// counter that ticks at one constant rate in every power state and on every
// core (an "invariant" time-stamp counter). Reading it costs a few cycles;
// reading the monotonic clock costs a system library call.
//
// Whether the counter is invariant. Asks the processor each time (once per
// timed analysis): nothing is cached in global state.
inline bool has_invariant_cycle_counter() {
#if defined(__x86_64__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(0x80000007u, &eax, &ebx, &ecx, &edx)) return false;  // leaf beyond the maximum
    return (edx & (1u << 8)) != 0;  // advanced power management: invariant TSC
#else
    return false;
#endif
}

// The counter's current value; 0 where there is none.
inline std::uint64_t read_cycle_counter() {
#if defined(__x86_64__)
    return __rdtsc();
#else
    return 0;
#endif
}

}  // namespace tovak::platform
