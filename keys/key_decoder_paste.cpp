// A bracketed paste (ESC [200~ .. ESC [201~), read literally: every byte up
// to the end marker is the character it is, never a key's sequence or the
// order to end; text in UTF-8 becomes the PC glyphs, as typed text does.
#include "keys/key_decoder.hpp"
#include "text/cp437.hpp"

namespace qb7 {

void KeyDecoder::StartPaste() {
  state_ = State::Paste;
  pasteEndMatched_ = 0;
  pasteUtf8_ = false;
}

void KeyDecoder::PasteByte(uint8_t b, DecodedKeys& out) {
  // A start of the end marker that does not go on was pasted text too.
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
  for (std::size_t i = 0; i < pasteEndMatched_; ++i)
    PasteLiteral(static_cast<uint8_t>(kEnd[i]), out);
  pasteEndMatched_ = 0;
  if (b == static_cast<uint8_t>(kEnd[0])) {
    pasteEndMatched_ = 1;
    return;
  }
  PasteLiteral(b, out);
}

void KeyDecoder::PasteLiteral(uint8_t b, DecodedKeys& out) {
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

}  // namespace qb7
