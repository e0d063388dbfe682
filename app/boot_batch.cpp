#include "app/boot_batch.hpp"

#include <string>

#include "app/route_menu.hpp"
#include "log/session_keeping.hpp"
#include "log/times_format.hpp"
#include "os/program_exit.hpp"

namespace qb7 {

BootBatch::BootBatch(Machine& m, ProgramLoop& loop, const BootBatchOptions& options, BootSink& sink,
                     std::function<int()> stopAsked)
    : m_(m), loop_(loop), options_(options), sink_(sink), stopAsked_(std::move(stopAsked)) {}

int BootBatch::Status() const { return failures_ != 0 || records_.empty() ? 1 : 0; }

void BootBatch::Step() {
  const uint64_t now = m_.console.clock().NowUs();
  if (now < nextUs_) return;
  switch (state_) {
    case State::StartUp:
      PrepareBoard(m_);
      state_ = State::Next;
      return;
    case State::Next:
      if (const int signal = stopAsked_ ? stopAsked_() : 0; signal != 0 && records_.size() < static_cast<std::size_t>(options_.boots)) {
        stoppedBy_ = signal;
        throw ProgramExit{Status(), 0};
      }
      if (records_.size() >= static_cast<std::size_t>(options_.boots)) throw ProgramExit{Status(), 0};
      if (m_.console.clock().WallUs() / 1000000 == lastStartSecond_) {
        // The next second first, so the kept names differ.
        nextUs_ = now + (1000000 - m_.console.clock().WallUs() % 1000000);
        return;
      }
      StartBoot();
      return;
    case State::Booting:
      // The session has left: its boot was decided.
      if (auto outcome = loop_.TakeBoot()) Record(*outcome);
      state_ = State::Next;
      return;
  }
}

void BootBatch::StartBoot() {
  lastStartSecond_ = m_.console.clock().WallUs() / 1000000;
  const int route = options_.route;
  m_.board.WriteRegister(board::kRouteRegister, route);
  SessionStart start;
  start.route = route;
  start.resetAfterFirstLook = true;
  start.leaveAfterBoot = true;
  start.prompt = options_.until;
  start.bootTimeOutUs = options_.timeOutUs;
  loop_.OpenSession(std::string(kRouteTitles[static_cast<std::size_t>(route)]), m_.store.baud, start);
  state_ = State::Booting;
}

void BootBatch::Record(const BootOutcome& outcome) {
  const BootResult& r = outcome.result;
  BootRecord record;
  record.index = static_cast<int>(records_.size()) + 1;
  record.start = FormatDate(outcome.startWallUs);
  record.route = options_.route;
  record.anything = r.anything;
  record.firstByteUs = r.firstByteUs;
  record.prompt = r.prompt;
  record.promptUs = r.promptUs;
  record.timeOutUs = r.timeOutUs;
  if (outcome.overflow)
    record.verdict = BootVerdict::Overflow;
  else if (r.prompt)
    record.verdict = BootVerdict::Prompt;
  else if (outcome.boardMissing)
    record.verdict = BootVerdict::NoBoard;
  else
    record.verdict = BootVerdict::TimeOut;
  // Every boot's session holds its boot's record, so it is kept.
  record.log = KeptNameAt(outcome.startWallUs, options_.route);
  if (!record.Passed()) ++failures_;
  records_.push_back(record);
  sink_.Boot(record, options_.boots, failures_);
}

}  // namespace qb7
