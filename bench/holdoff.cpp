// How long this machine holds a process off the CPU, and what a bare
// wake-up costs on it: the floor under every figure of the soak.
//
//   qb7_holdoff [seconds per run, default 5] [runs, default 6]
//     spins on the monotonic clock and reports the longest gap between two
//     readings, and how many gaps were longer than the 1.378 ms in which the
//     UART's receive FIFO fills at 921600 baud. No program that polls the
//     FIFO can keep up through a longer gap.
//   qb7_holdoff --sleep US [seconds] [runs] [--realtime]
//     sleeps US at a time, as the session does between looks, and reports
//     how late the wake-ups came and the CPU that the sleeping alone costs.
#include <sched.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/board_registers.hpp"
#include "os/monotonic.hpp"
#include "process/privileges.hpp"

namespace {

constexpr uint64_t kFifoFillNs = qb7::board::uart::FifoFillUs(921600) * 1000;

// The CPU time this process has used.
uint64_t CpuNs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000000ull + static_cast<uint64_t>(t.tv_nsec);
}

void Spin(double seconds, int run) {
  const uint64_t start = qb7::MonotonicNs();
  const uint64_t span = static_cast<uint64_t>(seconds * 1e9);
  uint64_t last = start, longest = 0;
  int over = 0;
  while (last - start < span) {
    const uint64_t now = qb7::MonotonicNs();
    if (now - last > longest) longest = now - last;
    if (now - last > kFifoFillNs) ++over;
    last = now;
  }
  std::printf("run %d: longest gap %8.3f ms, gaps over 1.378 ms: %d\n", run,
              static_cast<double>(longest) / 1e6, over);
}

void Sleep(uint64_t stepUs, double seconds, int run) {
  const uint64_t cpuStart = CpuNs();
  const uint64_t start = qb7::MonotonicNs();
  const uint64_t span = static_cast<uint64_t>(seconds * 1e9);
  uint64_t due = start, latest = 0, wakeUps = 0;
  int over = 0;
  while (due - start < span) {
    due += stepUs * 1000;
    timespec t{static_cast<time_t>(due / 1000000000ull), static_cast<long>(due % 1000000000ull)};
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr);
    const uint64_t late = qb7::MonotonicNs() - due;
    if (late > latest) latest = late;
    if (late > kFifoFillNs) ++over;
    ++wakeUps;
  }
  const double cpu = static_cast<double>(CpuNs() - cpuStart) / 1e9;
  std::printf("run %d: %llu wake-ups of %llu us, latest %7.3f ms late, over 1.378 ms late: %d, "
              "CPU %.4f s/s (%.1f us a wake-up)\n",
              run, static_cast<unsigned long long>(wakeUps),
              static_cast<unsigned long long>(stepUs), static_cast<double>(latest) / 1e6, over,
              cpu / seconds, cpu / static_cast<double>(wakeUps) * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  uint64_t sleepUs = 0;
  bool realtime = false;
  double numbers[2] = {5.0, 6.0};
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sleep") == 0 && i + 1 < argc) {
      sleepUs = std::strtoull(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--realtime") == 0) {
      realtime = true;
    } else if (positional < 2) {
      numbers[positional++] = std::atof(argv[i]);
    }
  }
  if (realtime) {
    const qb7::RealTimeGrant grant = qb7::RequestRealTime();
    std::printf("real-time priority: %s\n", grant.fifo ? "SCHED_FIFO granted" : "refused");
  }
  const int runs = static_cast<int>(numbers[1]);
  for (int r = 1; r <= runs; ++r) {
    if (sleepUs > 0)
      Sleep(sleepUs, numbers[0], r);
    else
      Spin(numbers[0], r);
  }
  return 0;
}
