#include "os/clock.hpp"

#include <sys/prctl.h>
#include <time.h>

#include "os/monotonic.hpp"

namespace qb7 {

RealClock::RealClock() : originNs_(MonotonicNs()) {
  // Wake up when asked: the default 50 us of timer slack is a fair share of
  // the 1.4 ms in which the receive FIFO fills at 921600 baud.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

uint64_t RealClock::NowUs() const { return (MonotonicNs() - originNs_) / 1000; }

void RealClock::SleepUntilUs(uint64_t targetUs) {
  uint64_t targetNs = originNs_ + targetUs * 1000;
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(targetNs / 1000000000ull);
  ts.tv_nsec = static_cast<long>(targetNs % 1000000000ull);
  // An interrupting signal ends the sleep early; the caller looks at why.
  clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
}

uint64_t RealClock::WallUs() const { return WallClockUs(); }

void RealClock::Charge(uint64_t us) {
  uint64_t until = MonotonicNs() + us * 1000;
  while (MonotonicNs() < until) {
  }
}

}  // namespace qb7
