#include "console/console.hpp"

#include <algorithm>

namespace qb7 {

Console::Console(Frontend& frontend, Clock& clock) : frontend_(frontend), clock_(clock) {}

void Console::WriteText(std::string_view text, bool newline) {
  // However many bells a line holds, it rings once, and no key waits for it.
  const int bells = screen().Write(text);
  if (newline) screen().Write("\r\n");
  if (bells > 0) Bell();
}

void Console::Bell() {
  const uint64_t now = clock_.NowUs();
  if (rung_ && now - lastBellUs_ < kBellUs) return;
  rung_ = true;
  lastBellUs_ = now;
  frontend_.Bell();
}

void Console::CollectKeys() { frontend_.CollectKeys(keys_, clock_.NowUs()); }

KeyCode Console::ReadKey(bool* pasted) {
  CollectKeys();
  return keys_.Pop(pasted);
}

void Console::CollectAllKeys() { frontend_.CollectKeys(keys_, clock_.NowUs(), true); }

bool Console::KeyWaiting() {
  CollectKeys();
  return !keys_.Empty();
}

KeyCode Console::TakeTypedKey(std::size_t skip) {
  CollectAllKeys();
  KeyCode key = keys_.TakeTyped(skip);
  KeyCode answer = frontend_.TakeAnswer(keys_);
  if (key.empty()) return answer;
  // A key here came before the one the front end took out of turn as the
  // answer (keys typed ahead of the line): it answers, and the later one
  // goes back in turn, where nothing typed after it can stand yet.
  if (!answer.empty()) keys_.PushPastBound(std::move(answer), false);
  return key;
}

void Console::PresentIfDue() {
  if (frame_.Version() != lastFrameVersion_ && clock_.NowUs() - lastFrameUs_ >= kFrameIntervalUs)
    Present();
}

uint64_t Console::NextFrameUs() const {
  if (frame_.Version() == lastFrameVersion_) return UINT64_MAX;
  return lastFrameUs_ + kFrameIntervalUs;
}

void Console::Present() {
  if (frame_.Version() == lastFrameVersion_) return;
  Redraw();
}

void Console::Redraw() {
  frontend_.Present(frame_);
  lastFrameVersion_ = frame_.Version();
  lastFrameUs_ = clock_.NowUs();
}

void Console::SetLineCounts(const LineCounts& counts) {
  if (counts == frame_.counts) return;
  frame_.counts = counts;
  ++frame_.news;
}

void Console::Notice(std::string_view text) {
  const std::size_t n = std::min(text.size(), frame_.notice.size());
  if (std::string_view(frame_.notice.data(), frame_.noticeLength) == text.substr(0, n)) return;
  text.copy(frame_.notice.data(), n);
  frame_.noticeLength = static_cast<uint8_t>(n);
  ++frame_.news;
}

void Console::NoteAlert() {
  ++frame_.alerts;
  ++frame_.news;
}

void Console::Lend() {
  // The screen as it stands is drawn first: the terminal shows it while
  // the external program starts.
  Present();
  frontend_.Lend();
}

void Console::TakeBack() { frontend_.TakeBack(); }

}  // namespace qb7
