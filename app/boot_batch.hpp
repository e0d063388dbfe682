// Boots in a batch, as the mode of the program thread's loop in place of
// the route menu: for each boot it wires the UART to the route, opens a
// session that pulses the VSC7420's reset right after its first look and
// leaves once the boot is decided (the prompt, or the time-out), and hands
// what the boot measured to the report. Each boot is a session of its own,
// kept under its own name. A terminating signal ends the batch after the
// boot under way. No session starts in the same second as the one before,
// so that every kept session has the name the report gives it.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "app/boot_batch_options.hpp"
#include "batch/boot_report.hpp"
#include "machine/machine.hpp"
#include "session/program_loop.hpp"

namespace qb7 {

// Where each boot's record goes as the boot ends.
class BootSink {
 public:
  virtual ~BootSink() = default;
  virtual void Boot(const BootRecord& record, int total, int failures) = 0;
};

class BootBatch final : public Mode {
 public:
  // stopAsked: whether the batch is to stop after the boot under way (a
  // terminating signal came).
  BootBatch(Machine& m, ProgramLoop& loop, const BootBatchOptions& options, BootSink& sink,
            std::function<int()> stopAsked);
  void Step() override;
  uint64_t NextStepUs() const override { return nextUs_; }

  const std::vector<BootRecord>& Records() const { return records_; }
  // The signal that stopped the batch before its last boot, or 0.
  int StoppedBy() const { return stoppedBy_; }
  // 0: every boot reached the prompt; 1: one did not.
  int Status() const;

 private:
  enum class State { StartUp, Next, Booting };
  void StartBoot();
  void Record(const BootOutcome& outcome);

  Machine& m_;
  ProgramLoop& loop_;
  const BootBatchOptions options_;
  BootSink& sink_;
  std::function<int()> stopAsked_;
  State state_ = State::StartUp;
  uint64_t nextUs_ = 0;
  uint64_t lastStartSecond_ = UINT64_MAX;  // wall clock, of the last session's start
  std::vector<BootRecord> records_;
  int failures_ = 0;
  int stoppedBy_ = 0;
};

}  // namespace qb7
