#include "tty/threaded_frontend.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <system_error>

#include "console/program_exit.hpp"
#include "os/helper_thread.hpp"
#include "os/monotonic.hpp"
#include "os/signal_watch.hpp"
#include "tty/view.hpp"

namespace qb7 {

namespace {

// While frames keep coming, the front end looks for the next one every
// frame interval (the program thread hands one over at most that often);
// after a quiet spell it sleeps until woken.
constexpr int kFrameLookMs = static_cast<int>(kFrameIntervalUs / 1000);
constexpr uint64_t kQuietSpellUs = 200000;
// Rows a notch of the mouse wheel scrolls the view, as terminals do.
constexpr int kWheelRows = 3;

}  // namespace

ThreadedFrontend::ThreadedFrontend(TerminalDevice& terminal)
    : terminal_(terminal), decoder_(terminal.Keys()) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "front-end wake pipe");
  wakeRead_ = fds[0];
  wakeWrite_ = fds[1];
  SignalWatch::SetWakeFd(wakeWrite_);

  // The terminal is set up here, while the program has one thread: a
  // failure is then told plainly, and the terminal put back.
  try {
    terminal_.Take();
  } catch (...) {
    SignalWatch::SetWakeFd(-1);
    close(wakeRead_);
    close(wakeWrite_);
    throw;
  }
  const int rc = StartHelperThread(thread_, &ThreadedFrontend::ThreadMain, this, 1024 * 1024);
  if (rc != 0) {
    terminal_.Release();
    SignalWatch::SetWakeFd(-1);
    close(wakeRead_);
    close(wakeWrite_);
    throw std::system_error(rc, std::generic_category(), "front-end thread");
  }
  running_ = true;
}

ThreadedFrontend::~ThreadedFrontend() {
  Shutdown();
  SignalWatch::SetWakeFd(-1);
  close(wakeRead_);
  close(wakeWrite_);
}

void ThreadedFrontend::Shutdown() {
  if (!running_) return;
  shutdown_.store(true);
  Wake();
  pthread_join(thread_, nullptr);
  running_ = false;
}

void* ThreadedFrontend::ThreadMain(void* self) {
  static_cast<ThreadedFrontend*>(self)->Run();
  return nullptr;
}

// ---- Program thread ----

void ThreadedFrontend::CollectKeys(KeyQueue& queue, uint64_t) {
  if (int sig = SignalWatch::PendingTermination()) throw ProgramExit{128 + sig, sig};
  if (outOfMemory_.load()) throw ProgramFailure{"out of memory in the terminal's thread"};
  KeyInbox::End end;
  if (inbox_.TakeInto(queue, end)) throw ProgramExit{end.status, end.signal};
}

void ThreadedFrontend::Present(const Screen& screen) {
  mailbox_.PutFrame(screen);
  WakeIfAsleep();
}

void ThreadedFrontend::Bell() {
  mailbox_.PutBell();
  WakeIfAsleep();
}

void ThreadedFrontend::Lend() {
  if (running_) Ask(TerminalLending::Order::Lend);
}

void ThreadedFrontend::TakeBack() {
  if (running_) Ask(TerminalLending::Order::TakeBack);
}

void ThreadedFrontend::Ask(TerminalLending::Order order) {
  lending_.Post(order);
  Wake();
  lending_.AwaitDone();
}

void ThreadedFrontend::Wake() {
  // A full pipe already holds a wake-up; nothing is lost by dropping this one.
  (void)!write(wakeWrite_, "w", 1);
}

void ThreadedFrontend::WakeIfAsleep() {
  if (asleep_.exchange(false)) Wake();
}

// ---- Front-end thread ----

void ThreadedFrontend::KeepRow(const Row& row, uint64_t number) { rows_.Push(row, number); }

bool ThreadedFrontend::TooSmall() const {
  return terminal_.Rows() < kMinRows || terminal_.Cols() < kMinCols;
}

void ThreadedFrontend::Show(bool everything) {
  if (!last_) return;
  rows_.Drain([this](const Row& row, uint64_t number) { history_.Keep(row, number); });
  // Scrolled back, the view stays on the rows it shows while new ones come.
  const uint64_t gone = last_->RowsGone();
  if (place_.back > 0 && gone > shownGone_) place_.back += static_cast<int>(gone - shownGone_);
  shownGone_ = gone;
  // A cleared screen is shown from its top again (the help list, a new
  // session), as far as the cursor lets it.
  if (last_->Clears() != shownClears_) {
    shownClears_ = last_->Clears();
    place_.top = place_.left = 1;
  }
  ViewInput in;
  in.windowRows = terminal_.Rows();
  in.windowCols = terminal_.Cols();
  in.cursorRow = last_->CursorRow();
  in.cursorCol = last_->CursorColumn();
  in.historyRows = std::min<uint64_t>(gone, HistoryStore::kRows);
  layout_ = PlaceView(in, place_);
  place_ = layout_.place;
  DrawView(*last_, history_, layout_, in.windowRows, in.windowCols, picture_);
  terminal_.Draw(picture_, everything);
}

void ThreadedFrontend::Scroll(const KeyCode& code) {
  const int page = std::max(layout_.rows - 1, 1);
  if (code == view::WheelUp) place_.back += kWheelRows;
  if (code == view::WheelDown) place_.back = std::max(place_.back - kWheelRows, 0);
  if (code == view::PageUp) place_.back += page;
  if (code == view::PageDown) place_.back = std::max(place_.back - page, 0);
  Show(false);  // a click or a drag (view::Mouse) changes nothing
}

void ThreadedFrontend::PassKeys() {
  while (!decoded_.empty()) {
    KeyCode& key = decoded_.front();
    if (IsViewCode(key)) {
      // What the view takes for itself never reaches the program.
      Scroll(key);
      decoded_.pop_front();
      continue;
    }
    // Nothing acts while the operator cannot see it: keys are held until
    // the window is large enough again.
    if (TooSmall() || !inbox_.HasRoom()) return;
    if (place_.back > 0) {
      // Any other key returns to the live screen, then does what it does.
      place_.back = 0;
      Show(false);
    }
    inbox_.PushKey(std::move(key));
    decoded_.pop_front();
  }
}

void ThreadedFrontend::ReadKeys(bool& inputOpen) {
  unsigned char buf[256];
  const ssize_t n = read(terminal_.InputFd(), buf, sizeof buf);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    // The terminal is gone: end as a hang-up would.
    inbox_.PushEnd(128 + SIGHUP, SIGHUP);
    inputOpen = false;
    return;
  }
  const uint64_t now = MonotonicUs();
  for (ssize_t i = 0; i < n; ++i) {
    if (decoder_.Feed(buf[i], now, decoded_)) {
      // Ctrl-C: no key but the order to end, which waits for no key.
      PassKeys();
      inbox_.PushEnd(130, 0);
      inputOpen = false;
      return;
    }
  }
  PassKeys();
}

void ThreadedFrontend::Run() {
  try {
    Serve();
  } catch (const std::bad_alloc&) {
    // No memory for the terminal's work: the terminal is given back and the
    // program told to end.
    try {
      terminal_.Release();
    } catch (...) {
    }
    outOfMemory_.store(true);
  }
}

void ThreadedFrontend::Serve() {
  bool held = true;
  bool inputOpen = true;
  uint64_t lastFrameUs = 0;
  for (;;) {
    // Keys are read only while there is room for them; a paste beyond that
    // waits in the terminal, which then holds up its sender.
    const bool readKeys = held && inputOpen && decoded_.size() < kHeldKeys;
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {readKeys ? terminal_.InputFd() : -1, POLLIN, 0}};
    int timeoutMs = MonotonicUs() - lastFrameUs < kQuietSpellUs ? kFrameLookMs : -1;
    // Keys waiting for room in the inbox are looked after every frame
    // interval, as the program takes them.
    if (!decoded_.empty()) timeoutMs = kFrameLookMs;
    // While a lone Esc may still be the start of a sequence, look again
    // when its delay is over.
    if (decoder_.Pending()) {
      const int escapeMs = static_cast<int>(KeyDecoder::kEscapeDelayUs / 1000) + 1;
      timeoutMs = timeoutMs < 0 ? escapeMs : std::min(timeoutMs, escapeMs);
    }
    if (timeoutMs < 0) {
      // Going to sleep for good: from now on a frame must wake us. One that
      // came just before is seen here instead.
      asleep_.store(true);
      if (mailbox_.Waiting()) timeoutMs = 0;
    }
    poll(fds, 2, timeoutMs);
    asleep_.store(false);
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }

    if (const Screen* frame = mailbox_.TakeFrame()) {
      last_ = frame;
      lastFrameUs = MonotonicUs();
      if (held) Show(false);
    }
    if (held && SignalWatch::TakeResize()) {
      terminal_.Resized();
      Show(true);
    }
    if (held && SignalWatch::TakeStop()) {
      // Stopped from outside: the terminal goes back to the shell as it
      // was, and comes back drawn when the program is continued.
      terminal_.Release();
      kill(getpid(), SIGSTOP);
      terminal_.Take();
      Show(true);
    }
    const int bells = mailbox_.TakeBells();
    for (int i = 0; held && i < bells; ++i) terminal_.Bell();
    if (held && inputOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadKeys(inputOpen);
    if (held) {
      decoder_.Tick(MonotonicUs(), decoded_);
      PassKeys();
    }

    switch (lending_.Take()) {
      case TerminalLending::Order::None:
        break;
      case TerminalLending::Order::Lend:
        terminal_.Release();
        held = false;
        lending_.Done();
        break;
      case TerminalLending::Order::TakeBack:
        terminal_.Take();
        held = true;
        SignalWatch::TakeResize();  // Take learns the size anyway
        SignalWatch::TakeStop();    // a stop asked while the terminal was not ours
        Show(true);
        lending_.Done();
        break;
    }
    if (shutdown_.load()) {
      terminal_.Release();
      return;
    }
  }
}

}  // namespace qb7
