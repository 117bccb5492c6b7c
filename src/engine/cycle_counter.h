#pragma once
// The processor's cycle counter, where it can stand in for a clock: a
// counter that ticks at one constant rate in every power state and on every
// core (an "invariant" time-stamp counter). Reading it costs a few cycles;
// reading the monotonic clock costs a system library call.

#include <cstdint>

#if defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace tovak::engine {

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

}  // namespace tovak::engine
