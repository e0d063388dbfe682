// The one reader of the system's monotonic clock (real time for RealClock,
// the terminal thread's own timing and the benchmarks), and of the wall
// clock (the date and time written beside the log).
#pragma once
#include <cstdint>

namespace qb7 {

uint64_t MonotonicNs();
inline uint64_t MonotonicUs() { return MonotonicNs() / 1000; }
// Microseconds since 1970-01-01 UTC.
uint64_t WallClockUs();

}  // namespace qb7
