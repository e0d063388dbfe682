// The one reader of the system's monotonic clock: real time for RealClock,
// the terminal thread's own timing and the benchmarks.
#pragma once
#include <cstdint>

namespace qb7 {

uint64_t MonotonicNs();
inline uint64_t MonotonicUs() { return MonotonicNs() / 1000; }

}  // namespace qb7
