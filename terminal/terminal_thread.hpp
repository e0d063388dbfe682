// The terminal thread: the real program's front end, with the terminal on
// a thread of its own, so a terminal that stops reading holds up only that
// thread and never the one that looks at the receive FIFO.
//
// The program thread calls the Frontend operations (terminal_thread.cpp);
// they only hand things over: frames and bells into the FrameMailbox (a
// newer frame overwrites one not yet drawn, no lock), the rows that leave
// the screen into the RowRing, keys out of the KeyInbox, the terminal's
// loan through the LoanOrders. The terminal thread's own loop
// (terminal_thread_loop.cpp) is the only code that touches the terminal:
// it draws the newest frame through the view, rings, decodes the key bytes
// and routes them (KeyRouter), follows resizes and stops, lends the
// terminal and takes it back when asked. All terminating signals go to the
// program thread.
#pragma once
#include <pthread.h>

#include <atomic>
#include <cstdint>

#include "console/frontend.hpp"
#include "input/key_router.hpp"
#include "keys/key_decoder.hpp"
#include "terminal/frame_mailbox.hpp"
#include "terminal/history_saving.hpp"
#include "terminal/raw_reading.hpp"
#include "terminal/key_inbox.hpp"
#include "terminal/loan_orders.hpp"
#include "terminal/row_ring.hpp"
#include "terminal/terminal_device.hpp"
#include "view/viewer.hpp"

namespace qb7 {

class TerminalThread final : public Frontend {
 public:
  // Takes the terminal, then starts the terminal thread, at normal
  // scheduling whatever the program thread runs at, with every asynchronous
  // signal blocked. Throws (the terminal as it was) when either fails.
  explicit TerminalThread(TerminalDevice& terminal);
  ~TerminalThread() override;
  TerminalThread(const TerminalThread&) = delete;
  TerminalThread& operator=(const TerminalThread&) = delete;

  // Program thread; none of these waits. CollectKeys throws ProgramExit for
  // Ctrl-C, a terminal that went away, or a terminating signal.
  void CollectKeys(KeyQueue& queue, uint64_t nowUs, bool pastBound = false) override;
  void Present(const Frame& frame) override;
  void Bell() override;
  void KeepRow(const Row& row, uint64_t number, const RowTime& time) override;
  std::size_t RowRoom() const override;
  void WantAnswer(AnswerMode mode) override;
  KeyCode TakeAnswer(KeyQueue& queue) override;
  // Ask the terminal thread to lend the terminal / take it back;
  // LoanSettled tells when it is done.
  void Lend() override;
  void TakeBack() override;
  bool LoanSettled() const override;

  // Gives the terminal back as it was and ends the thread. Idempotent.
  void Shutdown();
  void SetCtrlCIsKey(bool on) override { ctrlCIsKey_.store(on); }

 private:
  // Program thread.
  void Ask(LoanOrders::Order order);
  void Wake();
  void WakeIfAsleep();

  // Terminal thread (terminal_thread_loop.cpp).
  static void* ThreadMain(void* self);
  void Run();
  void Serve();
  // How long the loop may sleep in poll: -1 for good.
  int SleepMs(uint64_t lastFrameUs) const;
  void ReadKeys(bool& inputOpen);
  // The keys decoded go where the router sends them.
  void RouteKeys();
  void StopUntilContinued();
  void CarryOutLoanOrder(bool& held);
  void Show(bool everything);
  void MeasureWindow();
  // Starts writing the history the view was asked for, and tells the
  // operator when it is written.
  void Save(Viewer::SaveRequest save);
  void TellSaved();
  // x in the history: the bytes read, then shown.
  void TellRawRead();

  TerminalDevice& terminal_;
  FrameMailbox mailbox_;
  KeyInbox inbox_;
  LoanOrders loan_;
  std::atomic<bool> shutdown_{false};
  std::atomic<bool> outOfMemory_{false};
  std::atomic<bool> ctrlCIsKey_{false};  // set once, after the configuration
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  pthread_t thread_{};
  bool running_ = false;
  // Set while the terminal thread sleeps with no time-out: only then does a
  // frame or a bell need a wake-up. While frames keep coming it looks for
  // them every frame interval by itself, so the program thread makes no
  // system call to hand one over.
  std::atomic<bool> asleep_{false};
  RowRing rows_;  // rows that left the screen, to the view's history
  // Terminal thread only: the keys, the view of the newest frame (which
  // stays valid until the next TakeFrame), the router between them.
  KeyDecoder decoder_;
  Viewer viewer_;
  KeyRouter router_{viewer_};
  HistorySaving saving_;
  RawReading rawReading_;
  DecodedKeys fresh_;  // what the decoder just gave
};

}  // namespace qb7
