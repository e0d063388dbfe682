// A bracketed paste (ESC [200~ .. ESC [201~), read literally: every byte up
// to the end marker is the character it is, never a key's sequence or the
// order to end; text in UTF-8 becomes the PC glyphs, as typed text does.
// What follows an end marker faster than a hand types is held, then handed
// on as pasted too: a clipboard that holds the marker itself cannot make
// the rest of it act as keys.
#include "keys/key_decoder.hpp"
#include <algorithm>

#include "text/cp437.hpp"

namespace qb7 {

void KeyDecoder::StartPaste() {
  state_ = State::Paste;
  pasteEndMatched_ = 0;
  pasteUtf8_ = false;
}

namespace {
constexpr std::string_view kEnd = "\x1b[201~";
}  // namespace

void KeyDecoder::PasteByte(uint8_t b, DecodedKeys& out) {
  if (state_ == State::PasteTail) return PasteTailByte(b, out);
  // A start of the end marker that does not go on was pasted text too.
  if (b == static_cast<uint8_t>(kEnd[pasteEndMatched_])) {
    if (++pasteEndMatched_ == kEnd.size()) {
      pasteEndMatched_ = 0;
      state_ = State::PasteTail;
      startedUs_ = nowUs_;
      tail_.clear();
      tailMarker_ = std::string::npos;
      firstMarkerOwed_ = true;
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

void KeyDecoder::PasteTailByte(uint8_t b, DecodedKeys& out) {
  startedUs_ = nowUs_;
  tail_.push_back(static_cast<char>(b));
  if (tail_.size() >= kEnd.size() && tail_.compare(tail_.size() - kEnd.size(), kEnd.size(), kEnd) == 0)
    tailMarker_ = tail_.size() - kEnd.size();
  // So much after the marker: the paste goes on, the marker was text.
  if (tail_.size() >= kPasteTailBytes) FlushTail(false, out);
}

void KeyDecoder::FlushTail(bool done, DecodedKeys& out) {
  // A marker after the first, or more text than a paste's end brings: the
  // first marker was text, and its bytes go first.
  const bool laterMarker = tailMarker_ != std::string::npos;
  if (firstMarkerOwed_ && (laterMarker || !done)) {
    for (char c : kEnd) PasteLiteral(static_cast<uint8_t>(c), out);
    firstMarkerOwed_ = false;
  }
  // The last marker ends the paste: its bytes are no text. Held back when
  // not done, as it may be the end.
  const std::size_t keep = done ? 0 : std::min(tail_.size(), kEnd.size() - 1);
  for (std::size_t i = 0; i + keep < tail_.size(); ++i) {
    if (laterMarker && i >= tailMarker_ && i < tailMarker_ + kEnd.size() && done) continue;
    PasteLiteral(static_cast<uint8_t>(tail_[i]), out);
  }
  tail_.erase(0, tail_.size() - keep);
  tailMarker_ = std::string::npos;
  if (!done) return;
  pasteUtf8_ = false;
  state_ = State::Ground;
  out.push_back(KeyCode(paste::End));
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
