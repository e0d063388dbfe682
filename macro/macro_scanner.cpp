#include "macro/macro_scanner.hpp"

#include "text/ascii.hpp"
#include "text/number_text.hpp"

namespace qb7 {

namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view line, std::vector<MacroFinding>* findings = nullptr)
      : text_(std::string(line) + " "), findings_(findings) {}

  std::vector<MacroStep> Scan() {
    // The length is taken once, before the scan.
    const std::size_t length = text_.size();
    for (std::size_t pos = 1; pos <= length; ++pos) {
      if (!Take(text_[pos - 1], pos)) break;
    }
    if (state_ == MacroState::Quoted)
      Find(tokenAt_, "a quote not closed: the rest of the line goes as text");
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
        Send(static_cast<uint8_t>(CheckedNumber('$') & 0xFF));
        state_ = MacroState::Idle;
        return true;
      case MacroState::Wait:
        if (c != ' ') {
          number_ += c;
          return true;
        }
        Wait(CheckedNumber('W'));
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
    tokenAt_ = pos;
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

  void Report(std::size_t pos) {
    steps_.push_back({MacroStep::Kind::Report, 0, 0, pos});
    if (!findings_) return;
    // The word the character stands in, from its start to the next space.
    std::size_t start = pos - 1;
    if (text_[start] == ' ' && start > 0) --start;
    while (start > 0 && text_[start - 1] != ' ') --start;
    if (!findings_->empty() && findings_->back().position == start + 1) return;
    const std::size_t end = text_.find(' ', start);
    Find(start + 1, "unknown word " + text_.substr(start, end - start));
  }

  // The number of a code or a wait, and what is odd about it.
  int64_t CheckedNumber(char kind) {
    std::size_t read = 0;
    const int64_t value = RoundHalfEven(ReadNumber(number_, read));
    if (!findings_) return value;
    const std::string token = kind + number_;
    const std::string as = std::string(1, kind) + std::to_string(value);
    if (read == 0) {
      Find(tokenAt_, token + (kind == '$' ? ": no number: sends byte 0" : ": no number: waits nothing"));
      return value;
    }
    if (read < number_.size()) Find(tokenAt_, token + ": read as " + as);
    if (kind == '$' && (value < 0 || value > 255))
      Find(tokenAt_, as + ": beyond 0..255: sends byte " + std::to_string(value & 0xFF));
    if (kind == 'W' && value < -1) Find(tokenAt_, as + ": waits nothing");
    return value;
  }

  void Find(std::size_t pos, std::string text) {
    if (findings_) findings_->push_back({pos, std::move(text)});
  }

  std::string text_;
  std::vector<MacroFinding>* findings_;
  std::size_t tokenAt_ = 0;  // where the word being read began
  MacroState state_ = MacroState::Idle;
  std::string number_;
  std::vector<MacroStep> steps_;
};

}  // namespace

std::vector<MacroStep> ScanMacro(std::string_view line) { return Scanner(line).Scan(); }

std::vector<MacroFinding> CheckMacro(std::string_view line) {
  std::vector<MacroFinding> findings;
  Scanner(line, &findings).Scan();
  return findings;
}

std::string MacroReportHead(std::string_view line) { return "Cmd:" + std::string(line) + " "; }

std::string MacroReportTail(std::size_t position) {
  return "  Pos" + std::to_string(position) + " ??";
}

}  // namespace qb7
