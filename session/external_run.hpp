// "GP.EXE" run as a state of the program thread's loop: found first; the
// terminal lent (once the terminal thread has given it up, however long a
// terminal that stopped reading makes that take); the program run as a job
// and looked at every 10 ms; the terminal taken back; only then the screen
// drawn whole again and the outcome handed back. The looks at the receive
// FIFO go on throughout; what they find is held until the screen is back.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "machine/machine.hpp"
#include "process/external_program.hpp"

namespace qb7 {

class ExternalRun {
 public:
  static constexpr uint64_t kLookUs = 10000;

  explicit ExternalRun(Machine& m) : m_(m) {}

  void Start(const std::string& command);
  // From Start until the outcome is handed back.
  bool Active() const { return state_ != State::Idle; }
  // The terminal is not the program's: no key is read and no frame drawn.
  bool TerminalAway() const { return state_ != State::Idle && state_ != State::Done; }
  uint64_t NextStepUs() const;
  // The loop's step; the outcome once the run is over and the screen back.
  std::optional<ProgramOutcome> Step();

  // What the operator is told of a program that could not run (empty when
  // it ran).
  static std::string Trouble(const ProgramOutcome& outcome, const std::string& folder);

 private:
  enum class State { Idle, Lending, Running, TakingBack, Done };

  Machine& m_;
  State state_ = State::Idle;
  ProgramOutcome outcome_;
  ProgramJob job_;
  uint64_t nextLookUs_ = 0;
};

}  // namespace qb7
