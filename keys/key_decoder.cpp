#include "keys/key_decoder.hpp"

#include <cstdlib>

#include "keys/keys.hpp"
#include "text/cp437.hpp"

namespace qb7 {

namespace {

constexpr std::size_t kMaxParams = 16;

// Modifier bits as the terminal encodes them (parameter - 1).
constexpr int kShift = 1, kAlt = 2, kCtrl = 4;

uint8_t FunctionKeyScan(int f, int mods) {
  // F1..F10 and F11..F12 start at different codes in each column.
  const bool high = f > 10;
  const int i = high ? f - 11 : f - 1;
  if (mods & kCtrl) return static_cast<uint8_t>((high ? scan::kCtrlF11 : scan::kCtrlF1) + i);
  if (mods & kAlt) return static_cast<uint8_t>((high ? scan::kAltF11 : scan::kAltF1) + i);
  if (mods & kShift) return static_cast<uint8_t>((high ? scan::kShiftF11 : scan::kShiftF1) + i);
  return static_cast<uint8_t>((high ? scan::kF11 : scan::kF1) + i);
}

enum class Pad { Home, Up, PgUp, Left, Right, End, Down, PgDn, Ins, Del };

uint8_t PadScan(Pad k, int mods) {
  struct Codes {
    uint8_t plain, ctrl, alt;
  };
  static constexpr Codes kCodes[] = {
      {scan::kHome, scan::kCtrlHome, scan::kAltHome},
      {scan::kUp, scan::kCtrlUp, scan::kAltUp},
      {scan::kPgUp, scan::kCtrlPgUp, scan::kAltPgUp},
      {scan::kLeft, scan::kCtrlLeft, scan::kAltLeft},
      {scan::kRight, scan::kCtrlRight, scan::kAltRight},
      {scan::kEnd, scan::kCtrlEnd, scan::kAltEnd},
      {scan::kDown, scan::kCtrlDown, scan::kAltDown},
      {scan::kPgDn, scan::kCtrlPgDn, scan::kAltPgDn},
      {scan::kIns, scan::kCtrlIns, scan::kAltIns},
      {scan::kDel, scan::kCtrlDel, scan::kAltDel},
  };
  const Codes& c = kCodes[static_cast<int>(k)];
  if (mods & kCtrl) return c.ctrl;
  if (mods & kAlt) return c.alt;
  return c.plain;  // Shift gives the same codes on the cursor block
}

// The first and second numbers of "n;m" (defaults 1), and the modifier bits.
void SplitParams(const std::string& p, int& first, int& mods) {
  first = 1;
  int second = 1;
  if (!p.empty() && p[0] >= '0' && p[0] <= '9') first = std::atoi(p.c_str());
  auto semi = p.find(';');
  if (semi != std::string::npos) second = std::atoi(p.c_str() + semi + 1);
  if (first > 1000) first = 0;
  mods = (second >= 2 && second <= 16) ? second - 1 : 0;
}

// The keys both CSI and SS3 sequences end with a letter for: arrows, Home,
// End and F1..F4. False for any other final byte.
bool PushLetterKey(uint8_t final, int mods, KeyQueue& out) {
  switch (final) {
    case 'A': out.Push(ExtendedKey(PadScan(Pad::Up, mods))); return true;
    case 'B': out.Push(ExtendedKey(PadScan(Pad::Down, mods))); return true;
    case 'C': out.Push(ExtendedKey(PadScan(Pad::Right, mods))); return true;
    case 'D': out.Push(ExtendedKey(PadScan(Pad::Left, mods))); return true;
    case 'H': out.Push(ExtendedKey(PadScan(Pad::Home, mods))); return true;
    case 'F': out.Push(ExtendedKey(PadScan(Pad::End, mods))); return true;
    case 'P': case 'Q': case 'R': case 'S':
      out.Push(ExtendedKey(FunctionKeyScan(final - 'P' + 1, mods)));
      return true;
    default:
      return false;
  }
}

}  // namespace

bool KeyDecoder::Feed(uint8_t b, uint64_t nowUs, KeyQueue& out) {
  if (state_ != State::Ground && nowUs - startedUs_ > kEscapeDelayUs) Tick(nowUs, out);
  if (b == 3) {
    // Ctrl-C is never part of a sequence.
    state_ = State::Ground;
    return true;
  }
  switch (state_) {
    case State::Ground:
      if (b == 27) {
        state_ = State::Escape;
        startedUs_ = nowUs;
      } else {
        Ground(b, out);
      }
      break;

    case State::Escape:
      if (b == '[') {
        state_ = State::Csi;
        params_.clear();
      } else if (b == 'O') {
        state_ = State::Ss3;
        params_.clear();
      } else if (b == 27) {
        out.Push(KeyCode(keys::KeyEsc));
        startedUs_ = nowUs;
      } else if (uint8_t s = AltLetterScan(static_cast<char>(b)); s != 0) {
        out.Push(ExtendedKey(s));
        state_ = State::Ground;
      } else if (uint8_t d = AltDigitScan(static_cast<char>(b)); d != 0) {
        out.Push(ExtendedKey(d));
        state_ = State::Ground;
      } else {
        out.Push(KeyCode(keys::KeyEsc));
        state_ = State::Ground;
        Ground(b, out);
      }
      break;

    case State::Csi:
      if (b == '[' && params_.empty()) {
        state_ = State::LinuxFunction;
      } else if (b >= 0x20 && b <= 0x3F) {
        if (params_.size() < kMaxParams)
          params_.push_back(static_cast<char>(b));
        else
          state_ = State::Ground;  // nothing we know is this long: drop it
      } else if (b >= 0x40 && b <= 0x7E) {
        state_ = State::Ground;
        FinishCsi(b, out);
      } else {
        state_ = State::Ground;
      }
      break;

    case State::Ss3:
      if (b >= '0' && b <= '9' && params_.size() < kMaxParams) {
        params_.push_back(static_cast<char>(b));
      } else {
        state_ = State::Ground;
        FinishSs3(b, out);
      }
      break;

    case State::LinuxFunction:
      state_ = State::Ground;
      if (b >= 'A' && b <= 'E') out.Push(ExtendedKey(FunctionKeyScan(b - 'A' + 1, 0)));
      break;

    case State::Utf8:
      if ((b & 0xC0) != 0x80) {
        state_ = State::Ground;
        Ground(b, out);
        break;
      }
      codePoint_ = (codePoint_ << 6) | (b & 0x3F);
      if (--utf8Left_ == 0) {
        state_ = State::Ground;
        int byte = Cp437FromUnicode(codePoint_);
        if (byte >= 0) out.Push(KeyCode(1, static_cast<char>(byte)));
      }
      break;
  }
  return false;
}

void KeyDecoder::Ground(uint8_t b, KeyQueue& out) {
  if (b == 127) {
    out.Push(KeyCode(1, '\x08'));  // the terminal's Backspace
  } else if (b < 0x80) {
    out.Push(KeyCode(1, static_cast<char>(b)));
  } else if ((b & 0xE0) == 0xC0) {
    state_ = State::Utf8;
    codePoint_ = b & 0x1F;
    utf8Left_ = 1;
  } else if ((b & 0xF0) == 0xE0) {
    state_ = State::Utf8;
    codePoint_ = b & 0x0F;
    utf8Left_ = 2;
  } else if ((b & 0xF8) == 0xF0) {
    state_ = State::Utf8;
    codePoint_ = b & 0x07;
    utf8Left_ = 3;
  }
  // A stray continuation byte is dropped.
}

void KeyDecoder::FinishCsi(uint8_t final, KeyQueue& out) {
  int first = 1, mods = 0;
  SplitParams(params_, first, mods);
  if (!params_.empty() && (params_[0] < '0' || params_[0] > '9')) return;  // private: ignore
  if (PushLetterKey(final, mods, out)) return;
  if (final == 'Z') out.Push(KeyCode(keys::KeyShiftTab));
  if (final != '~') return;  // focus, mouse and the like: not keys
  Pad pad;
  switch (first) {
    case 1: case 7: pad = Pad::Home; break;
    case 2: pad = Pad::Ins; break;
    case 3: pad = Pad::Del; break;
    case 4: case 8: pad = Pad::End; break;
    case 5: pad = Pad::PgUp; break;
    case 6: pad = Pad::PgDn; break;
    default: {
      // F1..F12 as 11..15, 17..21, 23, 24; the Linux console's Shift-F1..F8
      // as 25, 26, 28, 29, 31..34.
      static constexpr int kFunction[] = {11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 23, 24};
      for (int f = 0; f < 12; ++f)
        if (kFunction[f] == first) {
          out.Push(ExtendedKey(FunctionKeyScan(f + 1, mods)));
          return;
        }
      static constexpr int kLinuxShift[] = {25, 26, 28, 29, 31, 32, 33, 34};
      for (int f = 0; f < 8; ++f)
        if (kLinuxShift[f] == first) {
          out.Push(ExtendedKey(FunctionKeyScan(f + 1, mods | kShift)));
          return;
        }
      return;
    }
  }
  out.Push(ExtendedKey(PadScan(pad, mods)));
}

void KeyDecoder::FinishSs3(uint8_t final, KeyQueue& out) {
  int mods = 0;
  if (!params_.empty()) {
    int m = std::atoi(params_.c_str());
    mods = (m >= 2 && m <= 16) ? m - 1 : 0;
  }
  if (PushLetterKey(final, mods, out)) return;
  if (final == 'M') out.Push(KeyCode(keys::KeyEnter));  // keypad Enter
}

void KeyDecoder::Abandon(KeyQueue& out) {
  // What stood alone: a lone Esc is the Esc key; Esc [ and Esc O are Alt
  // with that character; a cut-off sequence is dropped.
  switch (state_) {
    case State::Escape:
      out.Push(KeyCode(keys::KeyEsc));
      break;
    case State::Csi:
      if (params_.empty()) {
        out.Push(KeyCode(keys::KeyEsc));
        out.Push(KeyCode(1, '['));
      }
      break;
    case State::Ss3:
      if (params_.empty()) out.Push(ExtendedKey(AltLetterScan('O')));
      break;
    default:
      break;
  }
  state_ = State::Ground;
}

void KeyDecoder::Tick(uint64_t nowUs, KeyQueue& out) {
  if (state_ == State::Ground || state_ == State::Utf8) return;
  if (nowUs - startedUs_ > kEscapeDelayUs) Abandon(out);
}

}  // namespace qb7
