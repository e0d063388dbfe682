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

#include "console/program_exit.hpp"
#include "keys/keys.hpp"
#include "terminal/terminal_thread.hpp"

namespace qb7 {
namespace {

using namespace std::chrono_literals;

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

Screen Frame(const std::string& text) {
  Screen s;
  s.Write(text);
  return s;
}

TEST(TerminalThread, AStalledTerminalHoldsUpNoFrameAndGetsTheNewestOneAfter) {
  StandInTerminal terminal;
  terminal.Stall(true);
  TerminalThread frontend(terminal);
  frontend.Present(Frame("frame 0"));
  ASSERT_TRUE(terminal.WaitFor([&] { return terminal.draws == 1; }));
  // The terminal is stuck in its first draw; the program goes on handing
  // frames over, and each hand-over returns at once.
  for (int i = 1; i <= 500; ++i) frontend.Present(Frame("frame " + std::to_string(i)));
  terminal.Stall(false);
  ASSERT_TRUE(terminal.WaitFor([&] { return terminal.lastRow == "frame 500 "; }));
  frontend.Shutdown();
  EXPECT_FALSE(terminal.drawnOnTestThread);
  EXPECT_LE(terminal.draws, 3);  // the newest frame, not a backlog of 500
  EXPECT_EQ(terminal.releases, 1);
}

TEST(TerminalThread, KeysArriveInOrderAndCtrlCIsTheOrderToEnd) {
  StandInTerminal terminal;
  TerminalThread frontend(terminal);
  ASSERT_EQ(write(terminal.keysOut, "ab\x1bOP\x03z", 7), 7);
  KeyQueue keys;
  int status = -1;
  for (int i = 0; i < 5000 && status < 0; ++i) {
    try {
      frontend.CollectKeys(keys, 0);
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

TEST(TerminalThread, TheTerminalIsLentBeforeLendReturnsAndTakenBackDrawn) {
  StandInTerminal terminal;
  TerminalThread frontend(terminal);
  frontend.Present(Frame("session"));
  ASSERT_TRUE(terminal.WaitFor([&] { return terminal.draws == 1; }));
  frontend.Lend();
  {
    std::lock_guard<std::mutex> lock(terminal.mutex);
    EXPECT_EQ(terminal.releases, 1);
  }
  // Typed while the external program has the terminal: not read by us.
  ASSERT_EQ(write(terminal.keysOut, "k", 1), 1);
  std::this_thread::sleep_for(100ms);
  KeyQueue keys;
  frontend.CollectKeys(keys, 0);
  EXPECT_TRUE(keys.Empty());
  frontend.TakeBack();
  {
    std::lock_guard<std::mutex> lock(terminal.mutex);
    EXPECT_EQ(terminal.takes, 2);
    EXPECT_TRUE(terminal.lastEverything);
    EXPECT_EQ(terminal.lastRow, "session   ");
  }
  for (int i = 0; i < 5000 && keys.Empty(); ++i) {
    frontend.CollectKeys(keys, 0);
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(keys.Pop(), "k");
}

// A paste far longer than the key queues reaches the program whole and in
// order: the terminal thread hands keys over only while there is room, and a
// program that takes them slowly (one byte sent per 10 ms) loses none.
TEST(TerminalThread, APasteLongerThanTheQueuesLosesNothing) {
  StandInTerminal terminal;
  TerminalThread frontend(terminal);
  std::string paste;
  for (int i = 0; i < 3000; ++i) paste.push_back(static_cast<char>('a' + i % 26));
  ASSERT_EQ(write(terminal.keysOut, paste.data(), paste.size()), static_cast<ssize_t>(paste.size()));
  KeyQueue queue;
  std::string got;
  for (int i = 0; i < 20000 && got.size() < paste.size(); ++i) {
    frontend.CollectKeys(queue, 0);
    for (int k = 0; k < 7 && !queue.Empty(); ++k) got += queue.Pop();
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(got, paste);
}

}  // namespace
}  // namespace qb7
