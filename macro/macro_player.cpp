#include "macro/macro_player.hpp"

#include <cstring>
#include <string>

#include "console/program_exit.hpp"
#include "machine/machine.hpp"
#include "process/external_program.hpp"
#include "text/ascii.hpp"
#include "text/number_text.hpp"

namespace qb7 {

namespace {

enum class State { Idle = 0, Quoted = 1, Code = 2, Wait = 3, AfterC = 4, AfterL = 5 };

class Player {
 public:
  Player(Machine& m, std::string text) : m_(m), text_(std::move(text)) {}

  void Play() {
    const std::size_t length = text_.size();
    for (std::size_t pos = 1; pos <= length; ++pos) {
      const char c = text_[pos - 1];
      const char u = UpperCase(c);
      switch (state_) {
        case State::Idle:
          if (c == '"') {
            state_ = State::Quoted;
          } else if (c == '$') {
            state_ = State::Code;
            number_.clear();
          } else if (u == 'W') {
            state_ = State::Wait;
            number_.clear();
          } else if (u == 'C') {
            state_ = State::AfterC;
          } else if (u == 'L') {
            state_ = State::AfterL;
          } else if (c == ' ') {
          } else if (c == '\'') {
            return;  // the rest is a comment
          } else {
            Report(pos);
          }
          break;
        case State::Quoted:
          if (c == '"')
            state_ = State::Idle;
          else
            Send(static_cast<uint8_t>(c));
          break;
        case State::Code:
          if (c == ' ') {
            // Codes outside 0..255 send their low 8 bits.
            Send(static_cast<uint8_t>(RoundHalfEven(ReadNumber(number_)) & 0xFF));
            state_ = State::Idle;
          } else {
            number_ += c;
          }
          break;
        case State::Wait:
          if (c == ' ') {
            Wait(RoundHalfEven(ReadNumber(number_)));
            state_ = State::Idle;
          } else {
            number_ += c;
          }
          break;
        case State::AfterC:
          if (c == 'R')
            Send(13);
          else
            Report(pos);
          state_ = State::Idle;
          break;
        case State::AfterL:
          if (c == 'F')
            Send(10);
          else
            Report(pos);
          state_ = State::Idle;
          break;
      }
    }
  }

 private:
  void Send(uint8_t byte) {
    char c = static_cast<char>(byte);
    m_.uart.UartSendSlow(std::string_view(&c, 1));
  }

  void Wait(int64_t ms) {
    if (ms == -1) {
      // Until a key is pressed; the key stays for the session to read.
      while (!m_.console.KeyWaiting()) m_.console.Pause(10);
    } else if (ms > 0) {
      m_.console.Pause(ms);
    }
  }

  void Report(std::size_t pos) {
    m_.console.ErrorMessage("Cmd:" + text_ + "  Pos" + std::to_string(pos) + " ??");
  }

  Machine& m_;
  std::string text_;
  State state_ = State::Idle;
  std::string number_;
};

constexpr std::string_view kCannotRun = "Cannot run ";

// Runs "GP.EXE" with the terminal lent to it, and tells the operator when
// it could not be run. A terminating signal passed on to it ends the tool.
void StartExternalProgram(Machine& m) {
  const std::string folder = m.files.ProgramFolder();
  if (m.events) m.events->Note("GP.EXE started");
  const ProgramOutcome run =
      RunProgram(folder, m.children, std::string(kExternalProgram), m.console);
  if (m.events && run.kind == ProgramOutcome::Kind::Ended)
    m.events->Note("GP.EXE ended: " + run.program + ", status " + std::to_string(run.status));
  if (run.passedSignal != 0) throw ProgramExit{128 + run.passedSignal, run.passedSignal};
  switch (run.kind) {
    case ProgramOutcome::Kind::Ended:
      break;
    case ProgramOutcome::Kind::NotFound:
      m.console.ErrorMessage(std::string(kCannotRun) + run.program + ": not found in " + folder +
                             " nor on the PATH");
      break;
    case ProgramOutcome::Kind::NotExecutable:
    case ProgramOutcome::Kind::CouldNotStart:
      m.console.ErrorMessage(std::string(kCannotRun) + run.program + ": " + std::strerror(run.error));
      break;
  }
}

}  // namespace

void MacroPlay(Machine& machine, int slot) {
  const int count = machine.store.SlotCount(slot);
  if (count == 0) return;
  if (count >= 2) {
    StartExternalProgram(machine);
    return;
  }
  // The appended space ends a number that stands last.
  Player(machine, machine.store.SlotLine(slot, 1) + " ").Play();
}

}  // namespace qb7
