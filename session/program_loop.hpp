// The program thread's one loop, in the manner of an event loop driven by
// each part's wait time. Each turn: the keys that arrived are gathered;
// the receive FIFO is looked at when that is due (and what the looks found
// is interpreted, unless the operator is held); then the one part that
// holds the program now takes its step: "GP.EXE" running, a message line
// waiting for its key, the outbox sending its next byte, else the session
// or the route menu; a frame is handed over when one is due; then the
// thread sleeps until the earliest time any part needs it. No part waits
// inside its step, so a look never runs inside another operation.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <string>

#include "compare/boot_lines.hpp"
#include "console/message_line.hpp"
#include "machine/machine.hpp"
#include "session/external_run.hpp"
#include "session/outbox.hpp"
#include "session/term_session.hpp"

namespace qb7 {

// What the program does when nothing else holds it: the route menu.
class Mode {
 public:
  virtual ~Mode() = default;
  virtual void Step() = 0;
  // When Step is next due.
  virtual uint64_t NextStepUs() const = 0;
};

class ProgramLoop {
 public:
  explicit ProgramLoop(Machine& m);
  ~ProgramLoop();
  ProgramLoop(const ProgramLoop&) = delete;
  ProgramLoop& operator=(const ProgramLoop&) = delete;

  // Turns until the program ends, by ProgramExit; a session then open
  // ends in haste first.
  [[noreturn]] void Run(Mode& menu);
  // One turn's work, and the sleep until the next is due: Run takes them in
  // turn; tests that drive the loop themselves look in between.
  void Turn(Mode& menu);
  void SleepUntilDue(Mode& menu);

  // The menu opens a session; the loop runs it in the menu's stead until
  // it is left.
  void OpenSession(std::string title, int baud, const SessionStart& start);
  bool SessionOpen() const { return session_ != nullptr; }
  // An event for the open session's log; false when no session's log is
  // open yet (or any more) to take it.
  bool Note(std::string_view what) {
    if (!session_ || !session_->Receiving()) return false;
    session_->Note(what);
    return true;
  }
  // A session opened for its boot alone tells it here as it leaves; the
  // mode that opened it takes it.
  void BootDecided(const BootOutcome& outcome) { boot_ = outcome; }
  std::optional<BootOutcome> TakeBoot() { return std::exchange(boot_, std::nullopt); }

  MessageLines messages;
  Outbox outbox;
  ExternalRun external;
  // The last boot of each route, that the next is compared with as it
  // comes: read from the kept logs at start-up, then each boot measured.
  std::array<Boot, Store::kRoutes> lastBoots{};

 private:
  // Whether the operator is held: what the looks find is then kept, not
  // drawn or logged.
  bool Holding() const { return messages.Holding() || external.Active(); }
  void Look(ReceivePath& receive);
  void StepOnce(Mode& menu);
  void OnOutboxEvent(Outbox::Event event);
  void OnExternalEnded(const ProgramOutcome& outcome);
  // A reset asked from outside: pulsed (and, in a session, logged and its
  // boot captured), or refused while GP.EXE has the terminal.
  void OnOutsideReset(pid_t pid);

  Machine& m_;
  std::unique_ptr<TermSession> session_;
  bool stepping_ = false;  // a part is taking its step
  uint32_t sessionsOpened_ = 0;
  std::optional<BootOutcome> boot_;
};

}  // namespace qb7
