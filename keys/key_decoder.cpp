#include "keys/key_decoder.hpp"

#include <algorithm>
#include <cstdlib>

#include "text/cp437.hpp"

namespace qb7 {

namespace {

// The number at the start of the text (saturating: a run of digits of any
// length stays defined), or fallback when there is none.
int Number(const char* text, int fallback) {
  if (*text < '0' || *text > '9') return fallback;
  long value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) value = std::min<long>(value * 10 + (*text - '0'), 1000000);
  return static_cast<int>(value);
}

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

void PushPad(Pad k, int mods, DecodedKeys& out) {
  // Shift-PgUp and Shift-PgDn belong to the view (its history).
  if (mods == kShift && k == Pad::PgUp) return out.push_back(KeyCode(view::PageUp));
  if (mods == kShift && k == Pad::PgDn) return out.push_back(KeyCode(view::PageDown));
  out.push_back(ExtendedKey(PadScan(k, mods)));
}

// The first and second numbers of "n;m" (defaults 1), and the modifier bits.
void SplitParams(const std::string& p, int& first, int& mods) {
  first = Number(p.c_str(), 1);
  int second = 1;
  auto semi = p.find(';');
  if (semi != std::string::npos) second = Number(p.c_str() + semi + 1, 0);
  if (first > 1000) first = 0;
  mods = (second >= 2 && second <= 16) ? second - 1 : 0;
}

// The keys both CSI and SS3 sequences end with a letter for: arrows, Home,
// End and F1..F4. False for any other final byte.
bool PushLetterKey(uint8_t final, int mods, DecodedKeys& out) {
  switch (final) {
    case 'A': PushPad(Pad::Up, mods, out); return true;
    case 'B': PushPad(Pad::Down, mods, out); return true;
    case 'C': PushPad(Pad::Right, mods, out); return true;
    case 'D': PushPad(Pad::Left, mods, out); return true;
    case 'H': PushPad(Pad::Home, mods, out); return true;
    case 'F': PushPad(Pad::End, mods, out); return true;
    case 'P': case 'Q': case 'R': case 'S':
      out.push_back(ExtendedKey(FunctionKeyScan(final - 'P' + 1, mods)));
      return true;
    default:
      return false;
  }
}

// rxvt's arrows with a lower-case final: Shift (ESC [ a) or Ctrl (ESC O a).
bool PushLowerArrow(uint8_t final, int mods, DecodedKeys& out) {
  if (final < 'a' || final > 'd') return false;
  return PushLetterKey(static_cast<uint8_t>(final - 'a' + 'A'), mods, out);
}

// The modifiers rxvt puts in the last byte of ESC [ n ~: $ Shift, ^ Ctrl,
// @ Ctrl-Shift; -1 for a byte that is none of them.
int SuffixMods(char suffix) {
  switch (suffix) {
    case '~': return 0;
    case '$': return kShift;
    case '^': return kCtrl;
    case '@': return kCtrl | kShift;
    default: return -1;
  }
}

bool AllDigits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

KeyFamily KeyFamilyFor(std::string_view term) {
  return term.substr(0, 4) == "rxvt" ? KeyFamily::Rxvt : KeyFamily::Xterm;
}

bool KeyDecoder::Feed(uint8_t b, uint64_t nowUs, DecodedKeys& out) {
  nowUs_ = nowUs;
  if (state_ == State::Paste) {
    PasteByte(b, out);
    return false;
  }
  if (state_ != State::Ground && nowUs - startedUs_ > kEscapeDelayUs) Tick(nowUs, out);
  if (b == 3 && state_ != State::X10Mouse) {
    // Ctrl-C is never part of a sequence.
    state_ = State::Ground;
    return true;
  }
  switch (state_) {
    case State::Ground:
      if (b == 27) {
        state_ = State::Escape;
        alt_ = false;
        startedUs_ = nowUs;
      } else {
        Ground(b, out);
      }
      break;

    case State::Escape:
      if (b == 27) {
        // ESC ESC: rxvt's Alt before a whole sequence, or two Escs.
        state_ = State::EscapeEscape;
      } else {
        AfterEscape(b, out);
      }
      break;

    case State::EscapeEscape:
      if (b == '[' || b == 'O') {
        alt_ = true;
        AfterEscape(b, out);
      } else {
        out.push_back(KeyCode(keys::KeyEsc));
        if (b == 27) {
          state_ = State::EscapeEscape;  // a third: the first stands alone
          startedUs_ = nowUs;
        } else {
          AfterEscape(b, out);
        }
      }
      break;

    case State::Csi:
      // A sequence ends when nothing comes for the escape delay after its
      // last byte, however long it is.
      startedUs_ = nowUs;
      if (b == '[' && params_.empty()) {
        state_ = State::LinuxFunction;
      } else if (b == 'M' && params_.empty()) {
        // An X10 mouse report: three raw bytes follow.
        state_ = State::X10Mouse;
        mouseLeft_ = 3;
      } else if (b == '$' && AllDigits(params_) && !overlong_) {
        // rxvt's Shift: ESC [ n $ ends there.
        state_ = State::Ground;
        FinishCsi(b, out);
      } else if (b >= 0x20 && b <= 0x3F) {
        KeepParam(b);
      } else if (b >= 0x40 && b <= 0x7E) {
        state_ = State::Ground;
        if (!overlong_) FinishCsi(b, out);
      } else {
        state_ = State::Ground;
      }
      break;

    case State::Ss3:
      startedUs_ = nowUs;
      if (b >= '0' && b <= '9') {
        KeepParam(b);
      } else {
        state_ = State::Ground;
        if (!overlong_) FinishSs3(b, out);
      }
      break;

    case State::LinuxFunction:
      state_ = State::Ground;
      if (b >= 'A' && b <= 'E')
        out.push_back(ExtendedKey(FunctionKeyScan(b - 'A' + 1, alt_ ? kAlt : 0)));
      break;

    case State::X10Mouse:
      startedUs_ = nowUs;
      if (mouseLeft_-- == 3) mouseButton_ = b;
      if (mouseLeft_ == 0) {
        state_ = State::Ground;
        // Button byte 32 + code: 64 and 65 are the wheel (modifiers add 4, 8, 16).
        const int code = (mouseButton_ - 32) & ~(4 | 8 | 16);
        out.push_back(KeyCode(code == 64   ? view::WheelUp
                              : code == 65 ? view::WheelDown
                                           : view::Mouse));
      }
      break;

    case State::Utf8:
      if ((b & 0xC0) != 0x80) {
        // No character: the byte before was a key with Alt, as a terminal
        // that sends Alt as the eighth bit (and not UTF-8) sends it.
        state_ = State::Ground;
        if (utf8Fresh_) Meta(utf8Lead_, out);
        Ground(b, out);
        break;
      }
      utf8Fresh_ = false;
      codePoint_ = (codePoint_ << 6) | (b & 0x3F);
      if (--utf8Left_ == 0) {
        state_ = State::Ground;
        int byte = Cp437FromUnicode(codePoint_);
        if (byte >= 0) out.push_back(KeyCode(1, static_cast<char>(byte)));
      }
      break;

    case State::Paste:
      break;  // taken above
  }
  return false;
}

// Nothing we know has more parameter bytes: the rest is read, not kept,
// and the whole sequence dropped at its final byte.
void KeyDecoder::KeepParam(uint8_t b) {
  if (params_.size() < kMaxParams)
    params_.push_back(static_cast<char>(b));
  else
    overlong_ = true;
}

void KeyDecoder::PasteByte(uint8_t b, DecodedKeys& out) {
  // Everything up to ESC [201~ was pasted; a start of it that does not go on
  // was pasted text too.
  static constexpr std::string_view kEnd = "\x1b[201~";
  if (b == static_cast<uint8_t>(kEnd[pasteEndMatched_])) {
    if (++pasteEndMatched_ == kEnd.size()) {
      pasteEndMatched_ = 0;
      pasteUtf8_ = false;
      state_ = State::Ground;
      out.push_back(KeyCode(paste::End));
    }
    return;
  }
  for (std::size_t i = 0; i < pasteEndMatched_; ++i) PasteLiteral(static_cast<uint8_t>(kEnd[i]), out);
  pasteEndMatched_ = 0;
  if (b == static_cast<uint8_t>(kEnd[0])) {
    pasteEndMatched_ = 1;
    return;
  }
  PasteLiteral(b, out);
}

void KeyDecoder::PasteLiteral(uint8_t b, DecodedKeys& out) {
  // Each byte is the character it is: no sequence, no order to end; text
  // in UTF-8 becomes the PC glyphs, as typed text does.
  if (pasteUtf8_) {
    if ((b & 0xC0) == 0x80) {
      codePoint_ = (codePoint_ << 6) | (b & 0x3F);
      if (--utf8Left_ > 0) return;
      pasteUtf8_ = false;
      const int byte = Cp437FromUnicode(codePoint_);
      if (byte >= 0) out.push_back(KeyCode(1, static_cast<char>(byte)));
      return;
    }
    pasteUtf8_ = false;
  }
  if (b < 0x80) return out.push_back(KeyCode(1, static_cast<char>(b)));
  pasteUtf8_ = true;
  if ((b & 0xE0) == 0xC0) {
    codePoint_ = b & 0x1F;
    utf8Left_ = 1;
  } else if ((b & 0xF0) == 0xE0) {
    codePoint_ = b & 0x0F;
    utf8Left_ = 2;
  } else if ((b & 0xF8) == 0xF0) {
    codePoint_ = b & 0x07;
    utf8Left_ = 3;
  } else {
    pasteUtf8_ = false;  // a stray byte: no character
  }
}

void KeyDecoder::AfterEscape(uint8_t b, DecodedKeys& out) {
  if (b == '[') {
    state_ = State::Csi;
    params_.clear();
    overlong_ = false;
  } else if (b == 'O') {
    state_ = State::Ss3;
    params_.clear();
    overlong_ = false;
  } else if (uint8_t s = AltLetterScan(static_cast<char>(b)); s != 0) {
    out.push_back(ExtendedKey(s));
    state_ = State::Ground;
  } else if (uint8_t d = AltDigitScan(static_cast<char>(b)); d != 0) {
    out.push_back(ExtendedKey(d));
    state_ = State::Ground;
  } else {
    out.push_back(KeyCode(keys::KeyEsc));
    state_ = State::Ground;
    Ground(b, out);
  }
}

void KeyDecoder::Ground(uint8_t b, DecodedKeys& out) {
  if (b == 127) {
    out.push_back(KeyCode(1, '\x08'));  // the terminal's Backspace
  } else if (b < 0x80) {
    out.push_back(KeyCode(1, static_cast<char>(b)));
  } else if (b >= 0xC2 && b <= 0xF4) {
    // The first byte of a character in UTF-8; its others follow.
    state_ = State::Utf8;
    utf8Lead_ = b;
    utf8Fresh_ = true;
    startedUs_ = nowUs_;
    utf8Left_ = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    codePoint_ = b & (b >= 0xF0 ? 0x07 : b >= 0xE0 ? 0x0F : 0x1F);
  } else {
    // A byte no UTF-8 text begins with: Alt and a key, sent as the eighth
    // bit (a terminal that does not speak UTF-8).
    Meta(b, out);
  }
}

void KeyDecoder::Meta(uint8_t b, DecodedKeys& out) {
  const char c = static_cast<char>(b & 0x7F);
  if (uint8_t s = AltLetterScan(c); s != 0) return out.push_back(ExtendedKey(s));
  if (uint8_t d = AltDigitScan(c); d != 0) return out.push_back(ExtendedKey(d));
  // Alt with anything else is no key the program has.
}

void KeyDecoder::FinishMouse(uint8_t final, DecodedKeys& out) {
  // ESC [ < button ; column ; row M (press) or m (release).
  const int button = Number(params_.c_str() + 1, -1) & ~(4 | 8 | 16);
  if (final == 'M' && button == 64)
    out.push_back(KeyCode(view::WheelUp));
  else if (final == 'M' && button == 65)
    out.push_back(KeyCode(view::WheelDown));
  else
    out.push_back(KeyCode(view::Mouse));
}

void KeyDecoder::FinishCsi(uint8_t final, DecodedKeys& out) {
  if (!params_.empty() && params_[0] == '<' && (final == 'M' || final == 'm'))
    return FinishMouse(final, out);
  if (final == '~' && params_ == "200" && !alt_) {
    state_ = State::Paste;
    pasteEndMatched_ = 0;
    pasteUtf8_ = false;
    return out.push_back(KeyCode(paste::Start));
  }
  int first = 1, mods = 0;
  SplitParams(params_, first, mods);
  if (alt_) mods |= kAlt;
  if (!params_.empty() && (params_[0] < '0' || params_[0] > '9')) return;  // private: ignore
  // st without keypad-transmit mode: Delete, Insert, Ctrl-End, Ctrl-Insert
  // (F1 with a modifier is ESC [1;mP, never a bare ESC [P).
  if (final == 'P' && params_.empty()) return PushPad(Pad::Del, mods, out);
  if (final == 'h' && params_ == "4") return PushPad(Pad::Ins, mods, out);
  if (PushLetterKey(final, mods, out)) return;
  if (PushLowerArrow(final, mods | kShift, out)) return;
  if (final == 'Z') return out.push_back(KeyCode(keys::KeyShiftTab));
  if (final == 'J' && params_.empty()) return PushPad(Pad::End, kCtrl, out);
  if (final == 'L' && params_.empty()) return PushPad(Pad::Ins, kCtrl, out);
  const int suffix = SuffixMods(static_cast<char>(final));
  if (suffix < 0) return;  // focus reports and the like: not keys
  FinishTilde(first, mods | suffix, static_cast<char>(final), out);
}

void KeyDecoder::FinishTilde(int number, int mods, char suffix, DecodedKeys& out) {
  switch (number) {
    case 1: case 7: return PushPad(Pad::Home, mods, out);
    case 2: return PushPad(Pad::Ins, mods, out);
    case 3: return PushPad(Pad::Del, mods, out);
    case 4: case 8: return PushPad(Pad::End, mods, out);
    case 5: return PushPad(Pad::PgUp, mods, out);
    case 6: return PushPad(Pad::PgDn, mods, out);
    default: break;
  }
  // F1..F12 as 11..15, 17..21, 23, 24.
  static constexpr int kFunction[] = {11, 12, 13, 14, 15, 17, 18, 19, 20, 21, 23, 24};
  // The shifted function keys from 23 (rxvt: Shift-F1..Shift-F10) and from
  // 25 (the Linux console's console-setup keymaps: Shift-F1..Shift-F8).
  static constexpr int kShifted[] = {23, 24, 25, 26, 28, 29, 31, 32, 33, 34};
  const bool rxvt = family_ == KeyFamily::Rxvt;
  // In rxvt, 23 and 24 are Shift-F1 and Shift-F2 (the same bytes as F11 and
  // F12) unless a $ or ^ says they are F11 and F12 themselves, or an
  // xterm-style modifier does (rxvt sends none; a keysym resource can).
  const bool explicitMods = params_.find(';') != std::string::npos;
  const bool rxvtShifted = rxvt && !explicitMods && (suffix == '~' || suffix == '@');
  for (int f = 0; f < 10; ++f) {
    if (kShifted[f] != number) continue;
    if (rxvt && (number >= 25 || rxvtShifted))
      return out.push_back(ExtendedKey(FunctionKeyScan(f + 1, mods | kShift)));
    if (!rxvt && number >= 25)
      return out.push_back(ExtendedKey(FunctionKeyScan(f - 1, mods | kShift)));
  }
  for (int f = 0; f < 12; ++f)
    if (kFunction[f] == number) return out.push_back(ExtendedKey(FunctionKeyScan(f + 1, mods)));
}

void KeyDecoder::FinishSs3(uint8_t final, DecodedKeys& out) {
  int mods = 0;
  if (!params_.empty()) {
    const int m = Number(params_.c_str(), 0);
    mods = (m >= 2 && m <= 16) ? m - 1 : 0;
  }
  if (alt_) mods |= kAlt;
  if (PushLetterKey(final, mods, out)) return;
  if (PushLowerArrow(final, mods | kCtrl, out)) return;
  if (final == 'M') out.push_back(KeyCode(keys::KeyEnter));  // keypad Enter
}

void KeyDecoder::Abandon(DecodedKeys& out) {
  // What stood alone: a lone Esc is the Esc key; Esc [ and Esc O are Alt
  // with that character; a cut-off sequence is dropped.
  switch (state_) {
    case State::Escape:
      out.push_back(KeyCode(keys::KeyEsc));
      break;
    case State::EscapeEscape:
      out.push_back(KeyCode(keys::KeyEsc));
      out.push_back(KeyCode(keys::KeyEsc));
      break;
    case State::Csi:
      if (params_.empty() && !alt_) {
        out.push_back(KeyCode(keys::KeyEsc));
        out.push_back(KeyCode(1, '['));
      }
      break;
    case State::Ss3:
      if (params_.empty() && !alt_) out.push_back(ExtendedKey(AltLetterScan('O')));
      break;
    default:
      break;
  }
  state_ = State::Ground;
}

void KeyDecoder::Tick(uint64_t nowUs, DecodedKeys& out) {
  if (state_ == State::Ground || state_ == State::Paste) return;
  if (state_ == State::Utf8) {
    // A first byte that nothing followed: a key with Alt, sent as the
    // eighth bit.
    if (utf8Fresh_ && nowUs - startedUs_ > kEscapeDelayUs) {
      state_ = State::Ground;
      Meta(utf8Lead_, out);
    }
    return;
  }
  if (nowUs - startedUs_ > kEscapeDelayUs) Abandon(out);
}

}  // namespace qb7
