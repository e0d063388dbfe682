#include "terminal/terminal_thread.hpp"

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

#include "os/program_exit.hpp"
#include "os/helper_thread.hpp"
#include "os/monotonic.hpp"
#include "os/signal_watch.hpp"

namespace qb7 {

namespace {

// While frames keep coming, the terminal thread looks for the next one
// every frame interval (the program thread hands one over at most that
// often); after a quiet spell it sleeps until woken.
constexpr int kFrameLookMs = static_cast<int>(kFrameIntervalUs / 1000);
constexpr uint64_t kQuietSpellUs = 200000;
// A terminal thread that has taken no rows for this long while the ring
// fills is held up by its terminal.
constexpr uint64_t kRowsStuckUs = 250000;

}  // namespace

TerminalThread::TerminalThread(TerminalDevice& terminal)
    : terminal_(terminal), decoder_(terminal.Keys()) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
    throw std::system_error(errno, std::generic_category(), "terminal thread wake pipe");
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
  const int rc = StartHelperThread(thread_, &TerminalThread::ThreadMain, this, 1024 * 1024,
                                   "qb7-terminal");
  if (rc != 0) {
    terminal_.Release();
    SignalWatch::SetWakeFd(-1);
    close(wakeRead_);
    close(wakeWrite_);
    throw std::system_error(rc, std::generic_category(), "terminal thread");
  }
  running_ = true;
}

TerminalThread::~TerminalThread() {
  Shutdown();
  SignalWatch::SetWakeFd(-1);
  close(wakeRead_);
  close(wakeWrite_);
}

void TerminalThread::Shutdown() {
  if (!running_) return;
  shutdown_.store(true);
  Wake();
  pthread_join(thread_, nullptr);
  running_ = false;
}

void* TerminalThread::ThreadMain(void* self) {
  static_cast<TerminalThread*>(self)->Run();
  return nullptr;
}

// ---- Program thread ----

void TerminalThread::CollectKeys(KeyQueue& queue, uint64_t) {
  if (int sig = SignalWatch::PendingTermination()) throw ProgramExit{128 + sig, sig};
  if (outOfMemory_.load()) throw ProgramFailure{"out of memory in the terminal's thread"};
  KeyInbox::End end;
  if (inbox_.TakeInto(queue, end)) throw ProgramExit{end.status, end.signal};
}

void TerminalThread::Present(const Frame& frame) {
  mailbox_.PutFrame(frame);
  WakeIfAsleep();
}

void TerminalThread::Bell() {
  mailbox_.PutBell();
  WakeIfAsleep();
}

void TerminalThread::WantAnswer(bool wanted) {
  inbox_.WantAnswer(wanted);
  if (wanted) Wake();
}

KeyCode TerminalThread::TakeAnswer() { return inbox_.TakeAnswer(); }

void TerminalThread::Lend() {
  if (running_) Ask(LoanOrders::Order::Lend);
}

void TerminalThread::TakeBack() {
  if (running_) Ask(LoanOrders::Order::TakeBack);
}

void TerminalThread::Ask(LoanOrders::Order order) {
  loan_.Post(order);
  Wake();
}

bool TerminalThread::LoanSettled() const { return !running_ || loan_.Settled(); }

void TerminalThread::Wake() {
  // A full pipe already holds a wake-up; nothing is lost by dropping this one.
  (void)!write(wakeWrite_, "w", 1);
}

void TerminalThread::WakeIfAsleep() {
  // The frame or bell just handed over, then the look at asleep_: a fence
  // between them, as between the terminal thread's setting asleep_ and its
  // look at the mailbox (Serve). Of two seq_cst fences one comes first;
  // if it is the terminal thread's, this exchange sees asleep_ set and
  // wakes it; if it is this one, the terminal thread's look sees the frame.
  // Without the fences each side could miss the other's store (acquire and
  // release alone do not order a store before a later load), and a frame
  // would wait for the next one to be drawn.
  std::atomic_thread_fence(std::memory_order_seq_cst);
  if (asleep_.exchange(false)) Wake();
}

void TerminalThread::KeepRow(const Row& row, uint64_t number, const RowTime& time) {
  rows_.Push(row, number, time);
}

std::size_t TerminalThread::RowRoom() const {
  const std::size_t room = rows_.Room();
  if (room >= RowRing::kRingRows / 2) return room;
  // The terminal thread takes the rows at every frame. One that has not
  // for a while is held up by its terminal (it stopped reading): the
  // session then goes on drawing and logging, and rows the ring cannot
  // hold are not kept; the log never waits for the terminal.
  if (MonotonicUs() - rows_.TakenUs() > kRowsStuckUs) return SIZE_MAX;
  return room;
}

// ---- Terminal thread ----

void TerminalThread::MeasureWindow() { viewer_.SetWindow(terminal_.Rows(), terminal_.Cols()); }

void TerminalThread::Show(bool everything) {
  if (!viewer_.HasFrame()) return;
  rows_.Drain([this](const Row& row, uint64_t number, const RowTime& time) {
    viewer_.Keep(row, number, time);
  }, MonotonicUs());
  MeasureWindow();
  terminal_.Draw(viewer_.Draw(), everything);
}

void TerminalThread::SaveIfAsked() {
  auto save = viewer_.TakeSave();
  if (!save) return;
  const std::string name = DatedName(Viewer::kHistoryFilePrefix, WallClockUs(), "txt");
  if (!saving_.Start(name, std::move(save->text), save->rows))
    viewer_.Notice(Viewer::NotSavedNotice(name, saving_.Busy() ? EBUSY : EAGAIN));
}

void TerminalThread::TellSaved() {
  const auto saved = saving_.Poll();
  if (!saved) return;
  viewer_.Notice(saved->file.error == 0 ? Viewer::SavedNotice(saved->file.path, saved->rows)
                                        : Viewer::NotSavedNotice(saved->name, saved->file.error));
  Show(false);
}

void TerminalThread::PassKeys() {
  pending_.Add(fresh_);
  // Shift-F2 typed during a paste: the program drops the pasted keys it
  // holds before it gets the Shift-F2 (the order waits for room, ahead of
  // every key after it).
  if (pending_.TakeDropAsked()) {
    dropToSend_ = true;
    pasteDropped_ += pending_.TakeDropped();
  }
  if (dropToSend_) {
    if (!inbox_.PushDropPaste()) return;
    dropToSend_ = false;
  }
  KeyCode key;
  bool pasted = false;
  while (pending_.Front(key, pasted)) {
    if (!pasted && viewer_.Takes(key)) {
      // What the view takes for itself never reaches the program.
      viewer_.OnKey(key);
      SaveIfAsked();
      Show(false);
      pending_.Pop();
      continue;
    }
    // Nothing acts while the operator cannot see it: keys are held until
    // the window is large enough again.
    MeasureWindow();
    if (viewer_.TooSmall() || !inbox_.HasRoom()) return;
    // Any other key returns to the live screen, then does what it does.
    if (viewer_.ReturnLive()) Show(false);
    if (!inbox_.PushKey(key, pasted)) return;
    pending_.Pop();
  }
}

void TerminalThread::Answer() {
  if (!inbox_.AnswerWanted()) return;
  KeyCode key;
  while (pending_.TakeTypedBehindPaste(key)) {
    if (viewer_.Takes(key)) {
      viewer_.OnKey(key);
      SaveIfAsked();
      Show(false);
      continue;
    }
    if (viewer_.ReturnLive()) Show(false);
    inbox_.PutAnswer(key);
    return;
  }
}

void TerminalThread::TellPastes() {
  const int64_t program = inbox_.PasteDropped();
  if (program >= 0) {
    viewer_.Notice(std::string(PendingKeys::kPasteStopped) +
                   std::to_string(pasteDropped_ + static_cast<uint64_t>(program)) +
                   " bytes not sent");
    pasteDropped_ = 0;
    Show(false);
  }
  if (const uint64_t tooLong = pending_.TakeTooLong(); tooLong != 0) {
    viewer_.Notice(std::string(PendingKeys::kPasteTooLong) + std::to_string(tooLong) +
                   " bytes not kept");
    Show(false);
  }
}

void TerminalThread::StopUntilContinued() {
  // The stop is sent to the process, but the kernel carries it out only
  // later: the terminal is taken again only once the process has been
  // continued (SIGCONT follows the stop), never before it stopped.
  SignalWatch::TakeContinued();
  kill(getpid(), SIGSTOP);
  while (!SignalWatch::TakeContinued() && !shutdown_.load()) {
    pollfd wake = {wakeRead_, POLLIN, 0};
    poll(&wake, 1, 100);
    char drain[64];
    while (read(wakeRead_, drain, sizeof drain) > 0) {
    }
  }
}

void TerminalThread::ReadKeys(bool& inputOpen) {
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
    if (decoder_.Feed(buf[i], now, fresh_)) {
      // Ctrl-C: no key but the order to end, which waits for no key.
      PassKeys();
      inbox_.PushEnd(130, 0);
      inputOpen = false;
      return;
    }
  }
  PassKeys();
}

void TerminalThread::Run() {
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

void TerminalThread::Serve() {
  bool held = true;
  bool inputOpen = true;
  uint64_t lastFrameUs = 0;
  for (;;) {
    // Keys are read only while there is room for them; a paste beyond that
    // waits in the terminal, which then holds up its sender.
    const bool readKeys = held && inputOpen && pending_.Typed() < kHeldKeys;
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {readKeys ? terminal_.InputFd() : -1, POLLIN, 0}};
    int timeoutMs = MonotonicUs() - lastFrameUs < kQuietSpellUs ? kFrameLookMs : -1;
    // Keys waiting for room in the inbox are looked after every frame
    // interval, as the program takes them.
    KeyCode waiting;
    bool pasted = false;
    if (pending_.Front(waiting, pasted) || dropToSend_) timeoutMs = kFrameLookMs;
    // A history being written is looked after as often, to tell when it is.
    if (saving_.Busy()) timeoutMs = timeoutMs < 0 ? kFrameLookMs : std::min(timeoutMs, kFrameLookMs);
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
      std::atomic_thread_fence(std::memory_order_seq_cst);  // see WakeIfAsleep
      if (mailbox_.Waiting()) timeoutMs = 0;
    }
    poll(fds, 2, timeoutMs);
    asleep_.store(false);
    if (fds[0].revents & POLLIN) {
      char drain[64];
      while (read(wakeRead_, drain, sizeof drain) > 0) {
      }
    }

    if (const Frame* frame = mailbox_.TakeFrame()) {
      viewer_.SetFrame(*frame);
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
      StopUntilContinued();
      terminal_.Take();
      Show(true);
    }
    if (held) TellSaved();
    const int bells = mailbox_.TakeBells();
    for (int i = 0; held && i < bells; ++i) terminal_.Bell();
    if (held && inputOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadKeys(inputOpen);
    if (held) {
      decoder_.Tick(MonotonicUs(), fresh_);
      PassKeys();
      Answer();
      TellPastes();
    }

    switch (loan_.Take()) {
      case LoanOrders::Order::None:
        break;
      case LoanOrders::Order::Lend:
        terminal_.Release();
        held = false;
        loan_.Done();
        break;
      case LoanOrders::Order::TakeBack:
        terminal_.Take();
        held = true;
        SignalWatch::TakeResize();  // Take learns the size anyway
        SignalWatch::TakeStop();    // a stop asked while the terminal was not ours
        Show(true);
        loan_.Done();
        break;
    }
    if (shutdown_.load()) {
      terminal_.Release();
      return;
    }
  }
}

}  // namespace qb7
