#include "session/interpreter.hpp"

#include <limits>

namespace qb7 {

namespace {

constexpr std::string_view kSpaces =
    "                                                                                ";

// Bytes of a control sequence: parameters and intermediates come before the
// final byte, which ends it.
bool IsSequenceMiddle(uint8_t b) { return b >= 0x20 && b <= 0x3F; }
bool IsSequenceFinal(uint8_t b) { return b >= 0x40 && b <= 0x7E; }

}  // namespace

std::size_t VisibleForm(uint8_t byte, std::string_view open, char* out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::size_t n = 0;
  for (char c : open) out[n++] = c;
  if (byte >= 16) out[n++] = kHex[byte >> 4];
  out[n++] = kHex[byte & 15];
  out[n++] = '>';
  return n;
}

void Interpreter::Show(uint8_t byte) {
  if (byte == 7) {
    // A bell shown after a cut-off sequence rings like any other: without
    // the wait of a beep, which would stall the receiving.
    console_.Bell();
    return;
  }
  char c = static_cast<char>(byte);
  console_.WriteText(std::string_view(&c, 1));
}

void Interpreter::ShowAndLog(uint8_t byte) {
  Show(byte);
  log_.Put(byte, fed_);
}

void Interpreter::ShowVisible(uint8_t byte, std::string_view open) {
  char form[16];
  console_.WriteText(std::string_view(form, VisibleForm(byte, open, form)));
}

void Interpreter::EndParameter() {
  // A value past the 32-bit range matches no code; -1 is not a code either.
  if (count_ < kMaxParameters) parameters_[count_++] = parameterTooLarge_ ? -1 : parameter_;
  ClearParameter();
}

void Interpreter::ApplyColours() {
  for (std::size_t i = 0; i < count_; ++i) TermColour(colours_, console_, parameters_[i]);
}

void Interpreter::Plain(uint8_t b) {
  if (b == 27) {
    state_ = State::Escape;
  } else if (b == 9) {
    // A console that had scrolled already would tab on the new row.
    console_.BreakPendingLine();
    int col = console_.CursorColumn();
    int next = ((col - 1 + 8) & 0xF8) + 1;
    if (next <= Screen::kCols) console_.SetPosition(0, next);
  } else if (b == 10 || b == 13) {
    ShowAndLog(b);
  } else if (b == 8) {
    console_.BreakPendingLine();
    int col = console_.CursorColumn();
    if (col > 1) console_.SetPosition(0, col - 1);
  } else if (b == 7) {
    // The terminal's own bell; the session does not stop for it.
    console_.Bell();
  } else if (b == 127) {
    ShowAndLog(b);
  } else if (b < 32) {
    ShowVisible(b, "<");
  } else {
    ShowAndLog(b);
  }
}

void Interpreter::Feed(uint8_t b) {
  // A row begun by this byte starts at it among the bytes received.
  console_.screen().SetRowRaw(fed_);
  switch (state_) {
    case State::Plain:
      Plain(b);
      break;

    case State::Escape:
      if (b == '[') {
        StartSequence();
        state_ = State::Sequence;
      } else {
        ShowVisible(b, "<ESC><");
        state_ = b == ']' ? State::OsCommand : State::Plain;
      }
      break;

    case State::Sequence:
      if (b == ';') {
        EndParameter();
      } else if (b == 'm') {
        EndParameter();
        ApplyColours();
        state_ = State::Plain;
      } else if (b >= '0' && b <= '9') {
        if (!parameterTooLarge_) {
          parameter_ = parameter_ * 10 + (b - '0');
          if (parameter_ > std::numeric_limits<int32_t>::max()) parameterTooLarge_ = true;
        }
      } else if (b == 'J') {
        console_.BreakPendingLine();
        int col = console_.CursorColumn();
        if (col < Screen::kCols) console_.WriteText(kSpaces.substr(0, Screen::kCols - col));
        console_.SetPosition(0, col);
        state_ = State::Plain;
      } else {
        // Outside the subset: made visible, and what is left of the
        // sequence stays out of the log.
        console_.WriteText("<ESC><[><?>");
        Show(b);
        state_ = IsSequenceMiddle(b) ? State::SequenceTail : State::Plain;
      }
      break;

    case State::SequenceTail:
      if (IsSequenceMiddle(b)) {
        Show(b);
      } else if (IsSequenceFinal(b)) {
        Show(b);
        state_ = State::Plain;
      } else {
        // A control byte or a byte of 128 or more cuts the sequence short.
        state_ = State::Plain;
        Plain(b);
      }
      break;

    case State::OsCommand:
      if (b == 7) {
        // The bell closes the command; it does not ring.
        state_ = State::Plain;
      } else if (b < 32) {
        // ESC (as in ESC \) or any other control byte ends the command and
        // is itself handled as text, so a stray ESC ] costs the log at most
        // the rest of a line.
        state_ = State::Plain;
        Plain(b);
      } else {
        Show(b);
      }
      break;
  }
  ++fed_;
}

}  // namespace qb7
