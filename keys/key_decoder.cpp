// The decoder's walk through the bytes a terminal sends: one function per
// state, each a small switch on the byte. What a finished sequence means
// is looked up in the tables of key_sequences.cpp; a bracketed paste is
// read in key_decoder_paste.cpp.
#include "keys/key_decoder.hpp"

#include "keys/key_sequences.hpp"
#include "text/cp437.hpp"

namespace qb7 {

namespace {
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
  // A paste's end that has stood quiet is over before this byte.
  if (state_ == State::PasteTail && nowUs - startedUs_ > kPasteTailUs && Tick(nowUs, out))
    return true;
  if (state_ == State::Paste || state_ == State::PasteTail) {
    PasteByte(b, out);
    return false;
  }
  if (state_ != State::Ground && nowUs - startedUs_ > kEscapeDelayUs) Tick(nowUs, out);
  if (b == 3 && state_ != State::X10Mouse) {
    // Ctrl-C is never part of a sequence: it is the order to end, or, where
    // the configuration makes it a key, that key after what stood before it.
    if (!ctrlCIsKey_) {
      state_ = State::Ground;
      return true;
    }
    if (state_ != State::Ground) Abandon(out);
    out.push_back(KeyCode(1, '\x03'));
    return false;
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
    case State::Escape: OnEscape(b, out); break;
    case State::EscapeEscape: OnEscapeEscape(b, out); break;
    case State::Csi: OnCsi(b, out); break;
    case State::Ss3: OnSs3(b, out); break;
    case State::LinuxFunction:
      state_ = State::Ground;
      sequences::LinuxFunction(b, alt_, out);
      break;
    case State::X10Mouse: OnX10Mouse(b, out); break;
    case State::Utf8: OnUtf8(b, out); break;
    case State::Paste:
    case State::PasteTail: break;  // taken above
  }
  return false;
}

void KeyDecoder::OnEscape(uint8_t b, DecodedKeys& out) {
  // ESC ESC: rxvt's Alt before a whole sequence, or two Escs.
  if (b == 27)
    state_ = State::EscapeEscape;
  else
    AfterEscape(b, out);
}

void KeyDecoder::OnEscapeEscape(uint8_t b, DecodedKeys& out) {
  if (b == '[' || b == 'O') {
    alt_ = true;
    return AfterEscape(b, out);
  }
  out.push_back(KeyCode(keys::KeyEsc));
  if (b == 27) {
    state_ = State::EscapeEscape;  // a third: the first stands alone
    startedUs_ = nowUs_;
  } else {
    AfterEscape(b, out);
  }
}

void KeyDecoder::OnCsi(uint8_t b, DecodedKeys& out) {
  // A sequence ends when nothing comes for the escape delay after its last
  // byte, however long it is.
  startedUs_ = nowUs_;
  const sequences::Seen seen{params_, alt_, family_};
  if (b == '[' && params_.empty()) {
    state_ = State::LinuxFunction;
  } else if (b == 'M' && params_.empty()) {
    // An X10 mouse report: three raw bytes follow.
    state_ = State::X10Mouse;
    mouseLeft_ = 3;
  } else if (b == '$' && AllDigits(params_) && !overlong_) {
    // rxvt's Shift: ESC [ n $ ends there.
    state_ = State::Ground;
    sequences::Csi(seen, b, out);
  } else if (b >= 0x20 && b <= 0x3F) {
    KeepParam(b);
  } else if (b >= 0x40 && b <= 0x7E) {
    // An overlong sequence is read to its final byte and dropped whole.
    state_ = State::Ground;
    if (!overlong_ && sequences::Csi(seen, b, out)) StartPaste();
  } else {
    state_ = State::Ground;
  }
}

void KeyDecoder::OnSs3(uint8_t b, DecodedKeys& out) {
  startedUs_ = nowUs_;
  if (b >= '0' && b <= '9') return KeepParam(b);
  state_ = State::Ground;
  if (!overlong_) sequences::Ss3({params_, alt_, family_}, b, out);
}

void KeyDecoder::OnX10Mouse(uint8_t b, DecodedKeys& out) {
  startedUs_ = nowUs_;
  if (mouseLeft_-- == 3) mouseButton_ = b;
  if (mouseLeft_ > 0) return;
  state_ = State::Ground;
  sequences::X10Mouse(mouseButton_, out);
}

void KeyDecoder::OnUtf8(uint8_t b, DecodedKeys& out) {
  if ((b & 0xC0) != 0x80) {
    // No character: the byte before was a key with Alt, as a terminal that
    // sends Alt as the eighth bit (and not UTF-8) sends it.
    state_ = State::Ground;
    if (utf8Fresh_) Meta(utf8Lead_, out);
    return Ground(b, out);
  }
  utf8Fresh_ = false;
  codePoint_ = (codePoint_ << 6) | (b & 0x3F);
  if (--utf8Left_ > 0) return;
  state_ = State::Ground;
  const int byte = Cp437FromUnicode(codePoint_);
  if (byte >= 0) out.push_back(KeyCode(1, static_cast<char>(byte)));
}

// Nothing we know has more parameter bytes: the rest is read, not kept,
// and the whole sequence dropped at its final byte.
void KeyDecoder::KeepParam(uint8_t b) {
  if (params_.size() < kMaxParams)
    params_.push_back(static_cast<char>(b));
  else
    overlong_ = true;
}

void KeyDecoder::StartSequence(State state) {
  state_ = state;
  params_.clear();
  overlong_ = false;
}

void KeyDecoder::AfterEscape(uint8_t b, DecodedKeys& out) {
  if (b == '[') return StartSequence(State::Csi);
  if (b == 'O') return StartSequence(State::Ss3);
  state_ = State::Ground;
  if (uint8_t s = AltLetterScan(static_cast<char>(b)); s != 0) return out.push_back(ExtendedKey(s));
  if (uint8_t d = AltDigitScan(static_cast<char>(b)); d != 0) return out.push_back(ExtendedKey(d));
  out.push_back(KeyCode(keys::KeyEsc));
  Ground(b, out);
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

bool KeyDecoder::Tick(uint64_t nowUs, DecodedKeys& out) {
  if (state_ == State::Ground || state_ == State::Paste) return false;
  if (state_ == State::PasteTail) {
    // Quiet after the end marker: the paste is over.
    return nowUs - startedUs_ > kPasteTailUs && FlushTail(true, out);
  }
  if (state_ == State::Utf8) {
    // A first byte that nothing followed: a key with Alt, sent as the
    // eighth bit.
    if (utf8Fresh_ && nowUs - startedUs_ > kEscapeDelayUs) {
      state_ = State::Ground;
      Meta(utf8Lead_, out);
    }
    return false;
  }
  if (nowUs - startedUs_ > kEscapeDelayUs) Abandon(out);
  return false;
}

}  // namespace qb7
