// The terminal thread's hand-overs, seen from the program thread: starting
// and ending the thread, and the Frontend operations, each of which only
// hands something over and returns.
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

// ---- Program thread ----

void TerminalThread::CollectKeys(KeyQueue& queue, uint64_t, bool pastBound) {
  if (int sig = SignalWatch::PendingTermination()) throw ProgramExit{128 + sig, sig};
  if (outOfMemory_.load()) throw ProgramFailure{"out of memory in the terminal's thread"};
  KeyInbox::End end;
  if (inbox_.TakeInto(queue, end, pastBound)) throw ProgramExit{end.status, end.signal};
}

void TerminalThread::Present(const Frame& frame) {
  mailbox_.PutFrame(frame);
  WakeIfAsleep();
}

void TerminalThread::Bell() {
  mailbox_.PutBell();
  WakeIfAsleep();
}

void TerminalThread::WantAnswer(AnswerMode mode) {
  inbox_.WantAnswer(mode);
  if (mode != AnswerMode::None) Wake();
}

KeyCode TerminalThread::TakeAnswer(KeyQueue& queue) { return inbox_.TakeAnswer(queue); }

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

}  // namespace qb7
