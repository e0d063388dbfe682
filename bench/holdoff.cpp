// How long this machine holds a running process off the CPU: spins on the
// monotonic clock for a few seconds and reports the longest gap between two
// readings, and how many gaps were longer than the 1.4 ms in which the
// UART's receive FIFO fills at 921600 baud. No program that polls the FIFO
// can keep up through a longer gap.
//   qb7_holdoff [seconds per run, default 5] [runs, default 6]
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {
uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000ull + static_cast<uint64_t>(t.tv_nsec);
}
}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 6;
  constexpr uint64_t kFifoFillNs = 1378000;  // 127 bytes of 10 bits at 921600 baud
  for (int r = 1; r <= runs; ++r) {
    const uint64_t start = NowNs();
    const uint64_t span = static_cast<uint64_t>(seconds * 1e9);
    uint64_t last = start, longest = 0;
    int over = 0;
    while (last - start < span) {
      const uint64_t now = NowNs();
      if (now - last > longest) longest = now - last;
      if (now - last > kFifoFillNs) ++over;
      last = now;
    }
    std::printf("run %d: longest gap %8.3f ms, gaps over 1.378 ms: %d\n", r,
                static_cast<double>(longest) / 1e6, over);
  }
  return 0;
}
