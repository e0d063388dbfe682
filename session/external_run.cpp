#include "session/external_run.hpp"

#include <cstring>

#include "os/program_exit.hpp"
#include "os/signal_watch.hpp"

namespace qb7 {

std::string ExternalRun::Trouble(const ProgramOutcome& run, const std::string& folder) {
  constexpr std::string_view kCannotRun = "Cannot run ";
  switch (run.kind) {
    case ProgramOutcome::Kind::Ended:
      return {};
    case ProgramOutcome::Kind::NotFound:
      return std::string(kCannotRun) + run.program + ": not found in " + folder +
             " nor on the PATH";
    case ProgramOutcome::Kind::NotExecutable:
    case ProgramOutcome::Kind::CouldNotStart:
      return std::string(kCannotRun) + run.program + ": " + std::strerror(run.error);
  }
  return {};
}

void ExternalRun::Start(const std::string& command) {
  outcome_ = FindProgram(m_.files.ProgramFolder(), command);
  if (outcome_.kind != ProgramOutcome::Kind::Ended) {
    state_ = State::Done;
    return;
  }
  m_.console.Lend();
  state_ = State::Lending;
  nextLookUs_ = m_.console.clock().NowUs();
}

uint64_t ExternalRun::NextStepUs() const {
  switch (state_) {
    case State::Idle: return UINT64_MAX;
    case State::Done: return 0;
    default: return nextLookUs_;
  }
}

std::optional<ProgramOutcome> ExternalRun::Step() {
  const uint64_t now = m_.console.clock().NowUs();
  // No key is read while the terminal is away, so the signals that end the
  // program are looked for here while no program runs to pass them to (a
  // terminal that never gives itself up must not keep the tool alive).
  if (state_ == State::Lending || state_ == State::TakingBack)
    if (const int sig = SignalWatch::PendingTermination()) throw ProgramExit{128 + sig, sig};
  switch (state_) {
    case State::Idle:
      return std::nullopt;
    case State::Lending:
      if (!m_.console.LoanSettled()) break;
      if (int error = 0; !job_.Start(outcome_.line, m_.children, error)) {
        outcome_.kind = ProgramOutcome::Kind::CouldNotStart;
        outcome_.error = error;
        m_.console.TakeBack();
        state_ = State::TakingBack;
        break;
      }
      state_ = State::Running;
      break;
    case State::Running:
      if (!job_.Ended(now, outcome_)) break;
      m_.console.TakeBack();
      state_ = State::TakingBack;
      break;
    case State::TakingBack:
      if (!m_.console.LoanSettled()) break;
      m_.console.Redraw();
      state_ = State::Done;
      [[fallthrough]];
    case State::Done:
      state_ = State::Idle;
      return outcome_;
  }
  nextLookUs_ = now + kLookUs;
  return std::nullopt;
}

}  // namespace qb7
