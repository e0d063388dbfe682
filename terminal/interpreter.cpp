#include "terminal/interpreter.hpp"

#include <limits>

namespace qb7 {

namespace {
constexpr std::string_view kSpaces =
    "                                                                                ";
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
    console_.Ring();
    return;
  }
  char c = static_cast<char>(byte);
  console_.WriteText(std::string_view(&c, 1));
}

void Interpreter::ShowAndLog(uint8_t byte) {
  Show(byte);
  log_.Put(byte);
}

void Interpreter::ApplyParameter() {
  // A value past the 32-bit range matches no code; -1 is not a code either.
  TermColour(colours_, console_, parameterTooLarge_ ? -1 : parameter_);
}

void Interpreter::Feed(uint8_t b) {
  char form[16];
  switch (state_) {
    case State::Plain:
      if (b == 27) {
        state_ = State::Escape;
      } else if (b == 9) {
        int col = console_.CursorColumn();
        int next = ((col - 1 + 8) & 0xF8) + 1;
        if (next <= Screen::kCols) console_.SetPosition(0, next);
      } else if (b == 10 || b == 13) {
        ShowAndLog(b);
      } else if (b == 8) {
        int col = console_.CursorColumn();
        if (col > 1) console_.SetPosition(0, col - 1);
      } else if (b == 7) {
        // The terminal's own bell; the session does not stop for it.
        console_.Ring();
      } else if (b == 127) {
        ShowAndLog(b);
      } else if (b < 32) {
        console_.WriteText(std::string_view(form, VisibleForm(b, "<", form)));
      } else {
        ShowAndLog(b);
      }
      break;

    case State::Escape:
      if (b == '[') {
        ClearParameter();
        state_ = State::Sequence;
      } else {
        state_ = State::Plain;
        console_.WriteText(std::string_view(form, VisibleForm(b, "<ESC><", form)));
      }
      break;

    case State::Sequence:
      if (b == ';') {
        ApplyParameter();
        ClearParameter();
      } else if (b == 'm') {
        ApplyParameter();
        state_ = State::Plain;
      } else if (b >= '0' && b <= '9') {
        if (!parameterTooLarge_) {
          parameter_ = parameter_ * 10 + (b - '0');
          if (parameter_ > std::numeric_limits<int32_t>::max()) parameterTooLarge_ = true;
        }
      } else if (b == 'J') {
        int col = console_.CursorColumn();
        if (col < Screen::kCols) console_.WriteText(kSpaces.substr(0, Screen::kCols - col));
        console_.SetPosition(0, col);
        state_ = State::Plain;
      } else {
        state_ = State::Plain;
        console_.WriteText("<ESC><[><?>");
        Show(b);
      }
      break;
  }
}

}  // namespace qb7
