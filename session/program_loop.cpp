#include "session/program_loop.hpp"

#include <algorithm>
#include <stdexcept>

#include "os/program_exit.hpp"
#include "session/macro_play.hpp"

namespace qb7 {

ProgramLoop::ProgramLoop(Machine& m) : messages(m.console), outbox(m), external(m), m_(m) {}

ProgramLoop::~ProgramLoop() = default;

void ProgramLoop::OpenSession(std::string title, int baud, const SessionStart& start) {
  SessionStart numbered = start;
  numbered.number = ++sessionsOpened_;
  session_ = std::make_unique<TermSession>(m_, *this, std::move(title), baud, numbered);
}

void ProgramLoop::Run(Mode& menu) {
  try {
    for (;;) {
      Turn(menu);
      SleepUntilDue(menu);
    }
  } catch (const ProgramExit&) {
    if (session_) session_->EndInHaste();
    throw;
  }
}

void ProgramLoop::Turn(Mode& menu) {
  // While "GP.EXE" has the terminal, its keys and signals are its own.
  if (!external.TerminalAway()) m_.console.CollectKeys();
  if (ReceivePath* receive = session_ ? session_->Receiving() : nullptr;
      receive && m_.console.clock().NowUs() >= receive->NextLookUs())
    Look(*receive);
  if (pid_t pid = 0; m_.outsideResets && m_.outsideResets->Asked(pid)) OnOutsideReset(pid);
  StepOnce(menu);
  if (session_ && session_->Left()) session_.reset();
  m_.log.HandOver();
  if (!external.TerminalAway()) m_.console.PresentIfDue();
}

void ProgramLoop::Look(ReceivePath& receive) {
  // The one place a look starts, and never while a part takes its step.
  if (stepping_) throw std::logic_error("a look at the receive FIFO inside another operation");
  receive.LookAtFifo();
  if (!Holding()) receive.InterpretSlice();
}

void ProgramLoop::StepOnce(Mode& menu) {
  struct Stepping {
    bool& flag;
    explicit Stepping(bool& f) : flag(f) { flag = true; }
    ~Stepping() { flag = false; }
  } stepping(stepping_);
  if (external.Active()) {
    if (auto outcome = external.Step()) OnExternalEnded(*outcome);
  } else if (messages.Holding()) {
    const KeyCode key = messages.Step();
    if (!key.empty() && session_) session_->Dismissed(key);
  } else if (outbox.Busy()) {
    OnOutboxEvent(outbox.Step());
  } else if (session_) {
    session_->Step();
  } else {
    menu.Step();
  }
}

void ProgramLoop::OnOutboxEvent(Outbox::Event event) {
  switch (event.kind) {
    case Outbox::Event::Kind::None:
      break;
    case Outbox::Event::Kind::Tell:
      messages.Post(std::move(event.text));
      break;
    case Outbox::Event::Kind::StartExternal:
      if (session_) session_->Note("GP.EXE started");
      external.Start(std::string(kExternalProgram));
      break;
    case Outbox::Event::Kind::ResetReleased:
      if (session_) session_->ResetReleased(event.atUs);
      break;
  }
}

void ProgramLoop::OnExternalEnded(const ProgramOutcome& run) {
  if (session_ && run.kind == ProgramOutcome::Kind::Ended)
    session_->Note("GP.EXE ended: " + run.program + ", status " + std::to_string(run.status));
  // A terminating signal passed on to it ends the tool.
  if (run.passedSignal != 0) throw ProgramExit{128 + run.passedSignal, run.passedSignal};
  if (std::string trouble = ExternalRun::Trouble(run, m_.files.ProgramFolder()); !trouble.empty())
    messages.Post(std::move(trouble));
}

void ProgramLoop::OnOutsideReset(pid_t pid) {
  const std::string who = pid > 0 ? "process " + std::to_string(pid) : "another process";
  if (external.Active()) {
    m_.outsideResets->Answer("refused: GP.EXE is running; the reset was not pulsed");
    return;
  }
  outbox.PulseReset();
  if (session_) {
    session_->Note("reset asked from outside by " + who);
    m_.outsideResets->Answer("ok: the VSC7420's reset pulsed; its boot is captured in Term.txt");
  } else {
    m_.outsideResets->Answer("ok: the VSC7420's reset pulsed (no session open: the boot is not captured)");
  }
}

void ProgramLoop::SleepUntilDue(Mode& menu) {
  Clock& clock = m_.console.clock();
  const uint64_t now = clock.NowUs();
  // A real terminal also gets a turn every frame interval, so the screen
  // and Ctrl-C are never left waiting behind a long sleep.
  uint64_t next = now + kFrameIntervalUs;
  if (ReceivePath* receive = session_ ? session_->Receiving() : nullptr)
    next = std::min(next, receive->NextLookUs());
  if (external.Active()) {
    next = std::min(next, external.NextStepUs());
  } else if (messages.Holding()) {
    next = std::min(next, messages.NextStepUs());
  } else if (outbox.Busy()) {
    next = std::min(next, outbox.NextStepUs());
  } else {
    next = std::min(next, session_ ? session_->NextStepUs() : menu.NextStepUs());
  }
  if (!external.TerminalAway()) next = std::min(next, m_.console.NextFrameUs());
  if (next > now) clock.SleepUntilUs(next);
}

}  // namespace qb7
