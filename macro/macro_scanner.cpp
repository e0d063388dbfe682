#include "macro/macro_scanner.hpp"

#include "text/ascii.hpp"
#include "text/number_text.hpp"

namespace qb7 {

namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view line) : text_(std::string(line) + " ") {}

  std::vector<MacroStep> Scan() {
    // The length is taken once, before the scan.
    const std::size_t length = text_.size();
    for (std::size_t pos = 1; pos <= length; ++pos) {
      if (!Take(text_[pos - 1], pos)) break;
    }
    return std::move(steps_);
  }

 private:
  // One character in the state the scan is in; false when the line ends.
  bool Take(char c, std::size_t pos) {
    switch (state_) {
      case MacroState::Idle: return Idle(c, pos);
      case MacroState::Quoted:
        if (c == '"')
          state_ = MacroState::Idle;
        else
          Send(static_cast<uint8_t>(c));
        return true;
      case MacroState::Code:
        if (c != ' ') {
          number_ += c;
          return true;
        }
        // Codes outside 0..255 send their low 8 bits.
        Send(static_cast<uint8_t>(RoundHalfEven(ReadNumber(number_)) & 0xFF));
        state_ = MacroState::Idle;
        return true;
      case MacroState::Wait:
        if (c != ' ') {
          number_ += c;
          return true;
        }
        Wait(RoundHalfEven(ReadNumber(number_)));
        state_ = MacroState::Idle;
        return true;
      case MacroState::AfterC:
        if (c == 'R')
          Send(13);
        else
          Report(pos);
        state_ = MacroState::Idle;
        return true;
      case MacroState::AfterL:
        if (c == 'F')
          Send(10);
        else
          Report(pos);
        state_ = MacroState::Idle;
        return true;
    }
    return true;
  }

  bool Idle(char c, std::size_t pos) {
    const char u = UpperCase(c);
    if (c == '"') {
      state_ = MacroState::Quoted;
    } else if (c == '$') {
      state_ = MacroState::Code;
      number_.clear();
    } else if (u == 'W') {
      state_ = MacroState::Wait;
      number_.clear();
    } else if (u == 'C') {
      state_ = MacroState::AfterC;
    } else if (u == 'L') {
      state_ = MacroState::AfterL;
    } else if (c == '\'') {
      return false;  // the rest is a comment
    } else if (c != ' ') {
      Report(pos);
    }
    return true;
  }

  void Send(uint8_t byte) { steps_.push_back({MacroStep::Kind::Send, byte, 0, 0}); }

  void Wait(int64_t ms) {
    // W-1 waits for a key; other waits of 0 or less wait for nothing.
    if (ms == -1)
      steps_.push_back({MacroStep::Kind::PauseUntilKey, 0, 0, 0});
    else if (ms > 0)
      steps_.push_back({MacroStep::Kind::Pause, 0, ms, 0});
  }

  void Report(std::size_t pos) { steps_.push_back({MacroStep::Kind::Report, 0, 0, pos}); }

  std::string text_;
  MacroState state_ = MacroState::Idle;
  std::string number_;
  std::vector<MacroStep> steps_;
};

}  // namespace

std::vector<MacroStep> ScanMacro(std::string_view line) { return Scanner(line).Scan(); }

std::string MacroReportHead(std::string_view line) { return "Cmd:" + std::string(line) + " "; }

std::string MacroReportTail(std::size_t position) {
  return "  Pos" + std::to_string(position) + " ??";
}

}  // namespace qb7
