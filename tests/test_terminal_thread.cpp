// The terminal thread's hand-overs, with a stand-in terminal: frames are drawn
// only on the terminal thread, a terminal that stops reading holds up
// nobody else, keys arrive in order, and the terminal is really given away
// before an external program runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "os/program_exit.hpp"
#include "keys/keys.hpp"
#include "terminal/terminal_thread.hpp"

namespace qb7 {
namespace {

using namespace std::chrono_literals;

// The loops below end when the key behind a paste has acted, or at this
// guard against a hang. No test here claims a time: a key that waited
// behind the paste, taken one per 2 ms as below, would need many times the
// guard, and is caught by what was sent meanwhile.
constexpr auto kHangGuard = 60s;

// Keys come from a pipe; every draw is recorded with its thread. While
// stalled, a draw does not return: a write to a terminal that stopped
// reading does not either.
class StandInTerminal final : public TerminalDevice {
 public:
  StandInTerminal() : testThread_(std::this_thread::get_id()) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    keysIn_ = fds[0];
    keysOut = fds[1];
  }
  ~StandInTerminal() override {
    close(keysIn_);
    close(keysOut);
  }

  void Take() override {
    std::lock_guard<std::mutex> lock(mutex);
    ++takes;
  }
  void Release() override {
    std::lock_guard<std::mutex> lock(mutex);
    ++releases;
  }
  void Draw(const Picture& frame, bool everything) override {
    std::unique_lock<std::mutex> lock(mutex);
    if (std::this_thread::get_id() == testThread_) {
      drawnOnTestThread = true;
      return;
    }
    ++draws;
    lastRow = frame.RowText(0).substr(0, 10);
    lastEverything = everything;
    changed.notify_all();
    changed.wait(lock, [this] { return !stalled; });
  }
  void Bell() override {}
  void Resized() override {}
  int Rows() const override { return rows; }
  int Cols() const override { return 80; }
  int InputFd() const override { return keysIn_; }

  template <class Pred>
  bool WaitFor(Pred pred) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, 10s, pred);
  }
  void Stall(bool on) {
    std::lock_guard<std::mutex> lock(mutex);
    stalled = on;
    changed.notify_all();
  }

  std::mutex mutex;
  std::condition_variable changed;
  bool stalled = false;
  bool drawnOnTestThread = false;
  int draws = 0, takes = 0, releases = 0;
  std::string lastRow;
  bool lastEverything = false;
  std::atomic<int> rows{25};
  int keysOut = -1;

 private:
  std::thread::id testThread_;
  int keysIn_ = -1;
};

Frame FrameOf(const std::string& text) {
  Frame f;
  f.screen.Write(text);
  return f;
}

// Waits (the test's thread, not the program's) until the loan asked for is
// carried out.
bool Settles(TerminalThread& t) {
  for (int i = 0; i < 10000; ++i) {
    if (t.LoanSettled()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return false;
}

TEST(TerminalThread, AStalledTerminalHoldsUpNoFrameAndGetsTheNewestOneAfter) {
  StandInTerminal terminal;
  terminal.Stall(true);
  TerminalThread thread(terminal);
  thread.Present(FrameOf("frame 0"));
  ASSERT_TRUE(terminal.WaitFor([&] { return terminal.draws == 1; }));
  // The terminal is stuck in its first draw; the program goes on handing
  // frames over, and each hand-over returns at once.
  for (int i = 1; i <= 500; ++i) thread.Present(FrameOf("frame " + std::to_string(i)));
  terminal.Stall(false);
  ASSERT_TRUE(terminal.WaitFor([&] { return terminal.lastRow == "frame 500 "; }));
  thread.Shutdown();
  EXPECT_FALSE(terminal.drawnOnTestThread);
  EXPECT_LE(terminal.draws, 3);  // the newest frame, not a backlog of 500
  EXPECT_EQ(terminal.releases, 1);
}

TEST(TerminalThread, KeysArriveInOrderAndCtrlCIsTheOrderToEnd) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  ASSERT_EQ(write(terminal.keysOut, "ab\x1bOP\x03z", 7), 7);
  KeyQueue keys;
  int status = -1;
  for (int i = 0; i < 5000 && status < 0; ++i) {
    try {
      thread.CollectKeys(keys, 0);
    } catch (const ProgramExit& e) {
      status = e.status;
    }
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(status, 130);
  EXPECT_EQ(keys.Pop(), "a");
  EXPECT_EQ(keys.Pop(), "b");
  EXPECT_EQ(keys.Pop(), std::string(keys::KeyF1));
  EXPECT_TRUE(keys.Empty());  // nothing after Ctrl-C
}

// Where the configuration says #CTRLC SEND, Ctrl-C typed is a key in turn
// and the program goes on.
TEST(TerminalThread, CtrlCIsAKeyWhereTheConfigurationSaysSo) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  thread.SetCtrlCIsKey(true);
  ASSERT_EQ(write(terminal.keysOut, "a\x03z", 3), 3);
  KeyQueue keys;
  std::string got;
  for (int i = 0; i < 5000 && got.size() < 3; ++i) {
    thread.CollectKeys(keys, 0);  // no ProgramExit
    while (!keys.Empty()) got += keys.Pop();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(got, "a\x03z");
}

TEST(TerminalThread, TheTerminalIsLentBeforeTheLoanSettlesAndTakenBackDrawn) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  thread.Present(FrameOf("session"));
  ASSERT_TRUE(terminal.WaitFor([&] { return terminal.draws == 1; }));
  thread.Lend();
  ASSERT_TRUE(Settles(thread));
  {
    std::lock_guard<std::mutex> lock(terminal.mutex);
    EXPECT_EQ(terminal.releases, 1);
  }
  // Typed while the external program has the terminal: not read by us.
  ASSERT_EQ(write(terminal.keysOut, "k", 1), 1);
  std::this_thread::sleep_for(100ms);
  KeyQueue keys;
  thread.CollectKeys(keys, 0);
  EXPECT_TRUE(keys.Empty());
  thread.TakeBack();
  ASSERT_TRUE(Settles(thread));
  {
    std::lock_guard<std::mutex> lock(terminal.mutex);
    EXPECT_EQ(terminal.takes, 2);
    EXPECT_TRUE(terminal.lastEverything);
    EXPECT_EQ(terminal.lastRow, "session   ");
  }
  for (int i = 0; i < 5000 && keys.Empty(); ++i) {
    thread.CollectKeys(keys, 0);
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(keys.Pop(), "k");
}

// Lending the terminal asks and returns: a terminal thread stuck writing
// to a terminal that stopped reading holds up the loan, never the thread
// that asked (which goes on looking at the receive FIFO meanwhile).
TEST(TerminalThread, AStuckTerminalHoldsUpTheLoanNotTheProgramThread) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  terminal.Stall(true);
  thread.Present(FrameOf("stuck"));
  ASSERT_TRUE(terminal.WaitFor([&] { return terminal.draws == 1; }));
  const auto asked = std::chrono::steady_clock::now();
  thread.Lend();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s);
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(thread.LoanSettled());
  terminal.Stall(false);
  ASSERT_TRUE(Settles(thread));
  {
    std::lock_guard<std::mutex> lock(terminal.mutex);
    EXPECT_EQ(terminal.releases, 1);
  }
  thread.TakeBack();
  ASSERT_TRUE(Settles(thread));
  thread.Shutdown();
}

// A paste far longer than the key queues reaches the program whole and in
// order: the terminal thread hands keys over only while there is room, and a
// program that takes them slowly (one byte sent per 10 ms) loses none.
TEST(TerminalThread, APasteLongerThanTheQueuesLosesNothing) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  std::string paste;
  for (int i = 0; i < 3000; ++i) paste.push_back(static_cast<char>('a' + i % 26));
  ASSERT_EQ(write(terminal.keysOut, paste.data(), paste.size()), static_cast<ssize_t>(paste.size()));
  KeyQueue queue;
  std::string got;
  for (int i = 0; i < 20000 && got.size() < paste.size(); ++i) {
    thread.CollectKeys(queue, 0);
    for (int k = 0; k < 7 && !queue.Empty(); ++k) got += queue.Pop();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(got, paste);
}

// A bracketed paste: its keys reach the program marked pasted (a message
// line takes only typed keys), and the terminal is read on through a paste
// of any length, so that Shift-F2 drops the rest of it at once and Ctrl-C
// ends the program at once.
// Writes the paste, then (after a pause, as a hand does: text that comes
// with a paste's end in one read was pasted too) the keys typed after it.
struct Paster {
  explicit Paster(int fd, std::string bytes, std::string typed = {})
      : thread([fd, b = std::move(bytes), t = std::move(typed)] {
          const auto writeAll = [fd](const std::string& s) {
            std::size_t done = 0;
            while (done < s.size()) {
              const ssize_t n = write(fd, s.data() + done, s.size() - done);
              if (n <= 0) return;
              done += static_cast<std::size_t>(n);
            }
          };
          writeAll(b);
          if (t.empty()) return;
          std::this_thread::sleep_for(100ms);
          writeAll(t);
        }) {}
  ~Paster() { thread.join(); }
  std::thread thread;
};

std::string Bracketed(std::size_t bytes) {
  std::string paste = "\x1b[200~";
  for (std::size_t i = 0; i < bytes; ++i) paste.push_back(static_cast<char>('a' + i % 26));
  return paste + "\x1b[201~";
}

TEST(TerminalThread, PastedKeysAreMarkedAndNoMessageLineTakesThem) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  Paster paster(terminal.keysOut, Bracketed(3), "x");
  KeyQueue queue;
  for (int i = 0; i < 2000 && queue.Size() < 4; ++i) {
    thread.CollectKeys(queue, 0);
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(queue.Size(), 4u);
  EXPECT_EQ(queue.TakeTyped(), "x");  // the first key typed, behind the paste
  std::string pasted;
  while (!queue.Empty()) pasted += queue.Pop();
  EXPECT_EQ(pasted, "abc");
}

TEST(TerminalThread, AKeyTypedBehindAPasteAnswersAMessageLine) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  // More pasted keys than the program holds, then a key typed: the program
  // waits at a message line and takes no pasted key meanwhile.
  Paster paster(terminal.keysOut, Bracketed(3000), "x");
  KeyQueue queue;
  thread.WantAnswer(AnswerMode::AnyKey);
  KeyCode answer;
  const auto start = std::chrono::steady_clock::now();
  while (answer.empty() && std::chrono::steady_clock::now() - start < kHangGuard) {
    thread.CollectKeys(queue, 0, true);
    answer = queue.TakeTyped();
    if (answer.empty()) answer = thread.TakeAnswer(queue);
    std::this_thread::sleep_for(2ms);
  }
  thread.WantAnswer(AnswerMode::None);
  EXPECT_EQ(answer, "x");
  // The paste then goes on, whole and in order.
  std::string pasted;
  for (int i = 0; i < 3000 && pasted.size() < 3000; ++i) {
    thread.CollectKeys(queue, 0);
    while (!queue.Empty()) pasted += queue.Pop();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(pasted, Bracketed(3000).substr(6, 3000));
}

// The key typed had gone over already, behind pasted keys the program had
// no room for, before the message line came up (a log trouble, an overflow
// in the middle of a paste): it still answers it, and nothing of the paste
// is lost or sent twice.
TEST(TerminalThread, AKeyHandedOverBehindAPasteBeforeAMessageLineStillAnswersIt) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  Paster paster(terminal.keysOut, Bracketed(700), "x");
  KeyQueue queue;
  for (int i = 0; i < 2000 && queue.Size() < KeyQueue::kCapacity; ++i) {
    thread.CollectKeys(queue, 0);
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(queue.Size(), KeyQueue::kCapacity);
  std::this_thread::sleep_for(200ms);  // the rest, x with it, waits in the inbox
  thread.WantAnswer(AnswerMode::AnyKey);
  KeyCode answer;
  for (int i = 0; i < 1000 && answer.empty(); ++i) {
    thread.CollectKeys(queue, 0, true);
    answer = queue.TakeTyped();
    if (answer.empty()) answer = thread.TakeAnswer(queue);
    std::this_thread::sleep_for(2ms);
  }
  thread.WantAnswer(AnswerMode::None);
  EXPECT_EQ(answer, "x");
  std::string pasted;
  for (int i = 0; i < 3000 && pasted.size() < 700; ++i) {
    thread.CollectKeys(queue, 0);
    while (!queue.Empty()) pasted += queue.Pop();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(pasted, Bracketed(700).substr(6, 700));
}

TEST(TerminalThread, ShiftF2DuringALongPasteDropsItsRestAtOnce) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  // A quarter megabyte pasted (43 minutes at 10 ms a byte), then Shift-F2.
  Paster paster(terminal.keysOut, Bracketed(1 << 18), "\x1b[1;2Q");
  KeyQueue queue;
  std::string pasted;
  bool left = false;
  const auto start = std::chrono::steady_clock::now();
  while (!left && std::chrono::steady_clock::now() - start < kHangGuard) {
    thread.CollectKeys(queue, 0);
    // The program takes a key now and then, as a session sending them does.
    const KeyCode key = queue.Pop();
    left = key == keys::KeyShiftF2;
    if (!left) pasted += key;
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_TRUE(left) << "Shift-F2 waited behind the paste";
  EXPECT_LT(pasted.size(), 5000u);
  EXPECT_EQ(pasted, Bracketed(1 << 18).substr(6, pasted.size()));  // what went, in order
  EXPECT_TRUE(queue.Empty());  // nothing of the paste after it
}

TEST(TerminalThread, CtrlCDuringALongPasteEndsTheProgramAtOnce) {
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  Paster paster(terminal.keysOut, Bracketed(1 << 18), "\x03");
  KeyQueue queue;
  int status = -1;
  const auto start = std::chrono::steady_clock::now();
  while (status < 0 && std::chrono::steady_clock::now() - start < kHangGuard) {
    try {
      thread.CollectKeys(queue, 0);
    } catch (const ProgramExit& e) {
      status = e.status;
    }
    queue.Pop();
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_EQ(status, 130);
}

// Type-ahead is no paste to the terminal (a terminal that does not bracket
// pastes sends one as typed keys): the terminal is read on behind it all the
// same, so Ctrl-C ends the program at once and Shift-F2 drops what waits.
TEST(TerminalThread, CtrlCAndShiftF2ActAtOnceBehindAnUnbracketedPaste) {
  const std::string typed(200000, 'k');
  {
    StandInTerminal terminal;
    TerminalThread thread(terminal);
    Paster paster(terminal.keysOut, typed, "\x03");
    KeyQueue queue;
    int status = -1;
    const auto start = std::chrono::steady_clock::now();
    while (status < 0 && std::chrono::steady_clock::now() - start < kHangGuard) {
      try {
        thread.CollectKeys(queue, 0);
      } catch (const ProgramExit& e) {
        status = e.status;
      }
      queue.Pop();
      std::this_thread::sleep_for(2ms);
    }
    EXPECT_EQ(status, 130) << "Ctrl-C waited behind the type-ahead";
  }
  StandInTerminal terminal;
  TerminalThread thread(terminal);
  Paster paster(terminal.keysOut, typed, "\x1b[1;2Q");
  KeyQueue queue;
  std::size_t sent = 0;
  bool left = false;
  const auto start = std::chrono::steady_clock::now();
  while (!left && std::chrono::steady_clock::now() - start < kHangGuard) {
    thread.CollectKeys(queue, 0);
    const KeyCode key = queue.Pop();
    left = key == keys::KeyShiftF2;
    sent += !left && !key.empty() ? 1 : 0;
    std::this_thread::sleep_for(2ms);
  }
  EXPECT_TRUE(left) << "Shift-F2 waited behind the type-ahead";
  EXPECT_LT(sent, 5000u);
}

}  // namespace
}  // namespace qb7
