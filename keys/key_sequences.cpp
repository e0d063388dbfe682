#include "keys/key_sequences.hpp"

#include <algorithm>
#include <string>

namespace qb7::sequences {

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


void Mouse(const Seen& s, uint8_t final, DecodedKeys& out) {
  // ESC [ < button ; column ; row M (press) or m (release).
  const int button = Number(std::string(s.params.substr(1)).c_str(), -1) & ~(4 | 8 | 16);
  if (final == 'M' && button == 64)
    out.push_back(KeyCode(view::WheelUp));
  else if (final == 'M' && button == 65)
    out.push_back(KeyCode(view::WheelDown));
  else
    out.push_back(KeyCode(view::Mouse));
}

void Tilde(const Seen& s, int number, int mods, char suffix, DecodedKeys& out) {
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
  const bool rxvt = s.family == KeyFamily::Rxvt;
  // In rxvt, 23 and 24 are Shift-F1 and Shift-F2 (the same bytes as F11 and
  // F12) unless a $ or ^ says they are F11 and F12 themselves, or an
  // xterm-style modifier does (rxvt sends none; a keysym resource can).
  const bool explicitMods = s.params.find(';') != std::string_view::npos;
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

}  // namespace

bool Csi(const Seen& s, uint8_t final, DecodedKeys& out) {
  const std::string_view params = s.params;
  if (!params.empty() && params[0] == '<' && (final == 'M' || final == 'm')) {
    Mouse(s, final, out);
    return false;
  }
  if (final == '~' && params == "200" && !s.alt) {
    out.push_back(KeyCode(paste::Start));
    return true;
  }
  int first = 1, mods = 0;
  SplitParams(std::string(params), first, mods);
  if (s.alt) mods |= kAlt;
  if (!params.empty() && (params[0] < '0' || params[0] > '9')) return false;  // private: ignore
  // st without keypad-transmit mode: Delete, Insert, Ctrl-End, Ctrl-Insert
  // (F1 with a modifier is ESC [1;mP, never a bare ESC [P).
  if (final == 'P' && params.empty()) PushPad(Pad::Del, mods, out);
  else if (final == 'h' && params == "4") PushPad(Pad::Ins, mods, out);
  else if (PushLetterKey(final, mods, out)) {}
  else if (PushLowerArrow(final, mods | kShift, out)) {}
  else if (final == 'Z') out.push_back(KeyCode(keys::KeyShiftTab));
  else if (final == 'J' && params.empty()) PushPad(Pad::End, kCtrl, out);
  else if (final == 'L' && params.empty()) PushPad(Pad::Ins, kCtrl, out);
  // Focus reports and the like are no keys.
  else if (const int suffix = SuffixMods(static_cast<char>(final)); suffix >= 0)
    Tilde(s, first, mods | suffix, static_cast<char>(final), out);
  return false;
}

void Ss3(const Seen& s, uint8_t final, DecodedKeys& out) {
  int mods = 0;
  if (!s.params.empty()) {
    const int m = Number(std::string(s.params).c_str(), 0);
    mods = (m >= 2 && m <= 16) ? m - 1 : 0;
  }
  if (s.alt) mods |= kAlt;
  if (PushLetterKey(final, mods, out)) return;
  if (PushLowerArrow(final, mods | kCtrl, out)) return;
  if (final == 'M') out.push_back(KeyCode(keys::KeyEnter));  // keypad Enter
}

void LinuxFunction(uint8_t letter, bool alt, DecodedKeys& out) {
  if (letter >= 'A' && letter <= 'E')
    out.push_back(ExtendedKey(FunctionKeyScan(letter - 'A' + 1, alt ? kAlt : 0)));
}

void X10Mouse(uint8_t button, DecodedKeys& out) {
  // Button byte 32 + code: 64 and 65 are the wheel (modifiers add 4, 8, 16).
  const int code = (button - 32) & ~(4 | 8 | 16);
  out.push_back(KeyCode(code == 64 ? view::WheelUp : code == 65 ? view::WheelDown : view::Mouse));
}

}  // namespace qb7::sequences
