// A bracketed paste (ESC [200~ .. ESC [201~), read literally: every byte up
// to the end marker is the character it is, never a key's sequence or the
// order to end; text in UTF-8 becomes the PC glyphs, as typed text does.
// What follows an end marker faster than a hand types is held until it is
// quiet: when another marker came in it, the first was text from the
// clipboard and all up to the last marker is pasted, so a clipboard that
// holds the marker itself cannot make the rest of it act as keys; what
// follows the last marker was typed after the paste and acts as keys.
#include "keys/key_decoder.hpp"
#include <algorithm>
#include <utility>

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
  if (tail_.size() >= kPasteTailBytes) FlushTail(false, out);
}

bool KeyDecoder::FlushTail(bool done, DecodedKeys& out) {
  // The held bytes leave tail_ first: what they become may hold bytes again.
  std::string tail = std::move(tail_);
  tail_.clear();
  const std::size_t marker = std::exchange(tailMarker_, std::string::npos);
  if (marker != std::string::npos) {
    // A later marker: the one that began the tail, and any before the last,
    // were text, and so is all between them.
    for (char c : kEnd) PasteLiteral(static_cast<uint8_t>(c), out);
    for (std::size_t i = 0; i < marker; ++i) PasteLiteral(static_cast<uint8_t>(tail[i]), out);
    tail.erase(0, marker + kEnd.size());
    if (!done) {
      // So much more came on at once: the last marker may be text again.
      tail_ = std::move(tail);
      return false;
    }
  } else if (!done) {
    // So much after the marker and no other: the paste goes on, the marker
    // was text, and what follows is read as pasted again.
    for (char c : kEnd) PasteLiteral(static_cast<uint8_t>(c), out);
    state_ = State::Paste;
    for (char c : tail) PasteByte(static_cast<uint8_t>(c), out);
    return false;
  }
  // Quiet after the last marker: the paste is over, and what came after it
  // was typed (read in one go with the paste's end when the terminal was
  // read behind a long paste), Shift-F2 and Ctrl-C among it.
  pasteUtf8_ = false;
  state_ = State::Ground;
  out.push_back(KeyCode(paste::End));
  for (char c : tail)
    if (Feed(static_cast<uint8_t>(c), nowUs_, out)) return true;
  return false;
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
