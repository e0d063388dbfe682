// The one clock every pause and every time-dependent behaviour reads.
// RealClock sleeps; VirtualClock jumps, so tests of long time-outs take
// microseconds and repeat exactly.
#pragma once
#include <cstdint>

namespace qb7 {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual uint64_t NowUs() const = 0;
  // Sleeps until the given time. May return early on a signal; callers loop.
  virtual void SleepUntilUs(uint64_t targetUs) = 0;
  // Time spent by one bus cycle of the given length (a port access): the
  // virtual clock moves on, the real clock waits it out.
  virtual void Charge(uint64_t us) = 0;
  // The date and time: microseconds since 1970-01-01 UTC.
  virtual uint64_t WallUs() const = 0;
};

class RealClock final : public Clock {
 public:
  RealClock();
  uint64_t NowUs() const override;
  void SleepUntilUs(uint64_t targetUs) override;
  void Charge(uint64_t us) override;
  uint64_t WallUs() const override;

 private:
  uint64_t originNs_;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(uint64_t startUs = 0) : nowUs_(startUs) {}
  uint64_t NowUs() const override { return nowUs_; }
  void SleepUntilUs(uint64_t targetUs) override {
    if (targetUs > nowUs_) nowUs_ = targetUs;
  }
  void Charge(uint64_t us) override { nowUs_ += us; }
  // A fixed date (2026-01-01 00:00:00 UTC) at time 0, so the tests' dates
  // repeat exactly.
  static constexpr uint64_t kEpochUs = 1767225600ull * 1000000;
  uint64_t WallUs() const override { return kEpochUs + nowUs_; }
  void Advance(uint64_t us) { nowUs_ += us; }

 private:
  uint64_t nowUs_;
};

}  // namespace qb7
