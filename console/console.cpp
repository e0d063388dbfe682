#include "console/console.hpp"

#include <algorithm>
#include <string>

#include "console/program_exit.hpp"
#include "keys/keys.hpp"

namespace qb7 {

Console::Console(Frontend& frontend, Clock& clock) : frontend_(frontend), clock_(clock) {}

void Console::WriteText(std::string_view text, bool newline) {
  // However many bells a line holds, it rings once, and no key waits for it.
  const int bells = screen_.Write(text);
  if (newline) screen_.Write("\r\n");
  if (bells > 0) Bell();
}

void Console::Bell() {
  const uint64_t now = clock_.NowUs();
  if (rung_ && now - lastBellUs_ < kBellUs) return;
  rung_ = true;
  lastBellUs_ = now;
  frontend_.Bell();
}

KeyCode Console::ReadKey() {
  frontend_.CollectKeys(keys_, clock_.NowUs());
  return keys_.Pop();
}

bool Console::KeyWaiting() {
  frontend_.CollectKeys(keys_, clock_.NowUs());
  return !keys_.Empty();
}

KeyCode Console::WaitKey() {
  for (;;) {
    Present();
    Sleep(10000);
    KeyCode key = ReadKey();
    if (!key.empty()) return key;
  }
}

KeyCode Console::WaitTypedKey(std::size_t skip) {
  struct Wanted {
    Frontend& f;
    explicit Wanted(Frontend& frontend) : f(frontend) { f.WantAnswer(true); }
    ~Wanted() { f.WantAnswer(false); }
  } wanted(frontend_);
  for (;;) {
    Present();
    Sleep(10000);
    frontend_.CollectKeys(keys_, clock_.NowUs());
    KeyCode key = keys_.TakeTyped(skip);
    if (key.empty()) key = frontend_.TakeAnswer();
    if (!key.empty()) return key;
  }
}

void Console::Pause(int64_t ms) {
  if (ms <= 0) return;
  if (ms < 100) {
    Sleep(static_cast<uint64_t>(ms) * 1000);
    return;
  }
  int64_t remaining = ms;
  while (remaining >= 50) {
    if (KeyWaiting()) return;
    Sleep(50000);
    remaining -= 50;
  }
  Sleep(static_cast<uint64_t>(remaining) * 1000);
}

void Console::Sleep(uint64_t us, bool keys) {
  const uint64_t target = clock_.NowUs() + us;
  for (;;) {
    if (keys) Service();
    RunTaskIfDue();
    const uint64_t now = clock_.NowUs();
    if (now >= target) return;
    // A real terminal also gets a look every frame interval, so the screen
    // and Ctrl-C are never left waiting behind a long sleep.
    uint64_t next = std::min(target, now + kFrameIntervalUs);
    if (task_ && !inTask_) next = std::min(next, nextTaskUs_);
    if (next > now) clock_.SleepUntilUs(next);
  }
}

void Console::RunTaskIfDue() {
  if (!task_ || inTask_ || clock_.NowUs() < nextTaskUs_) return;
  // Marked as running however the task ends, so it is never entered
  // again from inside itself.
  struct Running {
    bool& flag;
    explicit Running(bool& f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(inTask_);
  const uint64_t wait = task_();
  nextTaskUs_ = clock_.NowUs() + std::max<uint64_t>(wait, 100);
}

void Console::SetBackgroundTask(std::function<uint64_t()> task) {
  task_ = std::move(task);
  nextTaskUs_ = clock_.NowUs();
}

void Console::ClearBackgroundTask() { task_ = nullptr; }

void Console::AwaitBackgroundTask() {
  while (task_) {
    Service();
    const uint64_t now = clock_.NowUs();
    if (now >= nextTaskUs_) {
      RunTaskIfDue();
      return;
    }
    clock_.SleepUntilUs(std::min(nextTaskUs_, now + kFrameIntervalUs));
  }
}

void Console::Service() {
  frontend_.CollectKeys(keys_, clock_.NowUs());
  if (screen_.Version() != lastFrameVersion_ &&
      clock_.NowUs() - lastFrameUs_ >= kFrameIntervalUs) {
    Present();
  }
}

void Console::Present() {
  if (screen_.Version() == lastFrameVersion_) return;
  frontend_.Present(screen_);
  lastFrameVersion_ = screen_.Version();
  lastFrameUs_ = clock_.NowUs();
}

void Console::Redraw() {
  frontend_.Present(screen_);
  lastFrameVersion_ = screen_.Version();
  lastFrameUs_ = clock_.NowUs();
}

void Console::Lend() {
  Present();
  frontend_.Lend();
  lent_ = true;
}

void Console::TakeBack() {
  lent_ = false;
  frontend_.TakeBack();
  Redraw();
}

void Console::WhileLent(int ms) {
  // The looks go on; the keys and a terminating signal are the external
  // program's waiter's to see.
  Sleep(static_cast<uint64_t>(std::max(ms, 0)) * 1000, false);
}

void Console::ShowMessage(int row, int bg, int fg, std::string_view text, Answer answer) {
  const int slot = std::clamp(row, 0, Screen::kRows);
  // The cursor is saved with its pending line break, so the text received
  // after the message still starts on a new row.
  saved_[slot] = {screen_.Colours(), screen_.Cursor()};

  std::string line = " ";
  line.append(text);
  line.append(static_cast<std::size_t>(std::max<int>(1, 78 - static_cast<int>(text.size()))), ' ');
  line.resize(std::min<std::size_t>(line.size(), 78));

  screen_.SetColours(fg, bg);
  screen_.SetPosition(row, 2);
  WriteText(line);
  // The cursor waits at the bar's start, so a window narrower than the
  // screen shows the message from its first letter (the view follows the
  // cursor), not the bar's blank end.
  screen_.SetPosition(row, 2);
  screen_.NoteAlert();
  if (watch_) watch_(text);

  // While the operator reads, the background task goes on looking at the
  // line; what it finds is held until the line is gone.
  struct Waiting {
    int& depth;
    explicit Waiting(int& d) : depth(d) { ++depth; }
    ~Waiting() { --depth; }
  };
  // A message line is answered by a key typed, never by pasted bytes; one
  // that tells of lost text only by a key typed after it is shown, so that
  // keys typed ahead cannot take it away unread (they wait their turn).
  frontend_.CollectKeys(keys_, clock_.NowUs());
  const std::size_t typedAhead = answer == Answer::NewKey ? keys_.Size() : 0;
  KeyCode key;
  {
    Waiting waiting(operatorWaits_);
    key = WaitTypedKey(typedAhead);
  }
  if (key == keys::KeyHome) {
    screen_.SetColours(7, exitBackground_);
    screen_.Clear();
    Present();
    throw ProgramExit{0, 0};
  }
  const SavedLine& s = saved_[slot];
  screen_.SetColours(s.colours.fg, s.colours.bg);
  screen_.SetPosition(row, 1);
  WriteText(std::string(79, ' '));
  screen_.RestoreCursor(s.cursor);
  if (!leaveKey_.empty() && key == leaveKey_) throw LeaveRequested{};
}

}  // namespace qb7
