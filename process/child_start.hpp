// What a child of the program must not inherit: the board's I/O ports, the
// program's real-time scheduling, its signal dispositions and mask. The
// program's descriptors are all close-on-exec, so they need no step here.
// PrepareChild runs between fork and exec in the child of a multi-threaded
// program, so it does only async-signal-safe work; the calls go through an
// interface so a test can see the sequence.
#pragma once
#include <vector>

namespace qb7 {

struct IoRange {
  unsigned from = 0;
  unsigned count = 0;
};

// Program-wide: the port access the program holds (by ioperm), which every
// child must start without.
struct ChildPolicy {
  std::vector<IoRange> ports;
};

class ChildCalls {
 public:
  virtual ~ChildCalls() = default;
  virtual void RevokePorts(const IoRange& range) = 0;
  virtual void NormalScheduling() = 0;
  virtual void DefaultSignal(int signal) = 0;
  virtual void UnblockSignals() = 0;
};

// The real calls: ioperm, sched_setscheduler, sigaction, sigprocmask.
class SystemChildCalls final : public ChildCalls {
 public:
  void RevokePorts(const IoRange& range) override;
  void NormalScheduling() override;
  void DefaultSignal(int signal) override;
  void UnblockSignals() override;
};

void PrepareChild(const ChildPolicy& policy, ChildCalls& calls);

}  // namespace qb7
