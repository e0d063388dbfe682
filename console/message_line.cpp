#include "console/message_line.hpp"

#include <algorithm>

#include "keys/keys.hpp"
#include "os/program_exit.hpp"

namespace qb7 {

void MessageLines::Post(std::string text, Answer answer, bool watched) {
  if (unattended_) {
    if (watched && watch_) watch_(text);
    unattended_(text);
    return;
  }
  waiting_.push_back({std::move(text), answer, watched});
}

uint64_t MessageLines::NextStepUs() const {
  if (showing_) return nextCheckUs_;
  return waiting_.empty() ? UINT64_MAX : 0;
}

void MessageLines::Show(const Waiting& line) {
  // The cursor is saved with its pending line break, so the text received
  // after the message still starts on a new row.
  savedColours_ = console_.Colours();
  savedCursor_ = console_.screen().Cursor();

  // A space, the text, spaces: cut to 78, from column 2 to 79.
  std::string bar = " ";
  bar.append(line.text);
  bar.append(static_cast<std::size_t>(std::max<int>(1, 78 - static_cast<int>(line.text.size()))),
             ' ');
  bar.resize(std::min<std::size_t>(bar.size(), 78));

  console_.SetColours(kForeground, kBackground);
  console_.SetPosition(kRow, 2);
  console_.WriteText(bar);
  // The cursor waits at the bar's start, so a window narrower than the
  // screen shows the message from its first letter (the view follows the
  // cursor), not the bar's blank end.
  console_.SetPosition(kRow, 2);
  console_.NoteAlert();
  if (watch_ && line.watched) watch_(line.text);

  // No key is handed over from now on but the answer; what was handed
  // over before comes in, for the answer to be found among it.
  console_.WantAnswer(line.answer == Answer::NewKey ? AnswerMode::NewKey : AnswerMode::AnyKey);
  console_.CollectAllKeys();
  typedAhead_ = line.answer == Answer::NewKey ? console_.KeysWaiting() : 0;
  console_.Present();
  showing_ = true;
  nextCheckUs_ = console_.clock().NowUs() + kAnswerPollUs;
}

KeyCode MessageLines::Step() {
  if (!showing_) {
    if (waiting_.empty()) return {};
    const Waiting line = std::move(waiting_.front());
    waiting_.pop_front();
    Show(line);
    return {};
  }
  if (console_.clock().NowUs() < nextCheckUs_) return {};
  KeyCode key = console_.TakeTypedKey(typedAhead_);
  if (key.empty()) {
    // The line as it stands is on the terminal while the key is awaited.
    console_.Present();
    nextCheckUs_ = console_.clock().NowUs() + kAnswerPollUs;
    return {};
  }
  showing_ = false;
  console_.WantAnswer(AnswerMode::None);
  if (key == keys::KeyHome) {
    console_.SetColours(7, exitBackground_);
    console_.ClearScreen();
    console_.Present();
    throw ProgramExit{0, 0};
  }
  Remove();
  return key;
}

void MessageLines::Remove() {
  console_.SetColours(savedColours_.fg, savedColours_.bg);
  console_.SetPosition(kRow, 1);
  console_.WriteText(std::string(79, ' '));
  console_.screen().RestoreCursor(savedCursor_);
}

}  // namespace qb7
