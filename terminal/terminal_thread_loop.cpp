// The terminal thread's own loop: it sleeps in poll on the terminal's input
// and its wake-up pipe, and at each wake takes the newest frame and draws
// it through the view, follows resizes and stops, rings, reads and decodes
// key bytes and routes them (KeyRouter), and carries out the loan orders.
// It is the only code that touches the terminal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>

#include "os/monotonic.hpp"
#include "os/signal_watch.hpp"
#include "os/whole_file.hpp"
#include "terminal/terminal_thread.hpp"

namespace qb7 {

namespace {

// While frames keep coming, the terminal thread looks for the next one
// every frame interval (the program thread hands one over at most that
// often); after a quiet spell it sleeps until woken.
constexpr int kFrameLookMs = static_cast<int>(kFrameIntervalUs / 1000);
constexpr uint64_t kQuietSpellUs = 200000;

}  // namespace

void* TerminalThread::ThreadMain(void* self) {
  static_cast<TerminalThread*>(self)->Run();
  return nullptr;
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

void TerminalThread::MeasureWindow() { viewer_.SetWindow(terminal_.Rows(), terminal_.Cols()); }

void TerminalThread::Show(bool everything) {
  if (!viewer_.HasFrame()) return;
  rows_.Drain([this](const Row& row, uint64_t number, const RowTime& time) {
    viewer_.Keep(row, number, time);
  }, MonotonicUs());
  MeasureWindow();
  terminal_.Draw(viewer_.Draw(), everything);
}

void TerminalThread::Save(Viewer::SaveRequest save) {
  const std::string name = DatedName(Viewer::kHistoryFilePrefix, WallClockUs(), "txt");
  if (!saving_.Start(name, std::move(save.text), save.rows))
    viewer_.Notice(Viewer::NotSavedNotice(name, saving_.Busy() ? EBUSY : EAGAIN));
}

void TerminalThread::TellRawRead() {
  auto read = rawReading_.Poll();
  if (!read) return;
  viewer_.ShowHex(read->request, std::move(read->bytes), read->error);
  Show(false);
}

void TerminalThread::TellSaved() {
  const auto saved = saving_.Poll();
  if (!saved) return;
  viewer_.Notice(saved->file.error == 0 ? Viewer::SavedNotice(saved->file.path, saved->rows,
                                                                   saved->file.inTheWay)
                                        : Viewer::NotSavedNotice(saved->name, saved->file.error));
  Show(false);
}

void TerminalThread::RouteKeys() {
  router_.Add(fresh_, inbox_);
  // Whether the window can show what a key does is the router's to ask.
  MeasureWindow();
  KeyRouter::Routed routed = router_.Route(inbox_);
  if (routed.save) Save(std::move(*routed.save));
  if (routed.hex && !rawReading_.Start(std::string(Viewer::kRawFileName), std::move(*routed.hex)))
    viewer_.Notice("x: the bytes asked for before are still being read");
  if (routed.redraw) Show(false);
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
  unsigned char buf[4096];  // a paste is read through in few turns
  const ssize_t n = read(terminal_.InputFd(), buf, sizeof buf);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
  if (n <= 0) {
    // The terminal is gone: end as a hang-up would.
    inbox_.PushEnd(128 + SIGHUP, SIGHUP);
    inputOpen = false;
    return;
  }
  const uint64_t now = MonotonicUs();
  decoder_.SetCtrlCIsKey(ctrlCIsKey_.load(std::memory_order_relaxed));
  for (ssize_t i = 0; i < n; ++i) {
    if (decoder_.Feed(buf[i], now, fresh_)) {
      // Ctrl-C: no key but the order to end, which waits for no key.
      RouteKeys();
      inbox_.PushEnd(130, 0);
      inputOpen = false;
      return;
    }
  }
  RouteKeys();
}

int TerminalThread::SleepMs(uint64_t lastFrameUs) const {
  int timeoutMs = MonotonicUs() - lastFrameUs < kQuietSpellUs ? kFrameLookMs : -1;
  const auto atMost = [&timeoutMs](int ms) { timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms); };
  // Keys waiting for room in the inbox are looked after every frame
  // interval, as the program takes them; a history being written as often,
  // to tell when it is; and so bytes of Term.raw being read for x.
  if (router_.Waiting() || saving_.Busy() || rawReading_.Busy()) atMost(kFrameLookMs);
  // While a lone Esc may still be the start of a sequence, or a paste's end
  // is not yet sure, look again when that is decided.
  if (decoder_.Pending())
    atMost(static_cast<int>((decoder_.Pasting() ? KeyDecoder::kPasteTailUs
                                                : KeyDecoder::kEscapeDelayUs) / 1000) + 1);
  return timeoutMs;
}

void TerminalThread::CarryOutLoanOrder(bool& held) {
  switch (loan_.Take()) {
    case LoanOrders::Order::None:
      return;
    case LoanOrders::Order::Lend:
      terminal_.Release();
      held = false;
      break;
    case LoanOrders::Order::TakeBack:
      terminal_.Take();
      held = true;
      SignalWatch::TakeResize();  // Take learns the size anyway
      SignalWatch::TakeStop();    // a stop asked while the terminal was not ours
      Show(true);
      break;
  }
  loan_.Done();
}

void TerminalThread::Serve() {
  bool held = true;
  bool inputOpen = true;
  uint64_t lastFrameUs = 0;
  for (;;) {
    // The terminal is read on whatever waits, so that Ctrl-C and Shift-F2
    // act when they come, behind a paste or type-ahead of any length (what
    // finds no room in the router is counted and told).
    const bool readKeys = held && inputOpen;
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {readKeys ? terminal_.InputFd() : -1, POLLIN, 0}};
    int timeoutMs = SleepMs(lastFrameUs);
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
    if (held) TellRawRead();
    const int bells = mailbox_.TakeBells();
    for (int i = 0; held && i < bells; ++i) terminal_.Bell();
    if (held && inputOpen && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadKeys(inputOpen);
    if (held) {
      // Ctrl-C typed behind a paste's end is known once the end is sure.
      const bool interrupted = decoder_.Tick(MonotonicUs(), fresh_);
      RouteKeys();
      if (interrupted && inputOpen) {
        inbox_.PushEnd(130, 0);
        inputOpen = false;
      }
    }
    CarryOutLoanOrder(held);
    if (shutdown_.load()) {
      terminal_.Release();
      return;
    }
  }
}

}  // namespace qb7
